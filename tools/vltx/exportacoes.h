// The 54 exports as a host calls them: name, how many arguments the user
// gives, and a caller that turns those arguments into the C call. The shapes
// come from the library's own header, so a changed prototype changes them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct Resultado {
    std::int32_t Valor = 0;
    bool SemValor = false;  // the two counter exports return nothing
    std::string Buffer;     // what an export wrote into a buffer of ours
};

enum class Forma : std::uint8_t {
    Textos,       // every argument a string
    Inteiro,      // one integer by value (ecf_CupomStub)
    Registrador,  // a string and our 31-byte answer buffer (ecf_LeRegistrador)
    Versao,       // only our buffer (ecf_VersaoDLL)
    Nada,         // no argument, no result (the two counter exports)
};

struct Exportacao {
    const char* Nome;  // as exported: "ecf_VendaItem", "@Log@C6_4"
    int Aridade;       // arguments the user gives
    Forma Tipo;
    Resultado (*Chama)(void* simbolo, const std::vector<std::string>& argumentos);
};

const std::vector<Exportacao>& Exportacoes();

// By name, with or without "ecf_", in any case; null when unknown.
const Exportacao* ProcuraExportacao(std::string_view nome);

// The short name the user types: "VendaItem".
std::string_view NomeCurto(const Exportacao& e);

// The names of the parameters, for the usage line.
std::vector<std::string> NomesParametros(const Exportacao& e);

// The decimal text rule of the driver: blanks, one sign, digits.
std::int32_t TextoParaInteiro(const std::string& texto);
