// The exports as the generator sees them: the driver's two tables (the frame
// rows of comandos.h and the descriptions of descricao.h) joined into one
// language-neutral model that every emitter reads.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "driver/comandos.h"
#include "driver/descricao.h"

enum class Papel : std::uint8_t {
    Campo,    // a text written into a frame field
    Inteiro,  // a 32-bit integer by value, written into a frame field
    Texto,    // a text the driver reads itself
    Caminho,  // a path of a file the driver opens
    Dispositivo,  // the name of the device the driver opens (a path, or a network address)
    Buffer,   // the host's buffer the driver writes into
};

struct ParametroModelo {
    int Posicao = 0;  // 1-based
    std::string Nome;
    Papel Tipo = Papel::Campo;
    std::vector<const Campo*> Campos;  // the field in each of the export's rows; empty when none
    const ParametroProprio* Proprio = nullptr;
    std::string Exemplo;
    std::vector<std::string> BytesExemplo;  // per field: what the example puts there
};

// One line of what an export can return: the codes De to Ate mean Texto.
struct ResultadoModelo {
    std::int64_t De, Ate;
    std::string Texto;
    std::uint32_t Tipo;  // the resultado:: kind it comes from
};

// An export's results for a reader: the line failures and the layout faults
// each said once, with their codes listed ("4, 6 to 19, 29").
struct LinhaDeResultado {
    std::string Codigos;
    std::string Texto;
};

struct ExportacaoModelo {
    const Descricao* Desc = nullptr;
    std::string Nome;
    std::vector<const Comando*> Linhas;  // none, one, or the cheque's two
    std::vector<ParametroModelo> Parametros;
    std::vector<const Campo*> CamposDoDriver;  // fields the driver fills itself (per row)
    bool SemRetorno = false;
    std::vector<ResultadoModelo> Resultados;
    std::string QuadroExemplo;  // the example's whole frame, the row's first; empty when it has none
};

struct Modelo {
    std::vector<ExportacaoModelo> Exportacoes;  // in the description's order
    std::vector<std::string> Erros;             // where the two tables disagree
};

Modelo ConstroiModelo();

// Names and words shared by the emitters.
std::string TipoC(Papel p);                   // "const char*", "char*", "int32_t"
std::string Prototipo(const ExportacaoModelo& e);  // the C declaration, without VLTX_API / VLTX_CALL
std::string Ancora(const std::string& nome);  // "ecf_vendaitem", "logc6_4"
std::vector<const ExportacaoModelo*> PorOrdemDeBytes(const Modelo& m);  // the export table's order
const char* TituloDoGrupo(Grupo g);
std::string NomeDoTipo(const Campo& c);       // "left-aligned text of 13"
std::string RegraDoCampo(const Campo& c);     // how a value becomes the field's bytes
std::string UsoDoParametro(const ParametroModelo& p);  // the rule, for a parameter of any kind
std::vector<LinhaDeResultado> ResultadosAgrupados(const ExportacaoModelo& e);
std::string Visivel(const std::string& bytes);  // bytes as a reader sees them, runs of blanks counted
