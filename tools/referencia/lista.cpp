// Every emitter vltx-ref runs. A new language: one file in emissores/
// defining its Emissor, and one line here.
#include "emissor.h"

extern const Emissor EmissorReferencia;
extern const Emissor EmissorTabelasDeExportacao;
extern const Emissor EmissorPython;
extern const Emissor EmissorPascal;
extern const Emissor EmissorDotnet;
extern const Emissor EmissorJava;
extern const Emissor EmissorVb;
extern const Emissor EmissorServico;

const std::vector<const Emissor*>& Emissores() {
    static const std::vector<const Emissor*> lista = {
        &EmissorReferencia,
        &EmissorTabelasDeExportacao,
        &EmissorPython,
        &EmissorPascal,
        &EmissorDotnet,
        &EmissorJava,
        &EmissorVb,
        &EmissorServico,
    };
    return lista;
}
