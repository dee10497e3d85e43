// Cheque printing: the host's layout file is copied to a private temporary
// copy, the section's seven keys are read from the copy and checked, and one
// command "34" frame goes out in the basic (169-byte) or the extended
// (189-byte) layout, chosen by how many numbers "Valor" holds.
#include "cheque/cheque.h"

#include <climits>
#include <cstdio>
#include <cstring>
#include <optional>

#include "driver/comandos.h"
#include "driver/estado.h"
#include "driver/log.h"
#include "platform/plataforma.h"
#include "vltxdrv.h"

namespace cheque {

// A digit run is read with saturation: once its value passes 2147483647 it
// stays there, and a run of more than 19 digits (leading zeros or not) is
// 2147483647 too. No run, however long, can overflow anything.
bool LeListaNumeros(const char* texto, int quantidade, std::int32_t* numeros) {
    if (quantidade < 1 || numeros == nullptr) return false;
    for (int i = 0; i < quantidade; ++i) numeros[i] = -1;
    const auto* p = reinterpret_cast<const unsigned char*>(Texto(texto));
    std::size_t campo = 0;
    while (*p != '\0') {
        if (*p == ',') {
            ++campo;
            ++p;
        } else if (*p >= '0' && *p <= '9') {
            std::int64_t valor = 0;
            std::size_t digitos = 0;
            for (; *p >= '0' && *p <= '9'; ++p, ++digitos)
                if (valor <= NumeroMaximo) valor = valor * 10 + (*p - '0');
            if (digitos > 19 || valor > NumeroMaximo) valor = NumeroMaximo;
            if (campo < static_cast<std::size_t>(quantidade)) numeros[campo] = static_cast<std::int32_t>(valor);
        } else {
            ++p;  // blanks, signs, letters: skipped
        }
    }
    if (campo != static_cast<std::size_t>(quantidade - 1)) return false;
    for (int i = 0; i < quantidade; ++i)
        if (numeros[i] == -1) return false;
    return true;
}

}  // namespace cheque

namespace {

using cheque::LeListaNumeros;

constexpr const Comando& Basico = Linha("ecf_ImprimeCheque", 169);
constexpr const Comando& Estendido = Linha("ecf_ImprimeCheque", 189);

constexpr std::int32_t ErroArquivo = 20;
constexpr std::int32_t ErroSecao = 21;
constexpr std::int32_t ErroValor = 22;
constexpr std::int32_t ErroEspacamento = 28;

// Where each key's numbers start in the flattened layout the frame rows read.
constexpr int PosValor = 0;
constexpr int TotalNumeros = 25;

// The keys after "Valor", in the order they are read, with how many numbers
// each holds in the basic and in the extended layout.
struct ChaveLista {
    const char* Nome;
    int Posicao;
    int Basico;
    int Estendido;
    std::int32_t Erro;
};
constexpr ChaveLista Listas[] = {
    {"Extenso", 4, 4, 6, 23},  {"Favorecido", 10, 2, 4, 24}, {"Cidade", 14, 2, 4, 25},
    {"Mensagem", 18, 2, 4, 26}, {"Data", 22, 3, 3, 27},
};

// What the profile reader leaves for a key it does not find.
constexpr const char* Ausente = "ERR";
constexpr std::uint32_t TamanhoValor = 80;

// The longest piece a line read takes: a longer line comes in several.
constexpr std::size_t MaxPedaco = 119;
constexpr unsigned char CtrlZ = 26;

// The host's file read as a text-mode stream: carriage returns dropped, the
// first Ctrl-Z byte taken as the end of the file; handed out in pieces of
// at most 119 bytes, each ending at (and keeping) its line feed.
class LeitorTexto {
public:
    explicit LeitorTexto(plataforma::Arquivo arquivo) : arquivo_(arquivo) {}

    // The next piece into pedaco; its length, 0 at the end of the file.
    std::size_t Proximo(char* pedaco) {
        std::size_t n = 0;
        unsigned char c = 0;
        while (n < MaxPedaco && ProximoByte(c)) {
            pedaco[n++] = static_cast<char>(c);
            if (c == '\n') break;
        }
        return n;
    }

private:
    bool ProximoByte(unsigned char& c) {
        while (!fim_) {
            if (pos_ == usados_) {
                const long lidos = plataforma::LeArquivo(arquivo_, bloco_, sizeof bloco_);
                if (lidos <= 0) break;
                usados_ = static_cast<std::size_t>(lidos);
                pos_ = 0;
            }
            c = bloco_[pos_++];
            if (c == CtrlZ) break;
            if (c != '\r') return true;
        }
        fim_ = true;
        return false;
    }

