// The Java binding's declarations, in bindings/java/src/vltxdrv/:
// VltxdrvLibrary.java (the JNA interface: every export, texts as
// NUL-terminated byte[]; the two "@Log@" exports under the names LogC6_4 and
// LogC6_5, mapped by NAMES), Codes.java (the result codes, their meanings and
// each export's results) and Calls.java (one typed method per export, which
// the hand-written Port extends: strings through the port's Charset).
#include "emissor.h"

namespace {

std::string Javadoc(const std::string& texto, const std::string& recuo) {
    std::string s = recuo + "/**\n" + recuo + " * <pre>\n", linha;
    for (char c : texto) {
        if (c != '\n') {
            if (c == '<') linha += "&lt;";
            else if (c == '>') linha += "&gt;";
            else if (c == '&') linha += "&amp;";
            else if (c == '@') linha += "&#64;";
            else if (c == '/' && !linha.empty() && linha.back() == '*') linha += "&#47;";
            else linha += c;
            continue;
        }
        s += recuo + (linha.empty() ? " *" : " * " + linha) + "\n";
        linha.clear();
    }
    return s + recuo + " * </pre>\n" + recuo + " */\n";
}

bool SoPorNome(const ExportacaoModelo& e) { return e.Nome.find('@') != std::string::npos; }
std::string NomeJava(const ExportacaoModelo& e) { return SoPorNome(e) ? NomeCurto(e.Nome) : e.Nome; }

std::string Interface(const Modelo& m) {
    std::string s = AvisoGerado("//");
    s += "package vltxdrv;\n\n"
         "import com.sun.jna.Library;\n\n"
         "import java.util.Map;\n\n"
         "/**\n"
         " * The 54 exports of libvltxdrv (vltxdrv.dll on Windows), for JNA. Texts are\n"
         " * NUL-terminated byte strings passed to the printer unconverted: a byte[]\n"
         " * here must end with a 0 (Port.text and Port.nul make one). Load it with\n"
         " * Port.library(), which maps NAMES and picks stdcall on 32-bit Windows.\n"
         " */\n"
         "public interface VltxdrvLibrary extends Library {\n"
         "    /** The exports whose names no Java identifier can spell: method name to export. */\n"
         "    Map<String, String> NAMES = Map.of(";
    bool primeiro = true;
    for (const ExportacaoModelo& e : m.Exportacoes)
        if (SoPorNome(e)) {
            s += std::string(primeiro ? "" : ", ") + LiteralC(NomeJava(e)) + ", " + LiteralC(e.Nome);
            primeiro = false;
        }
    s += ");\n";
    for (const ExportacaoModelo& e : m.Exportacoes) {
        s += "\n" + Javadoc(ResumoEmTexto(e), "    ") + "    " + (e.SemRetorno ? "void " : "int ") + NomeJava(e) + "(";
        for (std::size_t i = 0; i < e.Parametros.size(); ++i)
            s += (i > 0 ? ", " : "") + std::string(e.Parametros[i].Tipo == Papel::Inteiro ? "int " : "byte[] ") +
                 e.Parametros[i].Nome;
        s += ");\n";
    }
    return s + "}\n";
}

std::string Codigos(const Modelo& m) {
    std::string s = AvisoGerado("//");
    s += "package vltxdrv;\n\n"
         "import java.util.ArrayList;\n"
         "import java.util.List;\n"
         "import java.util.Map;\n\n"
         "/** The driver's own result codes, the buffer sizes, and what each export's results mean. */\n"
         "public final class Codes {\n"
         "    private Codes() {}\n\n";
    for (const CodigoDriver& c : descricao::Codigos)
        s += "    /** " + std::string(c.Significado) + " */\n    public static final int " + c.Constante + " = " +
             std::to_string(c.Codigo) + ";\n";
    for (const ExportacaoModelo& e : m.Exportacoes)
        for (const ParametroModelo& p : e.Parametros)
            if (p.Tipo == Papel::Buffer)
                s += "    /** The bytes " + e.Nome + " writes, its NUL included. */\n    public static final int " +
                     std::string(p.Proprio->ConstanteTamanho) + " = " + std::to_string(p.Proprio->Tamanho) + ";\n";
    s += "\n    private static final Map<Integer, String> DRIVER = Map.ofEntries(\n";
    for (std::size_t i = 0; i < std::size(descricao::Codigos); ++i)
        s += "        Map.entry(" + std::to_string(descricao::Codigos[i].Codigo) + ", " +
             LiteralC(descricao::Codigos[i].Significado) + ")" + (i + 1 < std::size(descricao::Codigos) ? ",\n" : ");\n");
    s += "\n    private record Line(long from, long to, String text) {}\n\n"
         "    // Every line whose range holds a result applies to it.\n"
         "    private static final Map<String, Line[]> RESULTS = Map.ofEntries(\n";
    for (std::size_t i = 0; i < m.Exportacoes.size(); ++i) {
        const ExportacaoModelo& e = m.Exportacoes[i];
        s += "        Map.entry(" + LiteralC(e.Nome) + ", new Line[] {";
        for (const ResultadoModelo& r : e.Resultados)
            s += "\n            new Line(" + std::to_string(r.De) + "L, " + std::to_string(r.Ate) + "L, " + LiteralC(r.Texto) + "),";
        s += std::string("})") + (i + 1 < m.Exportacoes.size() ? ",\n" : ");\n");
    }
    s += "\n    /** What every status byte is. */\n    public static final String STATUS = " +
         LiteralC(descricao::TextoStatus) + ";\n\n"
         "    /** The answers the driver itself acts on. */\n    public static final String DRIVER_ACTS_ON = " +
         LiteralC(descricao::StatusQueODriverUsa) + ";\n\n"
         "    /**\n"
         "     * What a number means when no export is named: from 0 to 255 STATUS, then the\n"
         "     * driver's code of the same number, joined by \"" + descricao::SeparadorDeLeituras +
         "\"; null for any other\n"
         "     * number. " + descricao::StatusQueODriverUsa + "\n"
         "     */\n"
         "    public static String meaning(int code) {\n"
         "        if (code < 0 || code > 255) return null;\n"
         "        String driver = DRIVER.get(code);\n"
         "        return driver == null ? STATUS : STATUS + " + LiteralC(descricao::SeparadorDeLeituras) + " + driver;\n"
         "    }\n\n"
         "    /**\n"
         "     * What this result of that export (\"ecf_VendaItem\") means, every reading that\n"
         "     * applies joined by \"" + descricao::SeparadorDeLeituras + "\" (a status byte and a driver code can share a number);\n"
         "     * null when the export cannot give it.\n"
         "     */\n"
         "    public static String meaning(String export, int result) {\n"
         "        Line[] lines = RESULTS.get(export);\n"
         "        if (lines == null) return null;\n"
         "        List<String> texts = new ArrayList<>();\n"
         "        for (Line line : lines)\n"
         "            if (line.from() <= result && result <= line.to()) texts.add(line.text());\n"
         "        return texts.isEmpty() ? null : String.join(" + LiteralC(descricao::SeparadorDeLeituras) + ", texts);\n"
         "    }\n"
         "}\n";
    return s;
}

// Exports a Port leaves to its own code: opening, closing, the version, the counters.
bool DoPorto(const ExportacaoModelo& e) {
    return e.Nome == "ecf_InicializaDLL" || e.Nome == "ecf_FinalizaDLL" || e.Nome == "ecf_VersaoDLL" || e.SemRetorno;
}

std::string Minuscula(std::string s) {
    if (!s.empty() && s[0] >= 'A' && s[0] <= 'Z') s[0] = char(s[0] - 'A' + 'a');
    return s;
}

std::string Chamadas(const Modelo& m) {
    std::string s = AvisoGerado("//");
    s += "package vltxdrv;\n\n"
         "/**\n"
         " * One typed method per export, for Port: each string goes through the port's\n"
         " * Charset; a buffer comes back as the bytes before its NUL.\n"
         " */\n"
         "public abstract class Calls {\n"
         "    abstract VltxdrvLibrary lib();\n\n"
         "    /** A text for the driver: the string in the port's Charset, NUL-terminated. */\n"
         "    public abstract byte[] text(String text);\n\n"
         "    static byte[] upToNul(byte[] buffer) {\n"
         "        int n = 0;\n"
         "        while (n < buffer.length && buffer[n] != 0) ++n;\n"
         "        return java.util.Arrays.copyOf(buffer, n);\n"
         "    }\n";
    for (const ExportacaoModelo& e : m.Exportacoes) {
        if (DoPorto(e)) continue;
        std::string assinatura, argumentos, antes, depois, retorno = "int";
        for (const ParametroModelo& p : e.Parametros) {
            if (!argumentos.empty()) argumentos += ", ";
            if (p.Tipo == Papel::Buffer) {
                // The buffer's bytes come back in a one-element array, beside the result.
                if (!assinatura.empty()) assinatura += ", ";
                assinatura += "byte[][] " + p.Nome;
                antes += "        byte[] buffer = new byte[Codes." + std::string(p.Proprio->ConstanteTamanho) + "];\n";
                depois += "        if (" + p.Nome + " != null && " + p.Nome + ".length > 0) " + p.Nome +
                          "[0] = upToNul(buffer);\n";
                argumentos += "buffer";
                continue;
            }
            if (!assinatura.empty()) assinatura += ", ";
            assinatura += (p.Tipo == Papel::Inteiro ? "int " : "String ") + p.Nome;
            argumentos += p.Tipo == Papel::Inteiro ? p.Nome : "text(" + p.Nome + ")";
        }
        s += "\n    /** " + std::string(e.Desc->Proposito) + " See VltxdrvLibrary#" + NomeJava(e) + "; docs/reference.md#" +
             Ancora(e.Nome) + " */\n    public int " + Minuscula(NomeCurto(e.Nome)) + "(" + assinatura + ") {\n" + antes +
             "        int result = lib()." + NomeJava(e) + "(" + argumentos + ");\n" + depois + "        return result;\n    }\n";
    }
    return s + "}\n";
}

std::vector<ArquivoGerado> Gera(const Modelo& m) {
    return {{"bindings/java/src/vltxdrv/VltxdrvLibrary.java", Interface(m)},
            {"bindings/java/src/vltxdrv/Codes.java", Codigos(m)},
            {"bindings/java/src/vltxdrv/Calls.java", Chamadas(m)}};
}

}  // namespace

extern const Emissor EmissorJava = {"java", Gera};
