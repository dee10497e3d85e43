package vltxdrv;

import com.sun.jna.Function;
import com.sun.jna.Library;
import com.sun.jna.Native;
import com.sun.jna.Platform;

import java.nio.charset.Charset;
import java.util.Arrays;
import java.util.Map;
import java.util.Objects;

/**
 * The printer's port: opened by {@link #open}, closed by {@link #close} (a
 * try-with-resources block closes it even when an exception leaves it).
 * Strings become bytes through the Charset the port was opened with, the
 * printer's code page: never a silent platform default. The typed calls are
 * generated in {@link Calls}.
 */
public final class Port extends Calls implements AutoCloseable {
    private static VltxdrvLibrary library;

    /**
     * The library: the file VLTXDRV_LIB names, else "vltxdrv" on JNA's search
     * path (jna.library.path, then the system's: LD_LIBRARY_PATH, the installed
     * libvltxdrv.so; vltxdrv.dll on Windows).
     */
    public static synchronized VltxdrvLibrary library() {
        if (library == null) {
            String path = System.getenv("VLTXDRV_LIB");
            int convention = Platform.isWindows() && !Platform.is64Bit() ? Function.ALT_CONVENTION : Function.C_CONVENTION;
            Map<String, Object> options = Map.of(
                    Library.OPTION_FUNCTION_MAPPER,
                    (com.sun.jna.FunctionMapper) (lib, method) ->
                            VltxdrvLibrary.NAMES.getOrDefault(method.getName(), method.getName()),
                    Library.OPTION_CALLING_CONVENTION, convention);
            library = Native.load(path == null || path.isEmpty() ? "vltxdrv" : path, VltxdrvLibrary.class, options);
        }
        return library;
    }

    /** ecf_InicializaDLL gave something other than 33. */
    public static final class PortException extends Exception {
        private static final long serialVersionUID = 1L;

        public final int result;

        PortException(String device, int result) {
            super("ecf_InicializaDLL(\"" + device + "\") = " + result + ": " + Codes.meaning("ecf_InicializaDLL", result));
            this.result = result;
        }
    }

    private final Charset charset;
    private boolean open;

    private Port(Charset charset) {
        this.charset = charset;
    }

    /** Opens the device; throws PortException unless the driver answers 33. */
    public static Port open(String device, Charset charset) throws PortException {
        Port port = new Port(Objects.requireNonNull(charset, "charset"));
        int result = library().ecf_InicializaDLL(port.text(device));
        if (result != Codes.VLTX_OK) throw new PortException(device, result);
        port.open = true;
        return port;
    }

    /** Closes the port (ecf_FinalizaDLL) once; its result, or 0 when it was closed already. */
    public int finish() {
        if (!open) return 0;
        open = false;
        return library().ecf_FinalizaDLL();
    }

    @Override
    public void close() {
        finish();
    }

    public Charset charset() {
        return charset;
    }

    /** The driver's name and version, "Veltrix - V2.60"; needs no port. */
    public static String version() {
        byte[] buffer = new byte[Codes.VLTX_VERSAO_TAMANHO];
        library().ecf_VersaoDLL(buffer);
        return new String(upToNul(buffer), java.nio.charset.StandardCharsets.US_ASCII);
    }

    @Override
    VltxdrvLibrary lib() {
        return library();
    }

    @Override
    public byte[] text(String text) {
        return nul(text == null ? new byte[0] : text.getBytes(charset));
    }

    /** Bytes for the driver as they are, NUL-terminated (a NUL inside ends the text). */
    public static byte[] nul(byte[] bytes) {
        return Arrays.copyOf(bytes, bytes.length + 1);
    }
}
