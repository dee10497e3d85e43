// SERIAL: the driver's only door to the printer.
#pragma once

#include <cstdint>

#include "platform/plataforma.h"

// Why the last operation of SERIAL failed.
enum ErroSerial : std::int32_t {
    SemErro = 0,
    NaoInicializada = 1,
    JaInicializada = 2,
    ErroAbertura = 3,
    ErroConfiguracao = 4,
    ErroFlush = 5,
    BufferPequeno = 6,
    TimeoutCts = 7,
    TransmissaoPendente = 8,
    ErroTransmissao = 9,
    RecepcaoIncompleta = 10,
    ErroRecepcao = 11,
    ErroFraming = 12,
    ErroOverrun = 13,
    ErroBreak = 14,
    ErroDevice = 15,
    OverflowRecepcao = 16,
    ErroParidade = 17,
    TransmissaoCheia = 18,
};

// Each link error in one row: the driver's return code for it, the text
// UltimoErro gives, and the name include/vltxdrv.h gives the code. Row n is
// ErroSerial n (checked when serial.cpp compiles, with each name against the
// driver's table of codes).
struct LinhaErroSerial {
    ErroSerial erro;
    std::int32_t codigo;
    const char* mensagem;
    const char* constante;
};

inline constexpr LinhaErroSerial ErrosSerial[] = {
    {SemErro, 29, "", "VLTX_ERRO_LINHA"},
    {NaoInicializada, 5, "Serial nao inicializada", "VLTX_ERRO_FECHADO"},
    {JaInicializada, 1, "Serial ja inicializada", "VLTX_JA_ABERTA"},
    {ErroAbertura, 3, "Erro na Abertura", "VLTX_ERRO_ABRIR"},
    {ErroConfiguracao, 4, "Problemas na Configuracao", "VLTX_ERRO_CONFIGURAR"},
    {ErroFlush, 12, "Erro no Flush", "VLTX_ERRO_LIMPEZA"},
    {BufferPequeno, 7, "Buffer muito pequeno para comunicacao", "VLTX_ERRO_TAMANHO"},
    {TimeoutCts, 8, "Timeout de CTS", "VLTX_ERRO_CTS"},
    {TransmissaoPendente, 6, "Transmissao pendente", "VLTX_ERRO_SAIDA_PENDENTE"},
    {ErroTransmissao, 9, "Erro na Transmissao", "VLTX_ERRO_ESCRITA"},
    {RecepcaoIncompleta, 10, "Erro desconhecido", "VLTX_ERRO_RESPOSTA_CURTA"},  // no text of its own
    {ErroRecepcao, 11, "Erro na Recepcao", "VLTX_ERRO_LEITURA"},
    {ErroFraming, 13, "Erro de framing", "VLTX_ERRO_ENQUADRAMENTO"},
    {ErroOverrun, 14, "Erro de overrun", "VLTX_ERRO_SOBRESCRITA"},
    {ErroBreak, 15, "Break detectado na comunicacao", "VLTX_ERRO_BREAK"},
    {ErroDevice, 16, "Erro no device durante a comunicacao", "VLTX_ERRO_DISPOSITIVO"},
    {OverflowRecepcao, 17, "Overflow no buffer de recepcao serial", "VLTX_ERRO_ESTOURO_RECEPCAO"},
    {ErroParidade, 18, "Erro de paridade", "VLTX_ERRO_PARIDADE"},
    {TransmissaoCheia, 19, "Buffer de transmissao serial esta cheio", "VLTX_ERRO_TRANSMISSAO_CHEIA"},
};

// The driver's return code for a link error: 29 for a value outside the table.
constexpr std::int32_t CodigoDoErro(std::int32_t erro) {
    return erro >= 0 && erro <= TransmissaoCheia ? ErrosSerial[erro].codigo : ErrosSerial[SemErro].codigo;
}

// Queue selector of Limpa and FilaOcupada.
enum Fila : std::int32_t { Ambas = 0, Entrada = 1, Saida = 2 };

