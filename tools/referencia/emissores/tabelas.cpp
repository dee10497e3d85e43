// The export tables of the library: vltxdrv.sym (the names, for the ELF
// version script) and vltxdrv.def (the DLL's table, numbered 1 to 54 in the
// byte order of the names).
#include <cctype>

#include "emissor.h"

namespace {

bool IdentificadorC(const std::string& nome) {
    if (nome.empty() || std::isdigit(static_cast<unsigned char>(nome[0]))) return false;
    for (char c : nome)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_') return false;
    return true;
}

// The C name behind an export no C identifier can spell: "@Log@C6_4" is
// defined as vLog_C6_4 and renamed in the library's table.
std::string NomeInterno(const std::string& nome) {
    if (nome.rfind("@Log@", 0) == 0) return "vLog_" + nome.substr(5);
    return nome;
}

std::vector<ArquivoGerado> Gera(const Modelo& m) {
    std::string sym, def =
                         "; The export table of vltxdrv.dll: every name undecorated, numbered 1 to 54\n"
                         "; in the byte order of the names (the order of vltxdrv.sym).\n"
                         "LIBRARY vltxdrv.dll\n"
                         "EXPORTS\n";
    int ordinal = 0;
    for (const ExportacaoModelo* e : PorOrdemDeBytes(m)) {
        sym += e->Nome + "\n";
        const std::string n = "@" + std::to_string(++ordinal);
        if (IdentificadorC(e->Nome)) def += "    " + e->Nome + " " + n + "\n";
        else def += "    \"" + e->Nome + "\" = " + NomeInterno(e->Nome) + " " + n + "\n";
    }
    return {{"src/exports/vltxdrv.sym", sym}, {"src/exports/vltxdrv.def", def}};
}

}  // namespace

extern const Emissor EmissorTabelasDeExportacao = {"export tables", Gera};
