// The C# binding's declarations, bindings/dotnet/Vltxdrv.Gerado.cs: the
// P/Invoke declaration of every export (texts as NUL-terminated byte[]),
// the result codes and their meanings, each export's results, and one typed
// method per export on the hand-written Port (its other half, Port.cs, opens
// and closes the port and turns strings into bytes with the port's Encoding).
#include "emissor.h"

namespace {

std::string Xml(const std::string& s) {
    std::string r;
    for (char c : s) {
        if (c == '&') r += "&amp;";
        else if (c == '<') r += "&lt;";
        else if (c == '>') r += "&gt;";
        else r += c;
    }
    return r;
}

std::string Documentacao(const std::string& texto, const std::string& recuo) {
    std::string s = recuo + "/// <summary><code>\n", linha;
    for (char c : texto) {
        if (c != '\n') {
            linha += c;
            continue;
        }
        s += recuo + (linha.empty() ? "///" : "/// " + Xml(linha)) + "\n";
        linha.clear();
    }
    return s + recuo + "/// </code></summary>\n";
}

// The C# name of an export: "ecf_VendaItem", "LogC6_4".
std::string NomeNativo(const ExportacaoModelo& e) { return e.Nome.find('@') != std::string::npos ? NomeCurto(e.Nome) : e.Nome; }

std::string Nativo(const ExportacaoModelo& e) {
    std::string s = Documentacao(ResumoEmTexto(e), "        ") +
                    "        [DllImport(Library, CallingConvention = CallingConvention.Winapi, EntryPoint = " +
                    LiteralC(e.Nome) + ", ExactSpelling = true)]\n        public static extern " +
                    (e.SemRetorno ? "void " : "int ") + NomeNativo(e) + "(";
    for (std::size_t i = 0; i < e.Parametros.size(); ++i) {
        const ParametroModelo& p = e.Parametros[i];
        s += i > 0 ? ", " : "";
        if (p.Tipo == Papel::Inteiro) s += "int ";
        else if (p.Tipo == Papel::Buffer) s += "[In, Out] byte[] ";
        else s += "byte[] ";
        s += p.Nome;
    }
    return s + ");\n";
}

// A typed method of Port: strings through the port's Encoding, a buffer
// handed back as the bytes before its NUL.
std::string Metodo(const ExportacaoModelo& e) {
    std::string assinatura, argumentos, antes, depois;
    for (const ParametroModelo& p : e.Parametros) {
        if (!argumentos.empty()) argumentos += ", ";
        if (p.Tipo == Papel::Buffer) {
            if (!assinatura.empty()) assinatura += ", ";
            assinatura += "out byte[] " + p.Nome;
            antes += "            byte[] buffer = new byte[Codes." + std::string(p.Proprio->ConstanteTamanho) + "];\n";
            depois += "            " + p.Nome + " = UpToNul(buffer);\n";
            argumentos += "buffer";
            continue;
        }
        if (!assinatura.empty()) assinatura += ", ";
        assinatura += (p.Tipo == Papel::Inteiro ? "int " : "string ") + p.Nome;
        argumentos += p.Tipo == Papel::Inteiro ? p.Nome : "Text(" + p.Nome + ")";
    }
    std::string s = "        /// <summary>" + Xml(e.Desc->Proposito) + " See Native." + NomeNativo(e) +
                    "; docs/reference.md#" + Ancora(e.Nome) + "</summary>\n        public int " + NomeCurto(e.Nome) +
                    "(" + assinatura + ")\n        {\n" + antes;
    s += "            int result = Native." + NomeNativo(e) + "(" + argumentos + ");\n" + depois;
    return s + "            return result;\n        }\n\n";
}

// Exports a Port leaves to its own code: opening, closing, the counters.
bool DoPorto(const ExportacaoModelo& e) {
    return e.Nome == "ecf_InicializaDLL" || e.Nome == "ecf_FinalizaDLL" || e.Nome == "ecf_VersaoDLL" || e.SemRetorno;
}

std::string Arquivo(const Modelo& m) {
    std::string s = AvisoGerado("//");
    s += "using System.Collections.Generic;\n"
         "using System.Runtime.InteropServices;\n\n"
         "namespace Vltxdrv\n{\n"
         "    /// <summary>The 54 exports of libvltxdrv (vltxdrv.dll on Windows). Texts are\n"
         "    /// NUL-terminated byte strings passed to the printer unconverted; Winapi is\n"
         "    /// stdcall on 32-bit Windows and the platform's C convention elsewhere.</summary>\n"
         "    public static class Native\n    {\n"
         "        /// <summary>Resolved by the runtime: libvltxdrv.so on the loader's path, vltxdrv.dll on Windows.</summary>\n"
         "        public const string Library = \"vltxdrv\";\n";
    for (const ExportacaoModelo& e : m.Exportacoes) s += "\n" + Nativo(e);
    s += "    }\n\n"
         "    /// <summary>The driver's own result codes, buffer sizes, and what each export's results mean.</summary>\n"
         "    public static partial class Codes\n    {\n";
    for (const CodigoDriver& c : descricao::Codigos)
        s += "        /// <summary>" + Xml(c.Significado) + "</summary>\n        public const int " + c.Constante + " = " +
             std::to_string(c.Codigo) + ";\n";
    for (const ExportacaoModelo& e : m.Exportacoes)
        for (const ParametroModelo& p : e.Parametros)
            if (p.Tipo == Papel::Buffer)
                s += "        /// <summary>The bytes " + e.Nome + " writes, its NUL included.</summary>\n"
                     "        public const int " + std::string(p.Proprio->ConstanteTamanho) + " = " +
                     std::to_string(p.Proprio->Tamanho) + ";\n";
    s += "\n        /// <summary>What every status byte is.</summary>\n        public const string Status = " +
         LiteralC(descricao::TextoStatus) + ";\n"
         "        /// <summary>The answers the driver itself acts on.</summary>\n        public const string DriverActsOn = " +
         LiteralC(descricao::StatusQueODriverUsa) + ";\n";
    // Meaning(code) reads this: what a number means when no export is named,
    // from 0 to 255 (every driver code is one of them).
    s += "\n        static readonly Dictionary<int, string> DriverMeanings = new Dictionary<int, string>\n        {\n";
    for (int c = 0; c <= 255; ++c)
        s += "            { " + std::to_string(c) + ", " + LiteralC(SignificadoSemExportacao(c)) + " },\n";
    s += "        };\n\n"
         "        struct Line\n        {\n"
         "            public readonly long From, To;\n"
         "            public readonly string Text;\n"
         "            public Line(long from, long to, string text) { From = from; To = to; Text = text; }\n"
         "        }\n\n"
         "        // Every line whose range holds a result applies to it.\n"
         "        static readonly Dictionary<string, Line[]> Results = new Dictionary<string, Line[]>\n        {\n";
    for (const ExportacaoModelo& e : m.Exportacoes) {
        s += "            { " + LiteralC(e.Nome) + ", new Line[] {";
        for (const ResultadoModelo& r : e.Resultados)
            s += "\n                new Line(" + std::to_string(r.De) + ", " + std::to_string(r.Ate) + ", " + LiteralC(r.Texto) + "),";
        s += " } },\n";
    }
    s += "        };\n    }\n\n"
         "    public sealed partial class Port\n    {\n";
    for (const ExportacaoModelo& e : m.Exportacoes)
        if (!DoPorto(e)) s += Metodo(e);
    if (s.size() >= 2 && s.substr(s.size() - 2) == "\n\n") s.pop_back();
    return s + "    }\n}\n";
}

std::vector<ArquivoGerado> Gera(const Modelo& m) { return {{"bindings/dotnet/Vltxdrv.Gerado.cs", Arquivo(m)}}; }

}  // namespace

extern const Emissor EmissorDotnet = {"dotnet", Gera};
