// The Python binding's declarations: vltxdrv/_exports.py (the exports, their
// parameters and results, the result codes, as data) and vltxdrv/_funcoes.py
// (one typed function per export, its docstring the reference's entry).
// The hand-written vltxdrv/_nucleo.py loads the library and makes the calls.
#include "emissor.h"

namespace {

std::string Literal(const std::string& s) {
    std::string r = "\"";
    for (char c : s) {
        if (c == '\\' || c == '"') r += '\\';
        if (c == '\n') {
            r += "\\n";
            continue;
        }
        r += c;
    }
    return r + "\"";
}

std::string Docstring(const std::string& texto, const std::string& recuo) {
    std::string s = recuo + "\"\"\"";
    std::string linha;
    bool primeira = true;
    for (std::size_t i = 0; i <= texto.size(); ++i) {
        if (i < texto.size() && texto[i] != '\n') {
            if (texto[i] == '\\') linha += '\\';
            linha += texto[i];
            continue;
        }
        if (i == texto.size() && linha.empty()) break;
        s += (primeira ? "" : (linha.empty() ? "" : recuo)) + linha + "\n";
        primeira = false;
        linha.clear();
    }
    return s + recuo + "\"\"\"\n";
}

const char* PapelPython(const ParametroModelo& p) {
    switch (p.Tipo) {
        case Papel::Inteiro: return "int32";
        // A device's name is a path as the system takes it (os.fsencode), as a file's is.
        case Papel::Caminho:
        case Papel::Dispositivo: return "path";
        case Papel::Buffer: return "buffer";
        default: return "text";
    }
}

std::string Exports(const Modelo& m) {
    std::string s = AvisoGerado("#");
    s += "\"\"\"The 54 exports of libvltxdrv as data: parameters, results, result codes.\"\"\"\n\n"
         "from collections import namedtuple\n\n"
         "Param = namedtuple(\"Param\", \"name role size\")\n"
         "Export = namedtuple(\"Export\", \"name python returns params results\")\n\n"
         "# The driver's own result codes: code -> (constant, meaning).\n"
         "CODES = {\n";
    for (const CodigoDriver& c : descricao::Codigos)
        s += "    " + std::to_string(c.Codigo) + ": (" + Literal(c.Constante) + ", " + Literal(c.Significado) + "),\n";
    s += "}\n\n"
         "# What every status byte is, the answers the driver itself acts on, and what\n"
         "# joins two readings of one number.\n"
         "STATUS = " + Literal(descricao::TextoStatus) + "\n"
         "DRIVER_ACTS_ON = " + Literal(descricao::StatusQueODriverUsa) + "\n"
         "READINGS_SEPARATOR = " + Literal(descricao::SeparadorDeLeituras) + "\n\n";
    std::string nomes = "__all__ = [\"CODES\", \"EXPORTS\", \"STATUS\", \"DRIVER_ACTS_ON\", \"READINGS_SEPARATOR\"";
    for (const CodigoDriver& c : descricao::Codigos) {
        s += std::string(c.Constante) + " = " + std::to_string(c.Codigo) + "\n";
        nomes += ", " + Literal(c.Constante);
    }
    for (const ExportacaoModelo& e : m.Exportacoes)
        for (const ParametroModelo& p : e.Parametros)
            if (p.Tipo == Papel::Buffer) {
                s += std::string(p.Proprio->ConstanteTamanho) + " = " + std::to_string(p.Proprio->Tamanho) + "\n";
                nomes += ", " + Literal(p.Proprio->ConstanteTamanho);
            }
    s += "\n" + nomes + "]\n";
    s += "\n# Every export, in the order of the header's groups. results: (from, to, meaning),\n"
         "# every line whose range holds a code applies to it.\n"
         "EXPORTS = {\n";
    for (const ExportacaoModelo& e : m.Exportacoes) {
        s += "    " + Literal(e.Nome) + ": Export(\n        " + Literal(e.Nome) + ", " + Literal(NomeSerpente(e.Nome)) +
             ", " + (e.SemRetorno ? "None" : "\"int32\"") + ",\n        (";
        for (const ParametroModelo& p : e.Parametros)
            s += "Param(" + Literal(p.Nome) + ", \"" + PapelPython(p) + "\", " +
                 std::to_string(p.Proprio != nullptr ? p.Proprio->Tamanho : 0) + "), ";
        s += "),\n        (";
        for (const ResultadoModelo& r : e.Resultados)
            s += "\n            (" + std::to_string(r.De) + ", " + std::to_string(r.Ate) + ", " + Literal(r.Texto) + "),";
        if (e.Desc->NotaResultados != nullptr)
            s += "\n            (None, None, " + Literal(e.Desc->NotaResultados) + "),";
        s += "\n        )),\n";
    }
    return s + "}\n";
}

std::string Funcoes(const Modelo& m) {
    std::string s = AvisoGerado("#");
    s += "\"\"\"One typed function per export; each docstring is the export's reference entry.\"\"\"\n\n"
         "from typing import Optional, Tuple\n\n"
         "from ._nucleo import Path, Text, call\n\n"
         "__all__ = [\n";
    for (const ExportacaoModelo& e : m.Exportacoes) s += "    " + Literal(NomeSerpente(e.Nome)) + ",\n";
    s += "]\n";
    for (const ExportacaoModelo& e : m.Exportacoes) {
        std::string assinatura, argumentos;
        bool buffer = false;
        for (const ParametroModelo& p : e.Parametros) {
            if (p.Tipo == Papel::Buffer) {
                buffer = true;
                continue;
            }
            const bool caminho = p.Tipo == Papel::Caminho || p.Tipo == Papel::Dispositivo;
            assinatura += p.Nome + ": " + (p.Tipo == Papel::Inteiro ? "int" : caminho ? "Path" : "Text") + ", ";
            argumentos += p.Nome + ", ";
        }
        const bool textos = assinatura.find(": Text") != std::string::npos;
        if (textos) assinatura += "*, encoding: Optional[str] = None";
        else if (!assinatura.empty()) assinatura.erase(assinatura.size() - 2);
        const std::string retorno = e.SemRetorno ? "None" : buffer ? "Tuple[int, bytes]" : "int";
        std::string doc = ResumoEmTexto(e);
        if (buffer) doc += "\nReturns the result and the bytes the driver wrote into the buffer (up to its NUL).\n";
        if (textos)
            doc += "\nTexts: bytes pass unchanged; a str needs an encoding (the argument, or\n"
                   "vltxdrv.set_encoding()); an int is sent as its decimal digits.\n";
        s += "\n\ndef " + NomeSerpente(e.Nome) + "(" + assinatura + ") -> " + retorno + ":\n" + Docstring(doc, "    ") +
             "    return call(" + Literal(e.Nome) + ", (" + argumentos + "), " + (textos ? "encoding" : "None") + ")\n";
    }
    return s;
}

std::vector<ArquivoGerado> Gera(const Modelo& m) {
    return {{"bindings/python/vltxdrv/_exports.py", Exports(m)}, {"bindings/python/vltxdrv/_funcoes.py", Funcoes(m)}};
}

}  // namespace

extern const Emissor EmissorPython = {"python", Gera};
