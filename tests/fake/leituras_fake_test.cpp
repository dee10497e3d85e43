// The streamed readouts on a scripted line and clock: the idle limits to the
// second, exchanges that failed, and files that fail their writes.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "driver/estado.h"
#include "fake/plataforma_fake.h"
#include "fake/porta_aberta.h"
#include "support/ambiente.h"
#include "vltxdrv.h"

namespace {

constexpr std::int64_t Inicio = 1'700'000'000'000;  // the fake clock at start: a whole second

// A stream the printer sends: each piece, from so many ms after the frame.
using Fluxo = std::vector<std::pair<std::int64_t, std::string>>;

class LeiturasFake : public PortaAbertaFake {
protected:
    // The printer answers the next frame with `resposta` and then sends the stream.
    static void Transmite(const std::string& resposta, const Fluxo& fluxo) {
        fake::linha.aoEscrever = [resposta, fluxo](const std::string&) {
            fake::Responde(resposta);
            for (const auto& [ms, bytes] : fluxo) fake::Responde(bytes, ms);
            fake::linha.aoEscrever = nullptr;
        };
    }

    static std::int64_t SegundosDesdeInicio() { return (fake::relogioMs - Inicio) / 1000; }
    bool Existe() const { return std::filesystem::exists(caminho); }
    std::string Arquivo() const { return ambiente::LeArquivo(caminho); }
};

// Lowers the file size limit for the test; writes past it fail (EFBIG).
class LimiteDeArquivo {
public:
    explicit LimiteDeArquivo(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &antes_);
        sinal_ = signal(SIGXFSZ, SIG_IGN);
        rlimit novo = antes_;
        novo.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &novo);
    }
    ~LimiteDeArquivo() {
        setrlimit(RLIMIT_FSIZE, &antes_);
        signal(SIGXFSZ, sinal_);
    }
    LimiteDeArquivo(const LimiteDeArquivo&) = delete;
    LimiteDeArquivo& operator=(const LimiteDeArquivo&) = delete;

private:
    rlimit antes_{};
    sighandler_t sinal_;
};

}  // namespace

