// The exchange, the lifecycle exports, the log and the settings store, on a
// scripted line with a fake time of day.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <utime.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "driver/comandos.h"
#include "driver/estado.h"
#include "driver/log.h"
#include "fake/plataforma_fake.h"
#include "support/ambiente.h"
#include "vltxdrv.h"

namespace {

const std::string Hora = "[22:13:20 000ms]";  // the fake clock's time of day at start

std::string ValorGerarLog() {
    return ambiente::LeArquivo(ambiente::Registro() + "/HKEY_LOCAL_MACHINE/Software/Corvane/Veltrix/V2.60/Gerar Log");
}

void GravaGerarLog(const std::string& valor) {
    const std::string dir = ambiente::Registro() + "/HKEY_LOCAL_MACHINE/Software/Corvane/Veltrix/V2.60";
    std::filesystem::create_directories(dir);
    std::ofstream(dir + "/Gerar Log") << valor;
}

std::string Log() { return ambiente::LeArquivo(ambiente::ArquivoLogHoje()); }

class Troca : public ::testing::Test {
protected:
    void SetUp() override {
        ambiente::Limpa();
        fake::Reinicia();
        ecf_LogSerial("0");
    }
    void TearDown() override {
        ecf_FinalizaDLL();
        EstadoDriver.ProximoTimeout = 0;
    }
    // Replies one byte to every frame.
    void RespondeSempre(char byte) {
        fake::linha.aoEscrever = [byte](const std::string&) { fake::Responde(std::string(1, byte)); };
    }
};

TEST_F(Troca, FirstOpeningCreatesTheKeysAndStoresTheDefault) {
    ASSERT_EQ(ecf_InicializaDLL("COM1"), 33);
    const std::string esperado =
        "\r\nCriada Chave Registry: [Corvane]"
        "\r\nCriada Chave Registry: [Veltrix]"
        "\r\nCriada Chave Registry: [V2.60]"
        "\r\nErro de Acesso ao Registry [2]: RegQueryValueEx [Gerar Log]\r\n"
        "The system cannot find the file specified."
        "\r\nAtualizada Entrada Registry: [Gerar Log=0]";
    const std::string log = Log();
    ASSERT_EQ(log.rfind("Inicio LOG: ", 0), 0u) << log;
    // The head's date-time text ends in its own line feed, then two more.
    EXPECT_EQ(log.substr(log.find("\r\n") + 2), "\r\n\r\n" + esperado);
    EXPECT_EQ(ValorGerarLog(), "0");
    EXPECT_FALSE(EstadoDriver.LogAtivo);

    RespondeSempre(0);
    EXPECT_EQ(ecf_EstadoImpressora(), 0);
    EXPECT_EQ(Log().size(), log.size()) << "no frame records with the switch off";
    EXPECT_EQ(ecf_FinalizaDLL(), 33);
    EXPECT_EQ(Log(), log + "\r\nAtualizada Entrada Registry: [Gerar Log=0]");
}

TEST_F(Troca, StoredSwitchLogsEveryFrameWithLineFeedsAsCrLf) {
    GravaGerarLog("1");
    ASSERT_EQ(ecf_InicializaDLL("COM1"), 33);
    EXPECT_NE(Log().find("\r\nLeitura Entrada Registry: [Gerar Log=1]"), std::string::npos);
    const std::size_t antes = Log().size();
    RespondeSempre('\n');
    EXPECT_EQ(ecf_AvancaLinhas("10"), 10);
    EXPECT_EQ(Log().substr(antes), "\r\nTX " + Hora + " - \x1b" "f0310\r\nRX " + Hora + " - \r\n");
}

TEST_F(Troca, FailedExchangeLogsTheErrorAndNoReply) {
    ecf_LogSerial("1");
    ASSERT_EQ(ecf_InicializaDLL("COM1"), 33);
    ecf_LogSerial("1");
    const std::size_t antes = Log().size();
    // Nothing arrives in 2 s + 100 ms for the byte, nor in the quiet 300 ms
    // that settle the line after it.
    EXPECT_EQ(ecf_EstadoImpressora(), 10);
    EXPECT_EQ(Log().substr(antes),
              "\r\nTX " + Hora + " - \x1b" "f00\r\nErro DLL [22:13:22 400ms] - 10");
    EXPECT_TRUE(EstadoDriver.PortaAberta);
}

TEST_F(Troca, SwitchSetWhileOpenIsPersistedOnClosing) {
    ecf_LogSerial("1");
    ASSERT_EQ(ecf_InicializaDLL("COM1"), 33);
    EXPECT_FALSE(EstadoDriver.LogAtivo) << "the stored value replaces an earlier switch";
    EXPECT_EQ(ecf_LogSerial("1"), 1);
    ASSERT_EQ(ecf_FinalizaDLL(), 33);
    EXPECT_EQ(ValorGerarLog(), "1");
    EXPECT_TRUE(EstadoDriver.LogAtivo) << "closing keeps the switch";
    EXPECT_EQ(ecf_LogSerial("0"), 0);
    ASSERT_EQ(ecf_InicializaDLL("COM1"), 33);
    EXPECT_TRUE(EstadoDriver.LogAtivo);
    EXPECT_EQ(ecf_LogSerial(""), 0);
    EXPECT_EQ(ecf_LogSerial(nullptr), 0);
    EXPECT_EQ(ecf_LogSerial("10"), 1);
}

TEST_F(Troca, ClosingOrCommandsWithoutAPortTouchNothing) {
    EXPECT_EQ(ecf_FinalizaDLL(), 2);
    EXPECT_EQ(ecf_EstadoImpressora(), 2);
    EXPECT_TRUE(fake::linha.escrito.empty());
    EXPECT_FALSE(std::filesystem::exists(ambiente::Registro() + "/HKEY_LOCAL_MACHINE/Software/Corvane"));

    fake::linha.abreFalha = true;
    EXPECT_EQ(ecf_InicializaDLL("COM7"), 3);
    EXPECT_FALSE(EstadoDriver.PortaAberta);
    EXPECT_FALSE(std::filesystem::exists(ambiente::Registro() + "/HKEY_LOCAL_MACHINE/Software/Corvane"))
        << "the switch is not read after a failed opening";
    fake::linha.abreFalha = false;
    fake::linha.leConfigFalha = true;
    EXPECT_EQ(ecf_InicializaDLL("COM7"), 4);
}

TEST_F(Troca, OneShotTimeOutIsSpentByTheFirstFrameSent) {
    ASSERT_EQ(ecf_InicializaDLL("COM1"), 33);
    EXPECT_EQ(ecf_ProximoTimeout(" 30s"), 30);
    fake::linha.escreveFalha = true;
    EXPECT_EQ(ecf_Autentica("X"), 9);
    EXPECT_EQ(EstadoDriver.ProximoTimeout, 30) << "a failed send leaves the override";
    fake::linha.escreveFalha = false;
    fake::linha.timeoutsLeitura.clear();
    EXPECT_EQ(ecf_Autentica("X"), 10) << "no reply";
    EXPECT_EQ(ecf_Autentica("X"), 10);
    ASSERT_EQ(fake::linha.timeoutsLeitura.size(), 2u);
    EXPECT_EQ(fake::linha.timeoutsLeitura[0], 30000u);
    EXPECT_EQ(fake::linha.timeoutsLeitura[1], 60000u);

    EXPECT_EQ(ecf_ProximoTimeout("-4"), -4);
    EXPECT_EQ(ecf_ProximoTimeout("abc"), 0) << "0 cancels";
    EXPECT_EQ(ecf_ProximoTimeout(nullptr), 0);
}

TEST_F(Troca, ReplyBytesComeBackUnchanged) {
    ASSERT_EQ(ecf_InicializaDLL("COM1"), 33);
    for (int byte : {0, 2, 33, 200, 255}) {
        RespondeSempre(static_cast<char>(byte));
        EXPECT_EQ(ecf_CortaPapel(), byte);
    }
    // The register read asks for 30 bytes and is a success whatever the first is.
    fake::linha.aoEscrever = [](const std::string&) { fake::Responde(std::string(30, '\x02')); };
    MontaQuadro(Linha("ecf_LeRegistrador"), {{"1"}});
    EXPECT_EQ(ExecutaComando(7, 30, 5, 1), 33);
    // A status byte of 2 and the closed port's 2 are the same number.
    RespondeSempre(2);
    EXPECT_EQ(ecf_CortaPapel(), 2);
}

TEST_F(Troca, LongestFrameGoesOutWholeAndChangesNoState) {
    ASSERT_EQ(ecf_InicializaDLL("COM1"), 33);
    ecf_LogSerial("1");
    RespondeSempre(0);
    const std::string texto(800, '\x01');
    EXPECT_EQ(ecf_Vinculado("1", "2", "3", "4", "\x01", texto.c_str(), "99", "99"), 0);
    ASSERT_EQ(fake::linha.escrito.size(), 856u);
    EXPECT_TRUE(EstadoDriver.PortaAberta);
    EXPECT_TRUE(EstadoDriver.LogAtivo);
    EXPECT_EQ(EstadoDriver.ProximoTimeout, 0);
    EXPECT_NE(Log().find(fake::linha.escrito), std::string::npos) << "the whole frame is logged";
}

TEST_F(Troca, YesterdaysLogIsRenewedTodaysIsAppended) {
    const std::string caminho = ambiente::ArquivoLogHoje();
    std::ofstream(caminho) << "last week";
    utimbuf quando{time(nullptr) - 7 * 86400, time(nullptr) - 7 * 86400};
    ASSERT_EQ(utime(caminho.c_str(), &quando), 0);
    RegistraErroRegistry(9999, "Teste");
    const std::string renovado = Log();
    EXPECT_EQ(renovado.rfind("Inicio LOG: ", 0), 0u);
    EXPECT_EQ(renovado.find("last week"), std::string::npos);
    const std::string registro = "\r\nErro de Acesso ao Registry [9999]: Teste\r\n";
    ASSERT_GT(renovado.size(), registro.size());
    EXPECT_EQ(renovado.substr(renovado.size() - registro.size()), registro);
    RegistraErroRegistry(9999, "Outra");
    EXPECT_EQ(Log().find("Inicio LOG", 1), std::string::npos) << "one head only";
    EXPECT_EQ(RegistraErroRegistry(0, "nada"), 0);
}

TEST_F(Troca, UnwritableStoreNeverFailsOpeningOrClosing) {
    const std::string arquivo = ambiente::Registro() + "/not-a-directory";
    std::ofstream(arquivo) << "x";
    setenv("VLTXDRV_REGISTRY", (arquivo + "/store").c_str(), 1);
    EXPECT_EQ(ecf_InicializaDLL("COM1"), 33);
    EXPECT_FALSE(EstadoDriver.LogAtivo);
    EXPECT_EQ(ecf_FinalizaDLL(), 33);
    setenv("VLTXDRV_REGISTRY", ambiente::Registro().c_str(), 1);
    EXPECT_NE(Log().find("\r\nErro de Acesso ao Registry [2]: RegOpenKeyEx Software\r\n"), std::string::npos);
}

TEST_F(Troca, NullArgumentsReadAsEmptyStrings) {
    char versao[32];
    EXPECT_EQ(ecf_VersaoDLL(nullptr), 0);
    EXPECT_EQ(ecf_VersaoDLL(versao), 15);
    ASSERT_EQ(ecf_InicializaDLL("COM1"), 33);
    RespondeSempre(0);
    EXPECT_EQ(ecf_VendaItem(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr), 0);
    EXPECT_EQ(fake::linha.escrito, "\x1b" "f05" + std::string(95, ' ') + std::string(1, '\0'));
}

}  // namespace
