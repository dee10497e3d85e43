#include "driver/serial.h"

#include <cstring>
#include <string_view>

#include "driver/descricao.h"

namespace {

// Row n of the link errors is ErroSerial n, and its code is named in the
// driver's table of codes as it says.
constexpr bool NomeDoCodigo(std::int32_t codigo, const char* constante) {
    for (const CodigoDriver& c : descricao::Codigos)
        if (c.Codigo == codigo) return std::string_view(c.Constante) == constante;
    return false;
}
constexpr bool TabelaDeErrosCerta() {
    std::int32_t n = 0;
    for (const LinhaErroSerial& l : ErrosSerial) {
        if (l.erro != n++ || !NomeDoCodigo(l.codigo, l.constante)) return false;
        if (std::string_view(l.mensagem).size() >= 40) return false;  // a message buffer holds 40 bytes
    }
    return n == TransmissaoCheia + 1;
}
static_assert(TabelaDeErrosCerta(), "one row per ErroSerial, in order, each code with its header name");

// The order matters: with several bits set the last one tested wins.
struct BitErro {
    std::uint32_t bit;
    std::int32_t erro;
};
constexpr BitErro OrdemBits[] = {
    {plataforma::CE_BREAK, ErroBreak},       {plataforma::CE_IOE, ErroDevice},
    {plataforma::CE_FRAME, ErroFraming},     {plataforma::CE_OVERRUN, ErroOverrun},
    {plataforma::CE_RXOVER, OverflowRecepcao}, {plataforma::CE_RXPARITY, ErroParidade},
    {plataforma::CE_TXFULL, TransmissaoCheia},
};

}  // namespace

const char* MensagemErroSerial(std::int32_t erro) {
    if (erro < 0 || erro > TransmissaoCheia) return "Erro desconhecido";
    return ErrosSerial[erro].mensagem;
}

void SERIAL::Zera() {
    Erro = 0;
    ErrosCom = 0;
    Handle = 0;
    LimiteLeitura = 0;
    LimiteEscrita = 0;
    Herdada = false;
}

std::int32_t SERIAL::Abre(const char* dispositivo, std::uint32_t velocidade, std::uint32_t maxLeitura,
                          std::uint32_t maxEscrita) {
    if (Handle != 0) return Falha(JaInicializada);
    plataforma::TiraFalhaSistema();  // nothing noted before this opening is its reason
    Handle = plataforma::AbreDispositivo(dispositivo);
    if (Handle == 0) return FalhaDaLinha(ErroAbertura);
    if (!plataforma::LeConfigLinha(Handle, Config)) {
        FalhaDaLinha(ErroConfiguracao);
        plataforma::FechaDispositivo(Handle);
        Handle = 0;
        return 0;
    }
    Config.BaudRate = velocidade;
    Config.ByteSize = 8;
    Config.Parity = 0;
    Config.StopBits = 0;
    Config.fParity = false;
    Config.fOutxCtsFlow = true;
    if (!plataforma::AplicaConfigLinha(Handle, Config)) {
        FalhaDaLinha(ErroConfiguracao);
        plataforma::FechaDispositivo(Handle);
        Handle = 0;
        return 0;
    }
    Tempos = plataforma::TemposLinha{100, 100, 10000, 0, 0};
    plataforma::AplicaTemposLinha(Handle, Tempos);
    LimiteLeitura = maxLeitura;
    LimiteEscrita = maxEscrita;
    return 1;
}

std::int32_t SERIAL::Fecha() {
    if (Handle == 0) return Falha(NaoInicializada);
    plataforma::FechaDispositivo(Handle);
    Zera();
    return 1;
}

std::int32_t SERIAL::Limpa(std::int32_t fila) {
    if (Handle == 0) return Falha(NaoInicializada);
    if ((fila == Ambas || fila == Entrada) && !plataforma::PurgaLinha(Handle, plataforma::PURGE_RXCLEAR))
        return FalhaDaLinha(ErroFlush);
    if ((fila == Ambas || fila == Saida) && !plataforma::PurgaLinha(Handle, plataforma::PURGE_TXCLEAR))
        return FalhaDaLinha(ErroFlush);
    return 1;
}

std::int32_t SERIAL::FilaOcupada(std::int32_t fila) {
    if (Handle == 0) return Falha(NaoInicializada);
    std::uint32_t descartados = 0;
    plataforma::EstadoLinha estado{};
    plataforma::LeErrosLinha(Handle, &descartados, &estado);
    switch (fila) {
        case Entrada: return estado.cbInQue != 0;
        case Saida: return estado.cbOutQue != 0;
        default: return estado.cbInQue != 0 && estado.cbOutQue != 0;
    }
}

