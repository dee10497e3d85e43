// The printer's port: opened by Open, closed by Dispose (a using block closes
// it even when an exception leaves the block). Strings become bytes through
// the Encoding the port was opened with: the printer's code page, never a
// silent UTF-8. The typed calls are generated (Vltxdrv.Gerado.cs). mono
// finds the library "vltxdrv" as libvltxdrv.so on the loader's path, or
// where a dllmap in Vltxdrv.Net.dll.config next to Vltxdrv.Net.dll points.
using System;
using System.Text;

namespace Vltxdrv
{
    public class PortException : Exception
    {
        public readonly int Result;

        public PortException(string device, int result)
            : base("ecf_InicializaDLL(\"" + device + "\") = " + result + ": " + Codes.Meaning("ecf_InicializaDLL", result))
        {
            Result = result;
        }
    }

    public sealed partial class Port : IDisposable
    {
        public readonly Encoding Encoding;
        bool open;

        Port(Encoding encoding)
        {
            Encoding = encoding;
        }

        /// <summary>Opens the device (ecf_InicializaDLL); throws PortException unless the driver answers 33.</summary>
        public static Port Open(string device, Encoding encoding)
        {
            if (encoding == null) throw new ArgumentNullException("encoding");
            var port = new Port(encoding);
            int result = Native.ecf_InicializaDLL(port.Text(device));
            if (result != Codes.VLTX_OK) throw new PortException(device, result);
            port.open = true;
            return port;
        }

        /// <summary>Closes the port (ecf_FinalizaDLL) once; its result, or 0 when it was closed already.</summary>
        public int Close()
        {
            if (!open) return 0;
            open = false;
            return Native.ecf_FinalizaDLL();
        }

        public void Dispose()
        {
            Close();
        }

        /// <summary>The driver's name and version, "Veltrix - V2.60"; needs no port.</summary>
        public static string Version()
        {
            var buffer = new byte[Codes.VLTX_VERSAO_TAMANHO];
            int n = Native.ecf_VersaoDLL(buffer);
            return Encoding.ASCII.GetString(buffer, 0, Math.Max(0, Math.Min(n, buffer.Length - 1)));
        }

        /// <summary>A text for the driver: the string in the port's Encoding, NUL-terminated.</summary>
        public byte[] Text(string text)
        {
            return Nul(Encoding.GetBytes(text ?? ""));
        }

        /// <summary>Bytes for the driver as they are, NUL-terminated (a NUL inside ends the text).</summary>
        public static byte[] Nul(byte[] bytes)
        {
            var z = new byte[bytes.Length + 1];
            Buffer.BlockCopy(bytes, 0, z, 0, bytes.Length);
            return z;
        }

        static byte[] UpToNul(byte[] buffer)
        {
            int n = Array.IndexOf(buffer, (byte)0);
            if (n < 0) n = buffer.Length;
            var r = new byte[n];
            Buffer.BlockCopy(buffer, 0, r, 0, n);
            return r;
        }
    }
}
