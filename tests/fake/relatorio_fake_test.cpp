// The X/Z report's wait for the printer, on the scripted line and the fake
// clock: every poll, and the moment it goes out, in no real time. Also the
// reply time-out and the CTS flag that each command hands the line.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "driver/estado.h"
#include "fake/plataforma_fake.h"
#include "support/ambiente.h"
#include "vltxdrv.h"

namespace {

const std::string Status = "\x1b" "f00";
std::string Relatorio(const std::string& tipo) { return "\x1b" "f08" + tipo; }

// 0.7 s past a whole second of the calendar clock.
constexpr std::int64_t Inicio = 1'700'000'000'700;

struct Visto {
    std::string quadro;
    std::int64_t ms;  // the fake clock when it was written
};

class EsperaRelatorio : public ::testing::Test {
protected:
    void SetUp() override {
        ambiente::Registro();  // the settings store of this run, not the user's
        fake::Reinicia();
        fake::relogioMs = Inicio;
        ASSERT_EQ(ecf_InicializaDLL("COM1"), 33);
        fake::linha.aoEscrever = [this](const std::string& quadro) { Atende(quadro); };
    }
    void TearDown() override {
        fake::linha.aoEscrever = nullptr;
        fake::linha.escreveFalha = fake::linha.leFalha = false;
        if (EstadoDriver.PortaAberta) {
            EXPECT_EQ(ecf_FinalizaDLL(), 33);
        }
    }

    // The printer: answers the report with respostaRelatorio, the k-th status
    // command (from 0) with respostaConsulta(k) and any other frame with 0,
    // after atraso ms; a negative answer stays silent.
    void Atende(const std::string& quadro) {
        vistos.push_back({quadro, fake::relogioMs});
        int resposta = 0;
        if (quadro.compare(0, 4, Relatorio("")) == 0)
            resposta = respostaRelatorio;
        else if (quadro == Status)
            resposta = respostaConsulta(consultas++);
        if (resposta >= 0) fake::Responde(std::string(1, static_cast<char>(resposta)), atraso);
    }

    std::vector<Visto> Consultas() const {
        std::vector<Visto> v;
        for (const Visto& q : vistos)
            if (q.quadro == Status) v.push_back(q);
        return v;
    }