std::int32_t SERIAL::CtsLivre() {
    if (Handle == 0) return Falha(NaoInicializada);
    std::uint32_t descartados = 0;
    plataforma::EstadoLinha estado{};
    plataforma::LeErrosLinha(Handle, &descartados, &estado);
    return estado.fCtsHold ? 0 : 1;
}

std::int32_t SERIAL::Envia(const void* dados, std::uint32_t quantidade, std::uint32_t* escritos, std::uint8_t cts) {
    if (Handle == 0) return Falha(NaoInicializada);
    if (plataforma::LinhaCaiu(Handle)) return FalhaDaQueda();
    if (FilaOcupada(Saida) == 1) return Falha(TransmissaoPendente);
    if (quantidade > LimiteEscrita) return Falha(BufferPequeno);
    if (Config.fOutxCtsFlow != (cts != 0)) {
        Config.fOutxCtsFlow = cts != 0;
        // On a line that has dropped the settings fail too: that is the drop.
        if (!plataforma::AplicaConfigLinha(Handle, Config))
            return FalhaDaLinha(plataforma::LinhaCaiu(Handle) ? ErroDevice : ErroConfiguracao);
    }
    if (cts == 1 && CtsLivre() == 0) return Falha(TimeoutCts);
    std::uint32_t feitos = 0;
    if (!plataforma::EscreveLinha(Handle, dados, quantidade, &feitos)) {
        const plataforma::FalhaSistema motivo = plataforma::TiraFalhaSistema();  // the write's, not the look's
        plataforma::LeErrosLinha(Handle, &ErrosCom, nullptr);
        if (escritos != nullptr) *escritos = feitos;
        return Falha(ErroTransmissao, motivo);
    }
    if (escritos != nullptr) *escritos = feitos;
    return 1;
}

std::int32_t SERIAL::Recebe(void* destino, std::uint32_t quantidade, std::uint32_t* lidos, std::uint32_t segundos) {
    if (lidos != nullptr) *lidos = 0;
    if (Handle == 0) return Falha(NaoInicializada);
    if (plataforma::LinhaCaiu(Handle)) return FalhaDaQueda();
    if (quantidade > LimiteLeitura) return Falha(BufferPequeno);
    Tempos.ReadTotalTimeoutConstant = segundos * 1000u;
    plataforma::AplicaTemposLinha(Handle, Tempos);
    std::uint32_t recebidos = 0;
    if (!plataforma::LeLinha(Handle, destino, quantidade, &recebidos)) {
        const plataforma::FalhaSistema motivo = plataforma::TiraFalhaSistema();  // the read's, not the look's
        plataforma::LeErrosLinha(Handle, &ErrosCom, nullptr);
        if (lidos != nullptr) *lidos = recebidos;
        return Falha(ErroRecepcao, motivo);
    }
    if (lidos != nullptr) *lidos = recebidos;
    if (recebidos == 0 && CtsLivre() == 0) return Falha(TimeoutCts);
    if (recebidos != quantidade) return Falha(RecepcaoIncompleta);
    return 1;
}

std::int32_t SERIAL::UltimoErro(char* mensagem) {
    if (ErrosCom != 0) {
        for (const BitErro& b : OrdemBits)
            if (ErrosCom & b.bit) Erro = b.erro;
        ErrosCom = 0;
    }
    if (mensagem != nullptr) std::strcpy(mensagem, MensagemErroSerial(Erro));
    std::int32_t erro = Erro;
    Erro = 0;
    return erro;
}

void SERIAL::Assenta(std::uint32_t silencioMs, std::uint32_t limiteMs, Descarte descartados, void* contexto) {
    if (Handle == 0) return;
    const std::int64_t fim = plataforma::RelogioMilissegundos() + limiteMs;
    unsigned char pedaco[256];
    for (;;) {
        const std::int64_t resta = fim - plataforma::RelogioMilissegundos();
        if (resta <= 0 || plataforma::LinhaCaiu(Handle)) return;
        const auto espera = static_cast<std::uint32_t>(resta < silencioMs ? resta : silencioMs);
        if (!plataforma::EsperaEntrada(Handle, espera)) return;
        // Only what waits is asked for, so the read returns at once.
        plataforma::EstadoLinha estado{};
        std::uint32_t erros = 0;
        plataforma::LeErrosLinha(Handle, &erros, &estado);
        std::uint32_t quantos = estado.cbInQue < sizeof pedaco ? estado.cbInQue : sizeof pedaco;
        if (quantos == 0) quantos = 1;
        std::uint32_t lidos = 0;
        const bool ok = plataforma::LeLinha(Handle, pedaco, quantos, &lidos);
        if (lidos > 0 && descartados != nullptr) descartados(pedaco, lidos, contexto);
        if (!ok) return;
    }
}
