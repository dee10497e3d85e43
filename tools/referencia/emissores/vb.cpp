// The VB6/VBA module, bindings/vb/vltxdrv.bas: one Declare per export (texts
// ByVal As String, which VB hands over as a NUL-terminated ANSI string; the
// one integer ByVal As Long; the result As Long), the driver's result codes
// and buffer sizes as constants, and VltxSignificado. VBA 7 (Office, 32 or
// 64 bits) needs PtrSafe on each Declare; VB6 does not know the word, so each
// Declare comes twice under #If VBA7. Lines end with CR LF, as VB writes them.
#include "emissor.h"

namespace {

std::string Literal(const std::string& s) {
    std::string r = "\"";
    for (char c : s) {
        if (c == '"') r += '"';
        r += c;
    }
    return r + "\"";
}

std::string Comentario(const std::string& texto) {
    std::string s, linha;
    for (char c : texto) {
        if (c != '\n') {
            linha += c;
            continue;
        }
        s += linha.empty() ? "'\n" : "' " + linha + "\n";
        linha.clear();
    }
    return s;
}

// VB names cannot hold "@": the two "@Log@" exports take their short name
// and the export's own name as the alias.
std::string NomeVb(const ExportacaoModelo& e) {
    return e.Nome.find('@') != std::string::npos ? NomeCurto(e.Nome) : e.Nome;
}

std::string Declare(const ExportacaoModelo& e, bool ptrSafe) {
    std::string s = std::string("Public Declare ") + (ptrSafe ? "PtrSafe " : "") + (e.SemRetorno ? "Sub " : "Function ") +
                    NomeVb(e) + " Lib \"vltxdrv.dll\"";
    if (NomeVb(e) != e.Nome) s += " Alias " + Literal(e.Nome);
    s += " (";
    for (std::size_t i = 0; i < e.Parametros.size(); ++i) {
        const ParametroModelo& p = e.Parametros[i];
        s += (i > 0 ? ", " : "") + std::string("ByVal ") + p.Nome + (p.Tipo == Papel::Inteiro ? " As Long" : " As String");
    }
    s += ")";
    if (!e.SemRetorno) s += " As Long";
    return s + "\n";
}

std::string Modulo(const Modelo& m) {
    std::string s = "Attribute VB_Name = \"vltxdrv\"\n" + AvisoGerado("'");
    s += "'\n"
         "' The exports of the vltxdrv fiscal printer driver, for VB6 and VBA.\n"
         "' Texts go to the printer as ANSI bytes, unconverted. A buffer the driver\n"
         "' writes into is a String made long enough first, such as\n"
         "' String(VLTX_REGISTRADOR_TAMANHO, vbNullChar) for ecf_LeRegistrador.\n"
         "' Every export returns the printer's status byte (0 to 255) or one of the\n"
         "' driver's codes below; the two ranges overlap (reference.md#result-codes).\n"
         "' VB6 and 32-bit Office load the x86 vltxdrv.dll, 64-bit Office the x64 one.\n"
         "Option Explicit\n\n"
         "' The driver's own result codes.\n";
    for (const CodigoDriver& c : descricao::Codigos)
        s += "Public Const " + std::string(c.Constante) + " As Long = " + std::to_string(c.Codigo) + "\n";
    s += "\n' The buffers the driver writes into: their sizes, the NUL included.\n";
    for (const ExportacaoModelo& e : m.Exportacoes)
        for (const ParametroModelo& p : e.Parametros)
            if (p.Tipo == Papel::Buffer)
                s += "Public Const " + std::string(p.Proprio->ConstanteTamanho) + " As Long = " +
                     std::to_string(p.Proprio->Tamanho) + "  ' " + e.Nome + "\n";
    for (const ExportacaoModelo& e : m.Exportacoes)
        s += "\n" + Comentario(ResumoEmTexto(e)) + "#If VBA7 Then\n" + Declare(e, true) + "#Else\n" +
             Declare(e, false) + "#End If\n";
    s += "\n' The meaning of one of the driver's own codes; \"\" for any other number.\n"
         "Public Function VltxSignificado(ByVal Codigo As Long) As String\n"
         "    Select Case Codigo\n";
    for (const CodigoDriver& c : descricao::Codigos)
        s += "        Case " + std::string(c.Constante) + ": VltxSignificado = " + Literal(c.Significado) + "\n";
    s += "        Case Else: VltxSignificado = \"\"\n"
         "    End Select\n"
         "End Function\n";
    std::string crlf;
    for (char c : s) {
        if (c == '\n') crlf += '\r';
        crlf += c;
    }
    return crlf;
}

std::vector<ArquivoGerado> Gera(const Modelo& m) { return {{"bindings/vb/vltxdrv.bas", Modulo(m)}}; }

}  // namespace

extern const Emissor EmissorVb = {"vb", Gera};
