// The C# binding against vltx-sim: a receipt, a register read, the results
// and the simulator's paper roll. Run by com_simulador.sh (VLTX_PORT, VLTX_PAPER).
using System;
using System.IO;
using System.Text;
using Vltxdrv;

static class TesteRecibo
{
    static int failures;

    static void Expect(string what, object got, object expected)
    {
        if (Equals(got, expected)) return;
        Console.WriteLine("FAIL " + what + ": " + got + ", expected " + expected);
        failures++;
    }

    static int Main()
    {
        string device = Environment.GetEnvironmentVariable("VLTX_PORT");
        if (device == null)
        {
            Console.WriteLine("FAIL VLTX_PORT is not set: run under com_simulador.sh");
            return 1;
        }
        Encoding latin1 = Encoding.GetEncoding("ISO-8859-1");

        Expect("the version", Port.Version(), "Veltrix - V2.60");
        // The two exports no identifier can spell resolve by their EntryPoint (a counter up, then down).
        Native.LogC6_5();
        Native.LogC6_4();
        Expect("a command before the port is open", Native.ecf_EstadoImpressora(), Codes.VLTX_NAO_ABERTA);
        try
        {
            Port.Open("/nonexistent/ecf", latin1).Dispose();
            Expect("opening a missing device", "no exception", "PortException");
        }
        catch (PortException e)
        {
            Expect("a missing device", e.Result, Codes.VLTX_ERRO_ABRIR);
        }

        // Dispose closes the port even when the block ends by an exception.
        try
        {
            using (Port port = Port.Open(device, latin1))
            {
                Expect("ImprimeCabecalho", port.ImprimeCabecalho(), 0);
                Expect("VendaItem 1", port.VendaItem("7891234567895", "CAFÉ 500G", "1000", "1590", "T1", "UN", "2"), 0);
                Expect("VendaItem 2", port.VendaItem("7896005800010", "LEITE 1L", "2000", "459", "T2", "UN", "2"), 0);
                Expect("Pagamento", port.Pagamento("01", "DINHEIRO", "2500"), 0);
                Expect("FechaCupom", port.FechaCupom("CAIXA01"), 0);
                byte[] answer;
                // Register 2 counts the items sold.
                Expect("LeRegistrador", port.LeRegistrador("002", out answer), Codes.VLTX_OK);
                Expect("the register's answer", Encoding.ASCII.GetString(answer), "002000000000000000000000000002");
                throw new InvalidOperationException("leaving the block");
            }
        }
        catch (InvalidOperationException)
        {
        }
        Expect("a command after the port closed", Native.ecf_EstadoImpressora(), Codes.VLTX_NAO_ABERTA);

        Expect("a driver code", Codes.Meaning(Codes.VLTX_NAO_ABERTA), Codes.Status + " | the port is not open: nothing was sent");
        Expect("not a driver code", Codes.Meaning(200), Codes.Status);
        Expect("not a status byte", Codes.Meaning(256), null);
        Expect("a status byte of VendaItem", Codes.Meaning("ecf_VendaItem", 200), Codes.Status);
        Expect("33 from LeRegistrador", Codes.Meaning("ecf_LeRegistrador", 33), "success of a step of the driver's own");
        Expect("33 from LeECF", Codes.Meaning("ecf_LeECF", 33), Codes.Status + " | success of a step of the driver's own");
        Expect("300 from VendaItem", Codes.Meaning("ecf_VendaItem", 300), null);

        // The roll shows the printer's Latin-1 bytes as UTF-8.
        string paper = File.ReadAllText(Environment.GetEnvironmentVariable("VLTX_PAPER"), Encoding.UTF8);
        foreach (string line in new[] { "CUPOM FISCAL 000001", "item 001", "descricao   CAFÉ 500G", "preco       1590",
                                        "item 002", "descricao   LEITE 1L", "valor      2500", "receipt closed",
                                        "operador  CAIXA01", "answer 002000000000000000000000000002" })
            Expect("the paper roll holds \"" + line + "\"", paper.Contains(line), true);

        if (failures > 0)
        {
            Console.WriteLine(failures + " checks failed");
            return 1;
        }
        Console.WriteLine("dotnet binding: all checks passed");
        return 0;
    }
}