    plataforma::Arquivo arquivo_;
    unsigned char bloco_[4096];
    std::size_t usados_ = 0;
    std::size_t pos_ = 0;
    bool fim_ = false;
};

// Copies the host's file piece by piece. A piece that holds a "[" with its
// first "]" standing after it is written from that "[" on (an indented
// section header loses its indent); any other piece goes unchanged. Line
// feeds are written as CR LF. Failed writes are not looked at: a short copy
// shows up as a missing section or key.
// The pieces are gathered into blocks, so a long file costs a write per
// block, not per piece.
void CopiaLayout(plataforma::Arquivo origem, plataforma::Arquivo copia) {
    LeitorTexto leitor(origem);
    char pedaco[MaxPedaco + 1];
    char saida[4096];
    std::size_t usados = 0;
    for (std::size_t n; (n = leitor.Proximo(pedaco)) > 0;) {
        const auto* abre = static_cast<const char*>(std::memchr(pedaco, '[', n));
        const auto* fecha = static_cast<const char*>(std::memchr(pedaco, ']', n));
        const char* inicio = abre != nullptr && fecha != nullptr && fecha > abre ? abre : pedaco;
        const std::size_t tamanho = n - static_cast<std::size_t>(inicio - pedaco);
        if (usados + tamanho > sizeof saida) {
            EscreveTexto(copia, saida, usados);
            usados = 0;
        }
        std::memcpy(saida + usados, inicio, tamanho);
        usados += tamanho;
    }
    EscreveTexto(copia, saida, usados);
}

// Reads a key of the section from the copy; false when it is absent (or its
// value is the text "ERR", which cannot be told from absent).
bool LeChave(const char* secao, const char* chave, char (&valor)[TamanhoValor], const char* copia) {
    plataforma::LePerfil(secao, chave, Ausente, valor, TamanhoValor, copia);
    return std::strcmp(valor, Ausente) != 0;
}

// The leading integer of a text as the runtime's decimal conversion reads
// it (blanks, one sign, digits up to the first non-digit; no digits give 0),
// out-of-range values held at the ends of the 32-bit range as the Windows
// runtime holds them: a long spacing value never wraps below 1.
std::int64_t InteiroInicial(const char* texto) {
    const auto* p = reinterpret_cast<const unsigned char*>(texto);
    while (*p == ' ' || (*p >= '\t' && *p <= '\r')) ++p;
    bool negativo = false;
    if (*p == '+' || *p == '-') negativo = *p++ == '-';
    std::int64_t valor = 0;
    for (; *p >= '0' && *p <= '9'; ++p)
        if (valor <= INT32_MAX) valor = valor * 10 + (*p - '0');
    if (negativo) return valor > -static_cast<std::int64_t>(INT32_MIN) ? INT32_MIN : -valor;
    return valor > INT32_MAX ? INT32_MAX : valor;
}

// The copy has one path for every process on the machine: it is held from
// its creation until it is deleted or left on disk, so that two processes
// printing cheques at once neither spoil nor read each other's copy.
class TravaCopia {
public:
    TravaCopia() : trava_(plataforma::TomaTravaGlobal("chqlay")) {}
    ~TravaCopia() { plataforma::SoltaTravaGlobal(trava_); }
    TravaCopia(const TravaCopia&) = delete;
    TravaCopia& operator=(const TravaCopia&) = delete;
    bool Tomada() const { return trava_ != 0; }

private:
    plataforma::TravaGlobal trava_;
};

std::int32_t ImprimeCheque(const char* const (&textos)[7], const char* secao, const char* arquivo) {
    // The host's path is used where it stands: a path of any length works.
    const plataforma::Arquivo layout = plataforma::AbreArquivoLeituraEscrita(Texto(arquivo));
    if (layout <= 0) return ErroArquivo;
    std::optional<TravaCopia> trava(std::in_place);
    if (!trava->Tomada()) {
        plataforma::FechaArquivo(layout);
        return ErroArquivo;
    }

    char copia[PATH_MAX + 16];
    const int n = std::snprintf(copia, sizeof copia, "%s%s", plataforma::DiretorioC(), cheque::NomeCopia);
    // 0600, no symbolic link followed, no other file truncated through a hard link.
    const plataforma::Arquivo saida = n > 0 && static_cast<std::size_t>(n) < sizeof copia
                                          ? plataforma::CriaArquivoSaida(copia, true)
                                          : plataforma::Arquivo{-1};
    if (saida <= 0) {
        plataforma::FechaArquivo(layout);
        return ErroArquivo;
    }
    CopiaLayout(layout, saida);
    plataforma::FechaArquivo(saida);
    plataforma::FechaArquivo(layout);

    // From here on, every failure leaves the copy on disk for the host to see.
    secao = Texto(secao);
    char valor[TamanhoValor];
    if (plataforma::LePerfil(secao, nullptr, "", valor, TamanhoValor, copia) == 0) return ErroSecao;

    std::int32_t numeros[TotalNumeros];
    for (std::int32_t& x : numeros) x = -1;

    if (!LeChave(secao, "Valor", valor, copia)) return ErroValor;
    // Four numbers make the extended layout; two are enough for the basic one,
    // which ignores anything after them.
    const bool estendido = LeListaNumeros(valor, 4, numeros + PosValor);
    if (!estendido && (numeros[PosValor] == -1 || numeros[PosValor + 1] == -1)) return ErroValor;

    for (const ChaveLista& k : Listas) {
        if (!LeChave(secao, k.Nome, valor, copia) ||
            !LeListaNumeros(valor, estendido ? k.Estendido : k.Basico, numeros + k.Posicao))
            return k.Erro;
    }

    if (!LeChave(secao, "eSpacamento", valor, copia) || InteiroInicial(valor) < 1) return ErroEspacamento;
    // The text goes to the printer, not the number: its first three bytes.
    char espacamento[4] = {};
    std::memcpy(espacamento, valor, strnlen(valor, 3));

    plataforma::ApagaArquivo(copia);
    trava.reset();  // the frame goes out without holding the other processes

    const Argumentos argumentos{{textos[0], textos[1], textos[2], textos[3], textos[4], textos[5], textos[6],
                                 espacamento},
                                0,
                                numeros};
    return ExecutaLinha(estendido ? Estendido : Basico, argumentos);
}

}  // namespace

extern "C" VLTX_API int32_t VLTX_CALL ecf_ImprimeCheque(const char* valor, const char* favorecido,
                                                       const char* cidade, const char* mensagem, const char* data,
                                                       const char* texto6, const char* texto7, const char* secao,
                                                       const char* arquivo) {
    // The lock covers the file work too: the copy has one path for every caller.
    Guarda guarda;
    const char* const textos[7] = {valor, favorecido, cidade, mensagem, data, texto6, texto7};
    return ImprimeCheque(textos, secao, arquivo);
}