class SERIAL {
public:
    SERIAL() { Zera(); }
    // A device another process opened (see MarcaHerdada) is left to it.
    ~SERIAL() {
        if (!Herdada) Fecha();
    }
    SERIAL(const SERIAL&) = delete;
    SERIAL& operator=(const SERIAL&) = delete;

    void Zera();
    std::int32_t Abre(const char* dispositivo, std::uint32_t velocidade, std::uint32_t maxLeitura,
                      std::uint32_t maxEscrita);
    std::int32_t Fecha();
    std::int32_t Limpa(std::int32_t fila);
    std::int32_t FilaOcupada(std::int32_t fila);
    std::int32_t CtsLivre();
    std::int32_t Envia(const void* dados, std::uint32_t quantidade, std::uint32_t* escritos, std::uint8_t cts);
    std::int32_t Recebe(void* destino, std::uint32_t quantidade, std::uint32_t* lidos, std::uint32_t segundos);
    // Returns the last error and clears it; mensagem (40 bytes or more) gets its text.
    std::int32_t UltimoErro(char* mensagem);
    // Why the system failed the call behind the last error, when one did
    // (read: EIO); kept until the next failure.
    const plataforma::FalhaSistema& FalhaDoSistema() const { return Motivo; }

    bool Aberta() const { return Handle != 0; }
    // This process is a fork of the one that opened the device: the device
    // (its exclusive mode, its locks, its lock file) is that process's, and
    // destroying this object at unload leaves it alone. An explicit Fecha
    // still closes it.
    void MarcaHerdada() { Herdada = Handle != 0; }
    // Blocks until input waits or the time runs out (the readouts wait on it).
    bool EsperaEntrada(std::uint32_t milissegundos) { return plataforma::EsperaEntrada(Handle, milissegundos); }
    // True once the line has dropped; every send and receive then fails with
    // ErroDevice until the port is closed.
    bool Caiu() const { return Handle != 0 && plataforma::LinhaCaiu(Handle); }

    // After a failed exchange the printer may still be sending (a late
    // reply, the rest of a cut one), and the protocol has no sequence
    // numbers: the next command would take those bytes as its own reply.
    // Reads and hands to descartados each piece that arrives until the line
    // has been quiet for silencioMs, or limiteMs have passed in all.
    using Descarte = void (*)(const unsigned char* bytes, std::uint32_t n, void* contexto);
    void Assenta(std::uint32_t silencioMs, std::uint32_t limiteMs, Descarte descartados, void* contexto);

private:
    // A failure of the driver's own: no system call behind it.
    std::int32_t Falha(std::int32_t erro) {
        Erro = erro;
        Motivo = plataforma::FalhaSistema{};
        return 0;
    }
    // A failure after a call of the line that failed: the system's reason
    // kept beside the error.
    std::int32_t FalhaDaLinha(std::int32_t erro) { return Falha(erro, plataforma::TiraFalhaSistema()); }
    // The line has dropped: its reason was noted where the line found it,
    // or is kept from the failure that found it.
    std::int32_t FalhaDaQueda() {
        const plataforma::FalhaSistema motivo = plataforma::TiraFalhaSistema();
        return Falha(ErroDevice, motivo.chamada != nullptr ? motivo : Motivo);
    }
    std::int32_t Falha(std::int32_t erro, const plataforma::FalhaSistema& motivo) {
        Erro = erro;
        Motivo = motivo;
        return 0;
    }

    plataforma::ConfigLinha Config{};
    std::int32_t Erro;
    plataforma::FalhaSistema Motivo{};
    std::uint32_t ErrosCom;
    std::uint32_t LimiteLeitura;
    std::uint32_t LimiteEscrita;
    plataforma::Dispositivo Handle;
    bool Herdada;
    plataforma::TemposLinha Tempos{};
};

// The Portuguese text of a link error, as UltimoErro gives it.
const char* MensagemErroSerial(std::int32_t erro);
