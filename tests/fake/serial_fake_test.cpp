// SERIAL and the exchange against a scripted line: the failures a
// pseudo-terminal cannot produce (CTS held, line errors, failed settings).
#include <gtest/gtest.h>

#include <cstring>

#include "driver/estado.h"
#include "fake/plataforma_fake.h"
#include "vltxdrv.h"

namespace {

class Serial : public ::testing::Test {
protected:
    void SetUp() override { fake::Reinicia(); }
    SERIAL porta;
    char mensagem[40] = {};
};

TEST_F(Serial, OpensWithTheLineSettingsAndTimeOuts) {
    fake::linha.config.BaudRate = 1200;
    fake::linha.config.Parity = 2;
    fake::linha.config.StopBits = 2;
    fake::linha.config.fParity = true;
    fake::linha.config.Nativo[0] = 0x5a;  // the rest of the device's record rides along
    ASSERT_EQ(porta.Abre("COM1", 9600, 1024, 860), 1);
    const plataforma::ConfigLinha& c = fake::linha.config;
    EXPECT_EQ(c.BaudRate, 9600u);
    EXPECT_EQ(c.ByteSize, 8);
    EXPECT_EQ(c.Parity, 0);
    EXPECT_EQ(c.StopBits, 0);
    EXPECT_FALSE(c.fParity);
    EXPECT_TRUE(c.fOutxCtsFlow);
    EXPECT_EQ(c.Nativo[0], 0x5a);
    const plataforma::TemposLinha& t = fake::linha.tempos;
    EXPECT_EQ(t.ReadIntervalTimeout, 100u);
    EXPECT_EQ(t.ReadTotalTimeoutMultiplier, 100u);
    EXPECT_EQ(t.ReadTotalTimeoutConstant, 10000u);
    EXPECT_EQ(t.WriteTotalTimeoutMultiplier, 0u);
    EXPECT_EQ(t.WriteTotalTimeoutConstant, 0u);
}

TEST_F(Serial, OpeningFailuresLeaveItClosed) {
    ASSERT_EQ(porta.Abre("COM1", 9600, 1024, 860), 1);
    EXPECT_EQ(porta.Abre("COM1", 9600, 1024, 860), 0);
    EXPECT_EQ(porta.UltimoErro(mensagem), JaInicializada);
    EXPECT_STREQ(mensagem, "Serial ja inicializada");
    EXPECT_TRUE(porta.Aberta());
    ASSERT_EQ(porta.Fecha(), 1);

    fake::linha.abreFalha = true;
    EXPECT_EQ(porta.Abre("COM9", 9600, 1024, 860), 0);
    EXPECT_EQ(porta.UltimoErro(mensagem), ErroAbertura);
    EXPECT_STREQ(mensagem, "Erro na Abertura");
    EXPECT_FALSE(porta.Aberta());

    fake::linha.abreFalha = false;
    fake::linha.leConfigFalha = true;
    EXPECT_EQ(porta.Abre("COM1", 9600, 1024, 860), 0);
    EXPECT_EQ(porta.UltimoErro(nullptr), ErroConfiguracao);
    EXPECT_FALSE(fake::linha.aberta) << "the device is released";

    fake::linha.leConfigFalha = false;
    fake::linha.aplicaConfigFalhaApos = 0;
    EXPECT_EQ(porta.Abre("COM1", 9600, 1024, 860), 0);
    EXPECT_EQ(porta.UltimoErro(nullptr), ErroConfiguracao);
    EXPECT_FALSE(fake::linha.aberta);
}

TEST_F(Serial, ClosedObjectRefusesEveryOperation) {
    unsigned char b[4] = {};
    EXPECT_EQ(porta.Fecha(), 0);
    EXPECT_EQ(porta.UltimoErro(mensagem), NaoInicializada);
    EXPECT_STREQ(mensagem, "Serial nao inicializada");
    EXPECT_EQ(porta.Limpa(Ambas), 0);
    EXPECT_EQ(porta.Envia(b, 4, nullptr, 1), 0);
    EXPECT_EQ(porta.Recebe(b, 1, nullptr, 1), 0);
    EXPECT_EQ(porta.FilaOcupada(Entrada), 0);
    EXPECT_EQ(porta.CtsLivre(), 0);
    EXPECT_EQ(porta.UltimoErro(nullptr), NaoInicializada);
}

TEST_F(Serial, SendRespectsTheLimitCtsAndThePendingQueue) {
    ASSERT_EQ(porta.Abre("COM1", 9600, 1024, 860), 1);
    unsigned char quadro[861] = {};
    EXPECT_EQ(porta.Envia(quadro, 860, nullptr, 1), 1);
    EXPECT_EQ(fake::linha.escrito.size(), 860u);
    EXPECT_EQ(porta.Envia(quadro, 861, nullptr, 1), 0);
    EXPECT_EQ(porta.UltimoErro(mensagem), BufferPequeno);
    EXPECT_STREQ(mensagem, "Buffer muito pequeno para comunicacao");
    EXPECT_EQ(fake::linha.escrito.size(), 860u) << "nothing written";

    fake::linha.ctsPreso = true;
    EXPECT_EQ(porta.Envia(quadro, 4, nullptr, 1), 0);
    EXPECT_EQ(porta.UltimoErro(nullptr), TimeoutCts);
    EXPECT_EQ(fake::linha.escrito.size(), 860u);

    fake::linha.ctsPreso = false;
    fake::linha.saidaOcupada = 3;
    EXPECT_EQ(porta.Envia(quadro, 4, nullptr, 0), 0);
    EXPECT_EQ(porta.UltimoErro(nullptr), TransmissaoPendente);
}

TEST_F(Serial, CtsFlowControlIsAppliedOnlyWhenItChanges) {
    ASSERT_EQ(porta.Abre("COM1", 9600, 1024, 860), 1);
    unsigned char quadro[4] = {27, 'f', '0', '0'};
    const int aplicadas = fake::linha.aplicacoesConfig;
    EXPECT_EQ(porta.Envia(quadro, 4, nullptr, 1), 1);
    EXPECT_EQ(fake::linha.aplicacoesConfig, aplicadas);
    EXPECT_EQ(porta.Envia(quadro, 4, nullptr, 0), 1);
    EXPECT_EQ(fake::linha.aplicacoesConfig, aplicadas + 1);
    EXPECT_FALSE(fake::linha.config.fOutxCtsFlow);
    EXPECT_EQ(porta.Envia(quadro, 4, nullptr, 0), 1);
    EXPECT_EQ(fake::linha.aplicacoesConfig, aplicadas + 1);
    // Without CTS flow control a held CTS does not stop the send.
    fake::linha.ctsPreso = true;
    EXPECT_EQ(porta.Envia(quadro, 4, nullptr, 0), 1);
    fake::linha.aplicaConfigFalhaApos = 0;
    EXPECT_EQ(porta.Envia(quadro, 4, nullptr, 1), 0);
    EXPECT_EQ(porta.UltimoErro(nullptr), ErroConfiguracao);
}

TEST_F(Serial, ReceiveReportsWhatArrived) {
    ASSERT_EQ(porta.Abre("COM1", 9600, 1024, 860), 1);
    unsigned char b[1025] = {};
    std::uint32_t lidos = 99;
    EXPECT_EQ(porta.Recebe(b, 1, &lidos, 2), 0);
    EXPECT_EQ(lidos, 0u);
    EXPECT_EQ(porta.UltimoErro(mensagem), RecepcaoIncompleta);
    EXPECT_STREQ(mensagem, "Erro desconhecido");
    EXPECT_EQ(fake::linha.tempos.ReadTotalTimeoutConstant, 2000u);

    fake::Responde("abc");
    EXPECT_EQ(porta.Recebe(b, 30, &lidos, 5), 0);
    EXPECT_EQ(lidos, 3u);
    EXPECT_EQ(porta.UltimoErro(nullptr), RecepcaoIncompleta);

    fake::linha.ctsPreso = true;
    EXPECT_EQ(porta.Recebe(b, 1, &lidos, 1), 0);
    EXPECT_EQ(porta.UltimoErro(nullptr), TimeoutCts);
    fake::linha.ctsPreso = false;

    const std::size_t leituras = fake::linha.timeoutsLeitura.size();
    EXPECT_EQ(porta.Recebe(b, 1025, &lidos, 1), 0);
    EXPECT_EQ(porta.UltimoErro(nullptr), BufferPequeno);
    EXPECT_EQ(fake::linha.timeoutsLeitura.size(), leituras) << "nothing read";

    fake::Responde("xyz");
    EXPECT_EQ(porta.Recebe(b, 3, &lidos, 1), 1);
    EXPECT_EQ(std::memcmp(b, "xyz", 3), 0);
}

TEST_F(Serial, LineErrorBitsFoldWithTheirPrecedence) {
    ASSERT_EQ(porta.Abre("COM1", 9600, 1024, 860), 1);
    unsigned char b[4] = {};
    fake::linha.leFalha = true;
    fake::linha.errosLinha = plataforma::CE_RXPARITY | plataforma::CE_FRAME;
    EXPECT_EQ(porta.Recebe(b, 1, nullptr, 1), 0);
    EXPECT_EQ(porta.UltimoErro(mensagem), ErroParidade);
    EXPECT_STREQ(mensagem, "Erro de paridade");
    EXPECT_EQ(porta.UltimoErro(mensagem), SemErro);
    EXPECT_STREQ(mensagem, "");

    struct Caso {
        std::uint32_t bits;
        std::int32_t erro;
    };
    const Caso casos[] = {
        {plataforma::CE_BREAK, ErroBreak},
        {plataforma::CE_IOE | plataforma::CE_BREAK, ErroDevice},
        {plataforma::CE_OVERRUN | plataforma::CE_FRAME, ErroOverrun},
        {plataforma::CE_RXOVER, OverflowRecepcao},
        {plataforma::CE_TXFULL | plataforma::CE_RXPARITY, TransmissaoCheia},
        {0x8000, ErroRecepcao},  // an unknown bit leaves the error as it was
    };
    for (const Caso& c : casos) {
        fake::linha.errosLinha = c.bits;
        EXPECT_EQ(porta.Recebe(b, 1, nullptr, 1), 0);
        EXPECT_EQ(porta.UltimoErro(nullptr), c.erro) << c.bits;
    }

    fake::linha.leFalha = false;
    fake::linha.escreveFalha = true;
    fake::linha.errosLinha = plataforma::CE_FRAME;  // dropped by the queue test before the write
    fake::linha.errosNaFalha = plataforma::CE_TXFULL;
    EXPECT_EQ(porta.Envia(b, 4, nullptr, 0), 0);
    EXPECT_EQ(porta.UltimoErro(mensagem), TransmissaoCheia);
    EXPECT_STREQ(mensagem, "Buffer de transmissao serial esta cheio");
}

TEST_F(Serial, PurgeFailureAndQueueQuestions) {
    ASSERT_EQ(porta.Abre("COM1", 9600, 1024, 860), 1);
    EXPECT_EQ(porta.FilaOcupada(Entrada), 0);
    fake::Responde("z");
    EXPECT_EQ(porta.FilaOcupada(Entrada), 1);
    EXPECT_EQ(porta.FilaOcupada(Ambas), 0) << "both queues must hold bytes";
    fake::linha.saidaOcupada = 1;
    EXPECT_EQ(porta.FilaOcupada(Ambas), 1);
    EXPECT_EQ(porta.Limpa(Entrada), 1);
    EXPECT_EQ(porta.FilaOcupada(Entrada), 0);
    fake::linha.purgaFalha = true;
    EXPECT_EQ(porta.Limpa(Saida), 0);
    EXPECT_EQ(porta.UltimoErro(mensagem), ErroFlush);
    EXPECT_STREQ(mensagem, "Erro no Flush");
}

TEST(TraduzErro, MapsEveryLinkError) {
    const std::int32_t esperados[] = {29, 5, 1, 3, 4, 12, 7, 8, 6, 9, 10, 11, 13, 14, 15, 16, 17, 18, 19};
    for (std::int32_t e = 0; e <= 18; ++e) EXPECT_EQ(TraduzErro(e), esperados[e]) << e;
    EXPECT_EQ(TraduzErro(19), 29);
    EXPECT_EQ(TraduzErro(-1), 29);
    EXPECT_STREQ(MensagemErroSerial(19), "Erro desconhecido");
}

}  // namespace