TEST_F(LeiturasFake, FiscalStreamEndsOnceTheClockShowsMoreThan600IdleSeconds) {
    Transmite("\n", {{1500, "abc\n"}});
    EXPECT_EQ(ecf_LeECF("5", "", "", "", caminho.c_str()), 33);
    // Data found at 1.5 s, a reading of 1: the readout ends as the clock
    // first reads 602, neither before nor long after.
    EXPECT_GE(fake::relogioMs, Inicio + 602'000);
    EXPECT_LT(fake::relogioMs, Inicio + 602'100);
    EXPECT_EQ(Arquivo(), "\r\nabc\r\n");
    // Ten minutes of waiting took a handful of blocking waits, not a spin.
    EXPECT_LT(fake::linha.esperas, 100);
}

TEST_F(LeiturasFake, FiscalStreamGoesOnOverPausesUpTo600SecondsOnTheClock) {
    // Found at second 1; 591: a 590-second pause; 1191.999 reads 1191: 600 seconds.
    Transmite("R", {{1000, "a"}, {591'000, "b"}, {1'191'999, "c\x03"}});
    EXPECT_EQ(ecf_LeECF("6", "", "", "", caminho.c_str()), 33);
    EXPECT_EQ(Arquivo(), "Rabc\x03");
    EXPECT_EQ(fake::relogioMs, Inicio + 1'191'999);
}

TEST_F(LeiturasFake, CmcStreamIdleLimitIsFiveSecondsOnTheWholeSecondClock) {
    // Found at second 1, then at 6.999 (reads 6: five seconds, going on), then
    // nothing until 12.05, which reads 12: six seconds since 6, ended before it.
    Transmite("\x02", {{1000, "A"}, {6999, "B"}, {12'050, "C\x03"}});
    EXPECT_EQ(ecf_LeCMC7(caminho.c_str()), 33);
    EXPECT_EQ(Arquivo(), "\x02" "AB");
    EXPECT_EQ(SegundosDesdeInicio(), 12);
    EXPECT_EQ(fake::linha.entrada.size(), 1u);  // "C" stays on the line
}

TEST_F(LeiturasFake, OnlyTheTypesFourToSevenStream) {
    for (const char* tipo : {"3", "8", "a"}) {
        SCOPED_TRACE(tipo);
        Transmite("\x07", {{0, "x\x03"}});
        EXPECT_EQ(ecf_LeECF(tipo, "", "", "", caminho.c_str()), 7);
        EXPECT_FALSE(Existe());
    }
    for (const char* tipo : {"4", "7"}) {
        SCOPED_TRACE(tipo);
        Transmite("\x07", {{0, "x\x03"}});
        EXPECT_EQ(ecf_LeECF(tipo, "", "", "", caminho.c_str()), 33);
        EXPECT_EQ(Arquivo(), "\x07x\x03");
    }
}

TEST_F(LeiturasFake, NoReadoutStartsOnAClosedPort) {
    ASSERT_EQ(ecf_FinalizaDLL(), 33);
    EXPECT_EQ(ecf_LeCMC7(caminho.c_str()), 2);
    EXPECT_EQ(ecf_LeECF("5", "", "", "", caminho.c_str()), 2);
    EXPECT_FALSE(Existe());
    EXPECT_EQ(fake::relogioMs, Inicio);
    EXPECT_EQ(fake::linha.esperas, 0);
}

TEST_F(LeiturasFake, NoReadoutStartsWhenTheExchangeFailed) {
    // The printer does not answer: the exchange's own time-out and the line's
    // quiet settling, then 10.
    EXPECT_EQ(ecf_LeECF("5", "", "", "", caminho.c_str()), 10);
    EXPECT_EQ(fake::relogioMs, Inicio + 180'100 + SilencioAposFalhaMs);
    EXPECT_EQ(ecf_LeCMC7(caminho.c_str()), 10);
    EXPECT_EQ(fake::relogioMs, Inicio + 180'100 + 3'100 + 2 * SilencioAposFalhaMs);
    // The frame cannot be sent.
    fake::linha.escreveFalha = true;
    EXPECT_EQ(ecf_LeECF("7", "", "", "", caminho.c_str()), 9);
    EXPECT_EQ(ecf_LeCMC7(caminho.c_str()), 9);
    EXPECT_FALSE(Existe());
    EXPECT_EQ(fake::linha.esperas, 4) << "one wait for quiet after each failure, no readout";
}

TEST_F(LeiturasFake, AnAnswerOfTwoToTheFiscalReadoutStillStartsIt) {
    Transmite("\x02", {{0, "d\x03"}});
    EXPECT_EQ(ecf_LeECF("5", "", "", "", caminho.c_str()), 33);
    EXPECT_EQ(Arquivo(), "\x02" "d\x03");
}

TEST_F(LeiturasFake, AFileThatLosesDataGives20AfterTheStreamIsDrained) {
    {
        LimiteDeArquivo limite(700);
        Transmite("R", {{1000, std::string(600, 'a')}, {2000, std::string(600, 'b')}, {3000, "c\x03"}});
        EXPECT_EQ(ecf_LeECF("5", "", "", "", caminho.c_str()), 20);
    }
    // Read to the end byte, not to the idle limit; nothing left on the line.
    EXPECT_TRUE(fake::linha.entrada.empty());
    EXPECT_EQ(SegundosDesdeInicio(), 3);
    // Whole chunks only, and none after the first that did not fit: no gap.
    EXPECT_EQ(Arquivo(), "R" + std::string(600, 'a'));

    // Not even the reply byte fits.
    {
        LimiteDeArquivo limite(0);
        Transmite("\x02", {{0, "123"}, {500, "4\x1b\x1b\x03"}});
        EXPECT_EQ(ecf_LeCMC7(caminho.c_str()), 20);
    }
    EXPECT_TRUE(fake::linha.entrada.empty());
    EXPECT_EQ(Arquivo(), "");
}
