// The Java binding against vltx-sim: a receipt, a register read, the results
// and the simulator's paper roll. Run by com_simulador.sh (VLTX_PORT, VLTX_PAPER).
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.Objects;

import vltxdrv.Codes;
import vltxdrv.Port;
import vltxdrv.VltxdrvLibrary;

public class TesteRecibo {
    static int failures;

    static void expect(String what, Object got, Object expected) {
        if (Objects.equals(got, expected)) return;
        System.out.println("FAIL " + what + ": " + got + ", expected " + expected);
        failures++;
    }

    public static void main(String[] args) throws Exception {
        String device = System.getenv("VLTX_PORT");
        if (device == null) {
            System.out.println("FAIL VLTX_PORT is not set: run under com_simulador.sh");
            System.exit(1);
        }
        VltxdrvLibrary lib = Port.library();

        expect("the version", Port.version(), "Veltrix - V2.60");
        // The two exports no identifier can spell resolve through NAMES (a counter up, then down).
        lib.LogC6_5();
        lib.LogC6_4();
        expect("a command before the port is open", lib.ecf_EstadoImpressora(), Codes.VLTX_NAO_ABERTA);
        try {
            Port.open("/nonexistent/ecf", StandardCharsets.ISO_8859_1).close();
            expect("opening a missing device", "no exception", "PortException");
        } catch (Port.PortException e) {
            expect("a missing device", e.result, Codes.VLTX_ERRO_ABRIR);
        }

        // close() runs even when the block ends by an exception.
        try (Port port = Port.open(device, StandardCharsets.ISO_8859_1)) {
            expect("ImprimeCabecalho", port.imprimeCabecalho(), 0);
            expect("VendaItem 1", port.vendaItem("7891234567895", "CAFÉ 500G", "1000", "1590", "T1", "UN", "2"), 0);
            expect("VendaItem 2", port.vendaItem("7896005800010", "LEITE 1L", "2000", "459", "T2", "UN", "2"), 0);
            expect("Pagamento", port.pagamento("01", "DINHEIRO", "2500"), 0);
            expect("FechaCupom", port.fechaCupom("CAIXA01"), 0);
            byte[][] answer = new byte[1][];
            // Register 2 counts the items sold.
            expect("LeRegistrador", port.leRegistrador("002", answer), Codes.VLTX_OK);
            expect("the register's answer", new String(answer[0], StandardCharsets.US_ASCII),
                   "002000000000000000000000000002");
            throw new IllegalStateException("leaving the block");
        } catch (IllegalStateException e) {
            expect("the exception", e.getMessage(), "leaving the block");
        }
        expect("a command after the port closed", lib.ecf_EstadoImpressora(), Codes.VLTX_NAO_ABERTA);
        // The raw interface takes bytes as they are, NUL-terminated.
        expect("a raw call, port closed", lib.ecf_Rascunho(Port.nul(new byte[] {'O', 'K'})), Codes.VLTX_NAO_ABERTA);

        expect("a driver code", Codes.meaning(Codes.VLTX_NAO_ABERTA), Codes.STATUS + " | the port is not open: nothing was sent");
        expect("not a driver code", Codes.meaning(200), Codes.STATUS);
        expect("not a status byte", Codes.meaning(256), null);
        expect("a status byte of VendaItem", Codes.meaning("ecf_VendaItem", 200), Codes.STATUS);
        expect("33 from LeRegistrador", Codes.meaning("ecf_LeRegistrador", 33), "success of a step of the driver's own");
        expect("33 from LeECF", Codes.meaning("ecf_LeECF", 33), Codes.STATUS + " | success of a step of the driver's own");
        expect("300 from VendaItem", Codes.meaning("ecf_VendaItem", 300), null);

        // The roll shows the printer's Latin-1 bytes as UTF-8.
        String paper = Files.readString(Path.of(System.getenv("VLTX_PAPER")), StandardCharsets.UTF_8);
        for (String line : new String[] {"CUPOM FISCAL 000001", "item 001", "descricao   CAFÉ 500G", "preco       1590",
                                         "item 002", "descricao   LEITE 1L", "valor      2500", "receipt closed",
                                         "operador  CAIXA01", "answer 002000000000000000000000000002"})
            expect("the paper roll holds \"" + line + "\"", paper.contains(line), true);

        if (failures > 0) {
            System.out.println(failures + " checks failed");
            System.exit(1);
        }
        System.out.println("java binding: all checks passed");
    }
}
