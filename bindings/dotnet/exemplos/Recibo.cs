// A receipt through libvltxdrv: header, two items, a payment, closing, and a
// register read. Usage: mono Recibo.exe [PORT]   (default: $VLTX_PORT, else /tmp/ecf0)
using System;
using System.Text;
using Vltxdrv;

static class Recibo
{
    // Stops the receipt unless the printer answered "done" (status 0).
    static void Check(string call, int result)
    {
        Console.WriteLine(call + " = " + result + "  " + Codes.Meaning("ecf_" + call, result));
        if (result != 0) throw new Exception(call + " failed");
    }

    static int Main(string[] args)
    {
        string device = args.Length > 0 ? args[0] : Environment.GetEnvironmentVariable("VLTX_PORT") ?? "/tmp/ecf0";
        // The printer's code page; texts are never sent as UTF-8 behind the host's back.
        Encoding printer = Encoding.GetEncoding("ISO-8859-1");
        using (Port port = Port.Open(device, printer))
        {
            // Amounts are digits with implied decimals: 1000 = 1 unit, 1590 = 15,90.
            Check("ImprimeCabecalho", port.ImprimeCabecalho());
            Check("VendaItem", port.VendaItem("7891234567895", "CAFÉ 500G", "1000", "1590", "T1", "UN", "2"));
            Check("VendaItem", port.VendaItem("7896005800010", "LEITE 1L", "2000", "459", "T2", "UN", "2"));
            Check("Pagamento", port.Pagamento("01", "DINHEIRO", "2500"));
            Check("FechaCupom", port.FechaCupom("CAIXA01"));
            byte[] answer;
            int result = port.LeRegistrador("002", out answer);
            Console.WriteLine("LeRegistrador 002 = " + result + "  " + Encoding.ASCII.GetString(answer));
        }
        return 0;
    }
}
