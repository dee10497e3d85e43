// A receipt through libvltxdrv: header, two items, a payment, closing, and a
// register read. Usage: java -cp vltxdrv.jar:jna.jar:. Recibo [PORT]
// (default: $VLTX_PORT, else /tmp/ecf0)
import java.nio.charset.Charset;
import java.nio.charset.StandardCharsets;

import vltxdrv.Codes;
import vltxdrv.Port;

public class Recibo {
    // Stops the receipt unless the printer answered "done" (status 0).
    static void check(String call, int result) {
        System.out.println(call + " = " + result + "  " + Codes.meaning("ecf_" + call, result));
        if (result != 0) throw new IllegalStateException(call + " failed");
    }

    public static void main(String[] args) throws Port.PortException {
        String env = System.getenv("VLTX_PORT");
        String device = args.length > 0 ? args[0] : env != null ? env : "/tmp/ecf0";
        // The printer's code page; texts are never sent in the platform's default charset.
        Charset printer = StandardCharsets.ISO_8859_1;
        try (Port port = Port.open(device, printer)) {
            // Amounts are digits with implied decimals: 1000 = 1 unit, 1590 = 15,90.
            check("ImprimeCabecalho", port.imprimeCabecalho());
            check("VendaItem", port.vendaItem("7891234567895", "CAFÉ 500G", "1000", "1590", "T1", "UN", "2"));
            check("VendaItem", port.vendaItem("7896005800010", "LEITE 1L", "2000", "459", "T2", "UN", "2"));
            check("Pagamento", port.pagamento("01", "DINHEIRO", "2500"));
            check("FechaCupom", port.fechaCupom("CAIXA01"));
            byte[][] answer = new byte[1][];
            int result = port.leRegistrador("002", answer);
            System.out.println("LeRegistrador 002 = " + result + "  " + new String(answer[0], StandardCharsets.US_ASCII));
        }
    }
}
