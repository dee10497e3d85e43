// The record of why the system failed a line's call, as vltx log and
// vltx log --summary show it: under the failure it belongs to.
#include <gtest/gtest.h>

#include <string>

#include "vltx/decodifica_log.h"

namespace {

const std::string Log =
    "\r\nTX [10:00:00 000ms] - \x1b" "f00"
    "\r\nErro DLL [10:00:00 010ms] - 11"
    "\r\nErro de Sistema [5]: read: EIO"
    "\r\nTX [10:00:01 000ms] - \x1b" "f00"
    "\r\nErro DLL [10:00:01 000ms] - 16"
    "\r\nErro de Sistema [1167]: ReadFile"
    "\r\nErro DLL [10:00:02 000ms] - 3"
    "\r\nErro de Sistema [111]: connect: ECONNREFUSED"
    "\r\nAtualizada Entrada Registry: [Gerar Log=1]";

}  // namespace

TEST(MotivoNoLog, TheDecoderShowsTheCallAndErrorUnderTheFailure) {
    EXPECT_EQ(DecodificaLog(Log),
              "10:00:00.000 TX 00 status (ecf_EstadoImpressora), 4 bytes\n"
              "10:00:00.010 Erro DLL 11: the read failed\n"
              "             system: read: EIO (5)\n"
              "10:00:01.000 TX 00 status (ecf_EstadoImpressora), 4 bytes\n"
              "10:00:01.000 Erro DLL 16: device I/O error (line dropped?)\n"
              "             system: ReadFile (1167)\n"
              "10:00:02.000 Erro DLL 3: the device cannot be opened\n"
              "             system: connect: ECONNREFUSED (111)\n"
              "Atualizada Entrada Registry: [Gerar Log=1]\n");
}

TEST(MotivoNoLog, TheSummaryListsItUnderItsFailureWithoutCountingIt) {
    const std::string s = ResumoDoLog(Log);
    EXPECT_EQ(s.substr(0, s.find('\n')), "2 frames sent, 3 failures, 0 discarded records") << s;
    EXPECT_NE(s.find("Failures\n"
                     "  10:00:00.010  00 status (ecf_EstadoImpressora), 10 ms after its TX: 11 the read failed\n"
                     "      system: read: EIO (5)\n"
                     "  10:00:01.000  00 status (ecf_EstadoImpressora), 0 ms after its TX: 16 device I/O error "
                     "(line dropped?)\n"
                     "      system: ReadFile (1167)\n"
                     "  10:00:02.000  no frame pending (opening or closing the port): 3 the device cannot be opened\n"
                     "      system: connect: ECONNREFUSED (111)\n"),
              std::string::npos)
        << s;
}
