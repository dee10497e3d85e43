// vltxd's description of the exports: service/generated/exports.h, the
// parameters of every export with the kind and width of the frame field
// each one fills, and the driver's result codes with their meanings. The
// service checks a request against it before anything goes on the line,
// without including the driver's own tables.
#include <algorithm>

#include "emissor.h"

namespace {

const char* Kind(const ParametroModelo& p) {
    switch (p.Tipo) {
        case Papel::Inteiro: return "Kind::Int32";
        case Papel::Texto: return "Kind::Text";
        case Papel::Dispositivo: return "Kind::Text";  // the port name: the worker opens the port itself
        case Papel::Caminho: return "Kind::Path";
        case Papel::Buffer: return "Kind::Buffer";
        case Papel::Campo: break;
    }
    switch (p.Campos.front()->Tipo) {
        case TipoCampo::Caractere: return "Kind::Char";
        case TipoCampo::Esquerda: return "Kind::Left";
        case TipoCampo::Direita: return "Kind::Right";
        case TipoCampo::Numero: return "Kind::Number";
        case TipoCampo::TextoLivre: return "Kind::Free";
        default: return "Kind::Text";
    }
}

// The narrowest of the export's rows: a value that fits it fits every row.
int Width(const ParametroModelo& p) {
    if (p.Tipo != Papel::Campo && p.Tipo != Papel::Inteiro) return 0;
    int w = 0;
    for (const Campo* c : p.Campos)
        if (c != nullptr) w = w == 0 ? c->Largura : std::min(w, int(c->Largura));
    return w;
}

std::vector<ArquivoGerado> Gera(const Modelo& m) {
    std::string s = AvisoGerado("//");
    s += "// The exports as vltxd checks a request against them.\n"
         "#pragma once\n\n"
         "namespace vltxd::generated {\n\n"
         "enum class Kind {\n"
         "    Char,    // one byte: the first of the text (an empty text sends 0)\n"
         "    Left,    // left-aligned text of Width bytes, blanks behind\n"
         "    Right,   // right-aligned text of Width bytes, blanks in front\n"
         "    Number,  // decimal text written with Width digits\n"
         "    Int32,   // a 32-bit integer by value, written with Width digits\n"
         "    Free,    // free text, as many bytes as the count before it says (Width at most)\n"
         "    Text,    // a text the driver reads itself\n"
         "    Path,    // a file the driver opens\n"
         "    Buffer,  // a buffer the driver writes into\n"
         "};\n\n"
         "struct Param {\n    const char* Name;\n    Kind Type;\n    int Width;\n};\n\n"
         "struct Export {\n    const char* Name;\n    const char* Code;  // the frame's command code; empty: no frame\n"
         "    int Timeout;       // seconds, the reply's own\n    bool Void;\n"
         "    const Param* Params;\n    int NumParams;\n};\n\n"
         "struct Code {\n    int Value;\n    const char* Constant;\n    const char* Meaning;\n};\n\n";
    std::string tabela = "inline constexpr Export Exports[] = {\n";
    for (const ExportacaoModelo& e : m.Exportacoes) {
        const std::string id = "P_" + NomeSerpente(e.Nome);
        if (!e.Parametros.empty()) {
            s += "inline constexpr Param " + id + "[] = {\n";
            for (const ParametroModelo& p : e.Parametros)
                s += "    {\"" + p.Nome + "\", " + Kind(p) + ", " + std::to_string(Width(p)) + "},\n";
            s += "};\n";
        }
        const Comando* c = e.Linhas.empty() ? nullptr : e.Linhas.front();
        tabela += "    {" + LiteralC(e.Nome) + ", \"" + (c ? std::string(c->Codigo) : "") + "\", " +
                  std::to_string(c ? c->Timeout : 0) + ", " + (e.SemRetorno ? "true" : "false") + ", " +
                  (e.Parametros.empty() ? "nullptr" : id) + ", " + std::to_string(e.Parametros.size()) + "},\n";
    }
    s += "\n" + tabela + "};\n\ninline constexpr Code Codes[] = {\n";
    for (const CodigoDriver& c : descricao::Codigos)
        s += "    {" + std::to_string(c.Codigo) + ", " + LiteralC(c.Constante) + ", " + LiteralC(c.Significado) + "},\n";
    s += "};\n\n}  // namespace vltxd::generated\n";
    return {{"service/generated/exports.h", s}};
}

}  // namespace

extern const Emissor EmissorServico = {"vltxd's export description", Gera};