    int respostaRelatorio = 33;
    std::function<int(int)> respostaConsulta = [](int) { return 0; };
    std::int64_t atraso = 0;
    int consultas = 0;
    std::vector<Visto> vistos;
};

TEST_F(EsperaRelatorio, TypesOtherThanOneReturnAtOnce) {
    for (const char* tipo : {"0", "2", "X", ""}) {
        SCOPED_TRACE(tipo);
        vistos.clear();
        EXPECT_EQ(ecf_Relatorio_XZ(tipo), 33);
        ASSERT_EQ(vistos.size(), 1u);
        EXPECT_EQ(vistos[0].quadro, Relatorio(*tipo ? tipo : std::string(1, '\0')));
        EXPECT_EQ(fake::relogioMs, Inicio);
    }
}

TEST_F(EsperaRelatorio, TypeOneNotAcceptedReturnsItsResultWithoutPolling) {
    for (int r : {0, 1, 10, 32, 34, 255}) {
        SCOPED_TRACE(r);
        vistos.clear();
        respostaRelatorio = r;
        EXPECT_EQ(ecf_Relatorio_XZ("1"), r);
        EXPECT_TRUE(Consultas().empty());
    }
    // No reply at all: the short-reply code 10 once the report's 180 s are
    // over; not 33, so no poll.
    vistos.clear();
    respostaRelatorio = -1;
    EXPECT_EQ(ecf_Relatorio_XZ("1"), 10);
    EXPECT_TRUE(Consultas().empty());
    EXPECT_EQ(fake::linha.timeoutsLeitura.back(), 180'000u);
}

TEST_F(EsperaRelatorio, OnlyTheFirstCharacterOfTheTypeCounts) {
    respostaConsulta = [](int k) { return k == 0 ? 10 : 0; };
    EXPECT_EQ(ecf_Relatorio_XZ("1X"), 33);
    ASSERT_EQ(vistos.size(), 3u);
    EXPECT_EQ(vistos[0].quadro, Relatorio("1"));
    EXPECT_EQ(Consultas().size(), 2u);
}

TEST_F(EsperaRelatorio, APrinterNotBusyAtTheFirstPollEndsTheWaitAtOnce) {
    for (int r : {0, 33, 11, 9}) {
        SCOPED_TRACE(r);
        vistos.clear();
        consultas = 0;
        respostaConsulta = [r](int) { return r; };
        const std::int64_t antes = fake::relogioMs;
        EXPECT_EQ(ecf_Relatorio_XZ("1"), 33);
        ASSERT_EQ(vistos.size(), 2u);
        EXPECT_EQ(vistos[1].quadro, Status);
        EXPECT_EQ(fake::relogioMs, antes);
    }
}

// Busy for good: 100 polls and no more. With whole-second readings the first
// poll goes out at once, the second when the clock first reads more than 15 s
// past the reference (the start of second T + 16), and each later one when it
// reads more than 3 s past the end of the previous wait; after the 100th the
// wait runs out once more and the report's 33 comes back.
TEST_F(EsperaRelatorio, ABusyPrinterIsPolledAHundredTimesOnTheWholeSecondSchedule) {
    respostaConsulta = [](int) { return 10; };
    EXPECT_EQ(ecf_Relatorio_XZ("1"), 33);
    const std::vector<Visto> c = Consultas();
    ASSERT_EQ(c.size(), 100u);
    ASSERT_EQ(vistos.size(), 101u);
    const std::int64_t t = Inicio / 1000 * 1000;
    EXPECT_EQ(c[0].ms, Inicio);
    EXPECT_EQ(c[1].ms, t + 16'000);
    for (std::size_t k = 2; k < c.size(); ++k) EXPECT_EQ(c[k].ms, c[k - 1].ms + 4'000) << "poll " << k;
    EXPECT_EQ(fake::relogioMs, c[99].ms + 4'000);
}

// The same with a printer slow to answer each poll: the exchange counts
// inside the wait that follows it, so the waits keep the lengths the report
// promises: the first more than 15 s and at most 16 s from the reference,
// each later one more than 3 s and at most 4 s.
TEST_F(EsperaRelatorio, SlowPollsCountInsideTheWaits) {
    respostaConsulta = [](int) { return 10; };
    atraso = 1'700;
    fake::relogioMs = Inicio - 650;  // answered 1.7 s later, so the reference is read at x.750
    EXPECT_EQ(ecf_Relatorio_XZ("1"), 33);
    const std::vector<Visto> c = Consultas();
    ASSERT_EQ(c.size(), 100u);
    const std::int64_t referencia = vistos[0].ms + atraso;
    EXPECT_EQ(c[0].ms, referencia);
    EXPECT_GT(c[1].ms - referencia, 15'000);
    EXPECT_LE(c[1].ms - referencia, 16'000);
    for (std::size_t k = 2; k < c.size(); ++k) {
        SCOPED_TRACE(k);
        EXPECT_GT(c[k].ms - c[k - 1].ms, 3'000);
        EXPECT_LE(c[k].ms - c[k - 1].ms, 4'000);
    }
}

// A poll whose reply never comes gives the driver's code 10, which reads as
// "busy" all the same: the wait goes on.
TEST_F(EsperaRelatorio, AnUnansweredPollKeepsTheWaitGoing) {
    respostaConsulta = [](int k) { return k < 3 ? -1 : 0; };
    EXPECT_EQ(ecf_Relatorio_XZ("1"), 33);
    const std::vector<Visto> c = Consultas();
    ASSERT_EQ(c.size(), 4u);
    EXPECT_EQ(c[1].ms, Inicio / 1000 * 1000 + 16'000);
    EXPECT_EQ(c[2].ms, c[1].ms + 4'000);
}

TEST_F(EsperaRelatorio, APollAnsweredTwoEndsTheWait) {
    respostaConsulta = [](int k) { return k < 2 ? 10 : 2; };
    EXPECT_EQ(ecf_Relatorio_XZ("1"), 33);
    const std::vector<Visto> c = Consultas();
    ASSERT_EQ(c.size(), 3u);
    EXPECT_EQ(fake::relogioMs, c[2].ms);
}

TEST_F(EsperaRelatorio, ALineFailureOnAPollEndsTheWait) {
    // The third poll's read fails (code 11).
    respostaConsulta = [](int k) {
        if (k < 2) return 10;
        fake::linha.leFalha = true;
        return -1;
    };
    EXPECT_EQ(ecf_Relatorio_XZ("1"), 33);
    EXPECT_EQ(Consultas().size(), 3u);
    // The failed poll is the last thing: its settling of the line, and no wait.
    const std::int64_t fim = fake::relogioMs;
    EXPECT_EQ(Consultas().back().ms + SilencioAposFalhaMs, fim);

    // The third poll cannot even be written (code 9).
    fake::linha.leFalha = false;
    vistos.clear();
    consultas = 0;
    respostaConsulta = [](int k) {
        if (k == 1) fake::linha.escreveFalha = true;
        return 10;
    };
    const int escritas = fake::linha.escritas;
    EXPECT_EQ(ecf_Relatorio_XZ("1"), 33);
    EXPECT_EQ(Consultas().size(), 2u);
    EXPECT_EQ(fake::linha.escritas - escritas, 3);  // the report and two polls
    EXPECT_EQ(fake::relogioMs, Consultas().back().ms + 4'000 + SilencioAposFalhaMs);
}

TEST_F(EsperaRelatorio, AOneShotTimeOutIsTheReportsNotThePolls) {
    respostaConsulta = [](int k) { return k == 0 ? 10 : 0; };
    EXPECT_EQ(ecf_ProximoTimeout("7"), 7);
    EXPECT_EQ(ecf_Relatorio_XZ("1"), 33);
    EXPECT_EQ(fake::linha.timeoutsLeitura, (std::deque<std::uint32_t>{7'000, 2'000, 2'000}));

    fake::linha.timeoutsLeitura.clear();
    consultas = 0;
    EXPECT_EQ(ecf_Relatorio_XZ("1"), 33);
    EXPECT_EQ(fake::linha.timeoutsLeitura, (std::deque<std::uint32_t>{180'000, 2'000, 2'000}));
}

TEST_F(EsperaRelatorio, AClosedPortGivesTwoWithoutPolling) {
    ASSERT_EQ(ecf_FinalizaDLL(), 33);
    EXPECT_EQ(ecf_Relatorio_XZ("1"), 2);
    EXPECT_TRUE(vistos.empty());
}

// ---------------------------------------------------------------- each command's own values

// What each command hands the exchange besides its frame: the reply time-out
// (seconds) and whether it sends under CTS flow control. The line cannot show
// these on a pseudo-terminal; the fake records them.
struct Valores {
    const char* nome;
    std::size_t quadro;
    std::uint32_t segundos;
    bool cts;
    std::function<int32_t()> chamada;
};

TEST_F(EsperaRelatorio, EveryCommandWaitsItsOwnTimeAndFlowControl) {
    respostaRelatorio = 0;
    const char* t = "0";
    const std::vector<Valores> casos = {
        {"ecf_EstadoImpressora", 4, 2, false, [] { return ecf_EstadoImpressora(); }},
        {"ecf_AbreGaveta", 4, 5, true, [] { return ecf_AbreGaveta(); }},
        {"ecf_LeSensor", 5, 5, false, [t] { return ecf_LeSensor(t); }},
        {"ecf_AvancaLinhas", 6, 5, true, [t] { return ecf_AvancaLinhas(t); }},
        {"ecf_EspacamentoLinhas", 5, 15, true, [t] { return ecf_EspacamentoLinhas(t); }},
        {"ecf_Autentica", 24, 60, true, [t] { return ecf_Autentica(t); }},
        {"ecf_Mecanismo", 5, 15, true, [t] { return ecf_Mecanismo(t); }},
        {"ecf_CortaPapel", 4, 15, true, [] { return ecf_CortaPapel(); }},
        {"ecf_Rascunho", 34, 5, true, [t] { return ecf_Rascunho(t); }},
        {"ecf_ContrasteTermico", 5, 5, true, [t] { return ecf_ContrasteTermico(t); }},
        {"ecf_CodigoBarras", 45, 15, true, [t] { return ecf_CodigoBarras(t, t); }},
        {"ecf_VendaItem", 100, 15, true, [t] { return ecf_VendaItem(t, t, t, t, t, t, t); }},
        {"ecf_CancelaVenda", 12, 15, true, [t] { return ecf_CancelaVenda(t); }},
        {"ecf_CancelaCupom", 12, 15, true, [t] { return ecf_CancelaCupom(t); }},
        {"ecf_FechaCupom", 12, 15, true, [t] { return ecf_FechaCupom(t); }},
        {"ecf_Pagamento", 26, 15, true, [t] { return ecf_Pagamento(t, t, t); }},
        {"ecf_ImprimeCabecalho", 4, 15, true, [] { return ecf_ImprimeCabecalho(); }},
        {"ecf_Propaganda", 164, 15, true, [t] { return ecf_Propaganda(t); }},
        {"ecf_IdComprador", 143, 15, true, [t] { return ecf_IdComprador(t, t, t, t, t); }},
        {"ecf_CancelaItem", 7, 15, true, [t] { return ecf_CancelaItem(t); }},
        {"ecf_AcrescimoSubtotal", 25, 15, true, [t] { return ecf_AcrescimoSubtotal(t, t); }},
        {"ecf_DescontoSubtotal", 25, 15, true, [t] { return ecf_DescontoSubtotal(t, t); }},
        {"ecf_DescontoItem", 24, 15, true, [t] { return ecf_DescontoItem(t, t, t); }},
        {"ecf_CupomStub", 12, 15, true, [] { return ecf_CupomStub(0); }},
        {"ecf_CargaCliche", 131, 15, true, [t] { return ecf_CargaCliche(t, t, t, t, t, t); }},
        {"ecf_CargaAliquota", 10, 15, true, [t] { return ecf_CargaAliquota(t, t); }},
        {"ecf_ProgramaRelogio", 19, 5, true, [t] { return ecf_ProgramaRelogio(t, t, t); }},
        {"ecf_FormaPagamento", 16, 5, true, [t] { return ecf_FormaPagamento(t, t); }},
        {"ecf_CargaNaoVinculado", 22, 5, true, [t] { return ecf_CargaNaoVinculado(t, t, t); }},
        {"ecf_DefineAliquota", 11, 15, true, [t] { return ecf_DefineAliquota(t, t, t); }},
        {"ecf_NovoEstabelecimento", 52, 15, true, [t] { return ecf_NovoEstabelecimento(t, t, t); }},
        {"ecf_Relatorio_XZ", 5, 180, true, [t] { return ecf_Relatorio_XZ(t); }},
        {"ecf_FinalizaRelatorio", 4, 15, true, [] { return ecf_FinalizaRelatorio(); }},
        {"ecf_LinhasLivres", 417, 60, true, [t] { return ecf_LinhasLivres(t, t); }},
        {"ecf_EmiteNaoVinculado", 35, 15, true, [t] { return ecf_EmiteNaoVinculado(t, t, t); }},
        {"ecf_Vinculado", 856, 60, true, [t] { return ecf_Vinculado(t, t, t, t, t, t, t, t); }},
        {"ecf_VinculadoTEF", 835, 60, true, [t] { return ecf_VinculadoTEF(t, t, t, t, t, t); }},
        {"ecf_VinculadoCartao", 839, 60, true, [t] { return ecf_VinculadoCartao(t, t, t, t, t, t, t); }},
        {"ecf_VinculadoNSeq", 32, 15, true, [t] { return ecf_VinculadoNSeq(t, t, t); }},
    };
    ASSERT_EQ(casos.size(), 39u);
    for (const Valores& c : casos) {
        SCOPED_TRACE(c.nome);
        fake::linha.escrito.clear();
        fake::linha.timeoutsLeitura.clear();
        EXPECT_EQ(c.chamada(), 0);
        EXPECT_EQ(fake::linha.escrito.size(), c.quadro);
        EXPECT_EQ(fake::linha.timeoutsLeitura, std::deque<std::uint32_t>{c.segundos * 1000});
        EXPECT_EQ(fake::linha.config.fOutxCtsFlow, c.cts);
    }
}

}  // namespace
