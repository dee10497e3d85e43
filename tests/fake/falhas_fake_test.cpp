// Field faults on a scripted line and clock: replies that come late, a
// printer that will not fall silent, a line that drops, a wall clock that
// is set while the driver waits.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>

#include "driver/estado.h"
#include "fake/plataforma_fake.h"
#include "fake/porta_aberta.h"
#include "support/ambiente.h"
#include "vltxdrv.h"

namespace {

constexpr std::int64_t Inicio = 1'700'000'000'000;

std::string Log() { return ambiente::LeArquivo(ambiente::ArquivoLogHoje()); }

class Falhas : public PortaAbertaFake {
protected:
    // The printer answers each frame with `byte`, after `ms`.
    static void RespondeCom(char byte, std::int64_t ms = 0) {
        fake::linha.aoEscrever = [byte, ms](const std::string&) { fake::Responde(std::string(1, byte), ms); };
    }
};

}  // namespace

// The status reply comes 300 ms after the 2.1 s the exchange waits for it.
// That byte belongs to no command: it must not become the next one's reply.
TEST_F(Falhas, ALateReplyIsNotTakenAsTheNextCommandsReply) {
    ecf_LogSerial("1");
    RespondeCom('\x05', 2'400);
    EXPECT_EQ(ecf_EstadoImpressora(), 10);
    // The late byte was read and dropped: quiet for 300 ms after it.
    EXPECT_EQ(fake::relogioMs, Inicio + 2'400 + SilencioAposFalhaMs);
    EXPECT_TRUE(fake::linha.entrada.empty());
    RespondeCom('\x00');
    EXPECT_EQ(ecf_EstadoImpressora(), 0);
    const std::string log = Log();
    EXPECT_NE(log.find("\r\nDescartado [22:13:22 400ms] - \x05\r\nErro DLL [22:13:22 700ms] - 10"), std::string::npos)
        << log;
}

// A register reply cut by a pause: the rest arrives after the read gave up.
TEST_F(Falhas, TheRestOfACutReplyIsDropped) {
    fake::linha.aoEscrever = [](const std::string&) {
        fake::Responde(std::string(10, 'a'));
        fake::Responde(std::string(20, 'b'), 250);
    };
    char resposta[31];
    EXPECT_EQ(ecf_LeRegistrador("1", resposta), 10);
    EXPECT_TRUE(fake::linha.entrada.empty());
    fake::linha.aoEscrever = [](const std::string&) { fake::Responde(std::string(30, 'c')); };
    EXPECT_EQ(ecf_LeRegistrador("2", resposta), 33);
    EXPECT_EQ(std::string(resposta), std::string(30, 'c'));
}

// A printer that chatters without end cannot hold the call: the settling
// has a bound on the whole.
TEST_F(Falhas, SettlingEndsAtItsBoundWhateverThePrinterSends) {
    fake::linha.aoEscrever = [](const std::string&) {
        for (int ms = 2'200; ms < 60'000; ms += 100) fake::Responde("x", ms);
        fake::linha.aoEscrever = nullptr;
    };
    EXPECT_EQ(ecf_EstadoImpressora(), 10);
    const std::int64_t fimDaLeitura = Inicio + 2'100;
    EXPECT_GE(fake::relogioMs, fimDaLeitura + LimiteAssentarMs);
    EXPECT_LE(fake::relogioMs, fimDaLeitura + LimiteAssentarMs + 100);
}

// A successful exchange waits for nothing more than its reply.
TEST_F(Falhas, ACompleteExchangeSettlesNothing) {
    RespondeCom('\x00', 40);
    EXPECT_EQ(ecf_EstadoImpressora(), 0);
    EXPECT_EQ(fake::relogioMs, Inicio + 40);
    EXPECT_EQ(fake::linha.esperas, 0);
}

// On a line that has dropped every exchange gives 16, whatever its CTS
// setting (a switch of the setting fails there too), and nothing waits.
TEST_F(Falhas, OnADroppedLineEveryExchangeGivesSixteen) {
    RespondeCom('\x00');
    fake::linha.caiu = true;
    const int aplicadas = fake::linha.aplicacoesConfig;
    EXPECT_EQ(ecf_EstadoImpressora(), 16);  // CTS off: a switch of the setting
    EXPECT_EQ(ecf_AvancaLinhas("1"), 16);   // CTS on
    EXPECT_EQ(ecf_EstadoImpressora(), 16);
    EXPECT_EQ(fake::linha.aplicacoesConfig, aplicadas);
    EXPECT_EQ(fake::linha.escritas, 0);
    EXPECT_EQ(fake::relogioMs, Inicio);
}

// An NTP step of the wall clock in the middle of a wait changes nothing:
// the CMC-7 idle limit stays at its seconds, set back or forward.
TEST_F(Falhas, AWallClockStepDoesNotMoveTheIdleLimits) {
    for (const std::int64_t passo : {-40'000, 700'000}) {
        SCOPED_TRACE(passo);
        const std::int64_t inicio = fake::relogioMs;
        fake::linha.aoEscrever = [](const std::string&) {
            fake::Responde("\x02");
            fake::Responde("A", 1'000);
            fake::linha.aoEscrever = nullptr;
        };
        fake::AcertaRelogioParede(inicio + 1'500, passo);
        EXPECT_EQ(ecf_LeCMC7(caminho.c_str()), 33);
        EXPECT_EQ(ambiente::LeArquivo(caminho), "\x02" "A");
        // Data at 1 s; the limit of five whole seconds ends it within 6 to 7 s.
        EXPECT_GE(fake::relogioMs - inicio, 6'000);
        EXPECT_LT(fake::relogioMs - inicio, 7'100);
    }
}

// The same for the fiscal readout: a forward step does not cut the stream.
TEST_F(Falhas, AFiscalReadoutOutlastsAForwardStep) {
    fake::linha.aoEscrever = [](const std::string&) {
        fake::Responde("R");
        fake::Responde("primeiro ", 1'000);
        fake::Responde("segundo\x03", 200'000);
        fake::linha.aoEscrever = nullptr;
    };
    fake::AcertaRelogioParede(Inicio + 2'000, 700'000);
    EXPECT_EQ(ecf_LeECF("5", "", "", "", caminho.c_str()), 33);
    EXPECT_EQ(ambiente::LeArquivo(caminho), "Rprimeiro segundo\x03");
}

// A readout that cannot have its file after the command went out reads the
// stream to its end and drops it: the next command gets its own reply.
TEST_F(Falhas, AStreamWithNoFileIsReadToItsEnd) {
    fake::linha.aoEscrever = [](const std::string&) {
        fake::Responde("\x02");
        fake::Responde("dados\x03", 500);
        // The path is fine when tested, gone when the file is made.
        std::filesystem::remove_all(ambiente::DiretorioC() + "/sai");
        fake::linha.aoEscrever = nullptr;
    };
    std::filesystem::create_directories(ambiente::DiretorioC() + "/sai");
    EXPECT_EQ(ecf_LeCMC7((ambiente::DiretorioC() + "/sai/cmc7.txt").c_str()), 20);
    EXPECT_TRUE(fake::linha.entrada.empty());
    RespondeCom('\x00');
    EXPECT_EQ(ecf_EstadoImpressora(), 0);
}

// Last week's log of the same weekday cannot be deleted: it is emptied and
// started afresh, not overwritten from its start with its old tail left.
TEST_F(Falhas, ALogThatCannotBeDeletedIsRenewedByTruncation) {
    const std::string log = ambiente::ArquivoLogHoje();
    ASSERT_EQ(ecf_FinalizaDLL(), 33);
    std::filesystem::remove(log);
    {
        std::ofstream f(log, std::ios::binary);
        f << "Inicio LOG: last week\r\n" << std::string(5'000, 'v') << "FIM-ANTIGO";
    }
    const auto semanaPassada = std::filesystem::last_write_time(log) - std::chrono::hours(24 * 7);
    std::filesystem::last_write_time(log, semanaPassada);
    fake::linha.apagaFalha = true;
    ecf_LogSerial("1");
    ASSERT_EQ(ecf_InicializaDLL("COM1"), 33);
    const std::string novo = Log();
    EXPECT_EQ(novo.rfind("Inicio LOG: ", 0), 0u);
    EXPECT_EQ(novo.find("FIM-ANTIGO"), std::string::npos) << novo.substr(0, 200);
    EXPECT_EQ(novo.find("vvvv"), std::string::npos);
    EXPECT_TRUE(std::filesystem::exists(log));
}

// The system's reason for a failed call goes to the log in a record of its
// own right after the error record; a failure of the driver's own (a
// time-out) and a successful exchange write none.
TEST_F(Falhas, TheSystemsReasonFollowsTheErrorRecord) {
    ecf_LogSerial("1");
    RespondeCom('\x00');
    EXPECT_EQ(ecf_EstadoImpressora(), 0);
    fake::linha.leFalha = true;
    fake::linha.motivo = {"read", 5, "EIO"};
    EXPECT_EQ(ecf_EstadoImpressora(), 11);
    fake::linha.leFalha = false;
    fake::linha.motivo = {};
    fake::linha.aoEscrever = nullptr;
    EXPECT_EQ(ecf_EstadoImpressora(), 10);  // a time-out: no system call failed
    const std::string log = Log();
    EXPECT_NE(log.find("\r\nErro DLL [", log.find("\x1b" "f00")), std::string::npos) << log;
    EXPECT_NE(log.find("ms] - 11\r\nErro de Sistema [5]: read: EIO\r\nTX ["), std::string::npos) << log;
    EXPECT_EQ(log.find("Erro de Sistema"), log.rfind("Erro de Sistema")) << "one reason, for the one failed call";
}

// A drop keeps the reason that found it for every failure it causes,
// including a readout's, and a call whose error has no name here gives its
// number alone.
TEST_F(Falhas, ADropsReasonStaysWithTheFailuresItCauses) {
    ecf_LogSerial("1");
    fake::linha.leFalha = true;
    fake::linha.motivo = {"ReadFile", 1167, nullptr};
    EXPECT_EQ(ecf_EstadoImpressora(), 11);
    fake::linha.caiu = true;
    fake::linha.motivo = {};
    EXPECT_EQ(ecf_EstadoImpressora(), 16);
    const std::string log = Log();
    EXPECT_NE(log.find(" - 11\r\nErro de Sistema [1167]: ReadFile\r\n"), std::string::npos) << log;
    EXPECT_NE(log.find(" - 16\r\nErro de Sistema [1167]: ReadFile"), std::string::npos) << log;
}
