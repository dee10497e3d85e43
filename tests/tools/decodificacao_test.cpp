// Reading frames back through the frame table, and decoding a known log.
#include <gtest/gtest.h>
#include <malloc.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "comum/quadro.h"
#include "driver/estado.h"
#include "processo.h"
#include "vltx/decodifica_log.h"

using namespace std::string_literals;

namespace {

std::string Bytes(const unsigned char* p, std::size_t n) { return std::string(reinterpret_cast<const char*>(p), n); }

// A text of exactly n characters that tells parameter p apart.
std::string Texto(int p, std::size_t n) {
    std::string s;
    for (std::size_t i = 0; s.size() < n; ++i) s += static_cast<char>('A' + (p * 7 + static_cast<int>(i)) % 26);
    return s;
}

}  // namespace

// Every row, built by the driver's own builder, reads back into the values
// given: the decoder and the builder agree on every offset and kind.
TEST(Quadro, EveryRowReadsBackWhatTheBuilderWrote) {
    std::int32_t numeros[25];
    for (int i = 0; i < 25; ++i) numeros[i] = i * 4 + 1;
    for (const Comando& c : tabela::Comandos) {
        SCOPED_TRACE(std::string(c.Exportacao) + " " + std::to_string(c.TamanhoQuadro));
        // Parameters: numbers 7, texts a little shorter than their fields
        // so that the alignment shows.
        std::vector<std::string> textos(10);
        for (int i = 0; i < c.NumCampos; ++i) {
            const Campo& f = c.Campos[i];
            if (f.Parametro < 1 || f.Parametro > 9) continue;
            std::string& t = textos[f.Parametro - 1U];
            switch (f.Tipo) {
                case TipoCampo::Numero: t = "7"; break;
                case TipoCampo::Caractere: t = std::string(1, static_cast<char>('a' + f.Parametro)); break;
                case TipoCampo::Esquerda:
                case TipoCampo::Direita: t = Texto(f.Parametro, f.Largura > 3 ? f.Largura - 2U : f.Largura); break;
                // The count before it is 7: that much of the area is text.
                case TipoCampo::TextoLivre: t = Texto(f.Parametro, 7); break;
                default: break;
            }
        }
        Argumentos a{{textos[0].c_str(), textos[1].c_str(), textos[2].c_str(), textos[3].c_str(), textos[4].c_str(),
                      textos[5].c_str(), textos[6].c_str(), textos[7].c_str(), textos[8].c_str()},
                     12345,
                     numeros};
        MontaQuadro(c, a);
        const std::string quadro = Bytes(EstadoDriver.BufComando, c.TamanhoQuadro);
        ASSERT_EQ(LinhaDoQuadro(quadro), &c);
        const std::vector<CampoLido> campos = LeCampos(c, quadro);
        ASSERT_EQ(campos.size(), c.NumCampos);
        for (int i = 0; i < c.NumCampos; ++i) {
            const Campo& f = c.Campos[i];
            SCOPED_TRACE(f.Nome);
            EXPECT_STREQ(campos[i].Nome, f.Nome);
            const std::string& t = f.Parametro >= 1 && f.Parametro <= 9 ? textos[f.Parametro - 1U] : textos[9];
            switch (f.Tipo) {
                case TipoCampo::Numero: {
                    std::string esperado = t;
                    esperado.insert(0, f.Largura - t.size(), '0');
                    EXPECT_EQ(campos[i].Valor, esperado);
                    break;
                }
                case TipoCampo::Inteiro: EXPECT_EQ(campos[i].Valor, "00012345"); break;
                case TipoCampo::Fixo: EXPECT_EQ(campos[i].Valor, std::string(1, static_cast<char>(f.Parametro))); break;
                case TipoCampo::NumeroLayout:
                    EXPECT_EQ(campos[i].Valor,
                              (numeros[f.Parametro] < 10 ? "0" : "") + std::to_string(numeros[f.Parametro]));
                    break;
                case TipoCampo::ByteLayout: EXPECT_EQ(campos[i].Valor, std::to_string(numeros[f.Parametro])); break;
                default: EXPECT_EQ(campos[i].Valor, t);
            }
        }
    }
}

TEST(Quadro, TheChequeRowIsChosenByLengthAndAnUnknownCodeHasNone) {
    const std::string cabeca = "\x1b" "f34";
    EXPECT_EQ(LinhaDoQuadro(cabeca + std::string(165, ' '))->TamanhoQuadro, 169);
    EXPECT_EQ(LinhaDoQuadro(cabeca + std::string(185, ' '))->TamanhoQuadro, 189);
    // Longer than both: the longer row; between them: the basic one.
    EXPECT_EQ(LinhaDoQuadro(cabeca + std::string(300, ' '))->TamanhoQuadro, 189);
    EXPECT_EQ(LinhaDoQuadro(cabeca + std::string(170, ' '))->TamanhoQuadro, 169);
    EXPECT_EQ(LinhaDoQuadro("\x1b" "f99"), nullptr);
    EXPECT_EQ(LinhaDoQuadro("\x1b" "f0"), nullptr);
    EXPECT_EQ(MaiorQuadro("34"), 189);
    EXPECT_EQ(MaiorQuadro("99"), 0);
}

TEST(Quadro, AShortFrameReadsItsMissingFieldsAsEmpty) {
    const Comando& venda = *ComandoPorCodigo("05");
    const std::vector<CampoLido> campos = LeCampos(venda, "\x1b" "f057891234567895CAFE");
    ASSERT_EQ(campos.size(), 7u);
    EXPECT_EQ(campos[0].Valor, "7891234567895");
    EXPECT_EQ(campos[1].Valor, "CAFE");
    EXPECT_EQ(campos[6].Valor, "");
}

TEST(Quadro, BytesBecomeReadableText) {
    EXPECT_EQ(Legivel("CAFE 500G"), "CAFE 500G");
    EXPECT_EQ(Legivel("A\xc7\xda" "CAR"), "A\u00c7\u00daCAR");
    EXPECT_EQ(Legivel(std::string("\x1b\x03\n\0\x85\x7f", 6)), "\\x1b\\x03\\x0a\\x00\\x85\\x7f");
    EXPECT_EQ(Legivel("C:\\x"), "C:\\\\x");
    const std::string bloco = "LINHA UM" + std::string(32, ' ') + std::string(40, ' ') + "LINHA TRES" +
                              std::string(30, ' ') + std::string(80, ' ');
    EXPECT_EQ(QuebraLinhas(bloco, 40), (std::vector<std::string>{"LINHA UM", "", "LINHA TRES"}));
    EXPECT_TRUE(QuebraLinhas(std::string(800, ' '), 40).empty());
}

namespace {
std::string Conhecido() { return DecodificaLog(LeArquivo(VLTX_TESTES_DIR "/conhecido.log")); }

// The lines of texto from the one that starts with inicio, n of them.
std::string Trecho(const std::string& texto, const std::string& inicio, int n) {
    std::size_t p = texto.find(inicio);
    if (p == std::string::npos) return "(missing: " + inicio + ")";
    std::size_t fim = p;
    for (int i = 0; i < n && fim != std::string::npos; ++i) fim = texto.find('\n', fim + 1);
    return texto.substr(p, fim == std::string::npos ? std::string::npos : fim + 1 - p);
}
}  // namespace

TEST(LogConhecido, TheHeadAndTheSettingsLinesStandAsTheyAre) {
    const std::string d = Conhecido();
    EXPECT_EQ(d.substr(0, d.find("21:14:01.005")),
              "Inicio LOG: Mon Dec 07 21:14:00 2026\n"
              "Criada Chave Registry: [Corvane]\n"
              "Criada Chave Registry: [Veltrix]\n"
              "Criada Chave Registry: [V2.60]\n"
              "Erro de Acesso ao Registry [2]: RegQueryValueEx [Gerar Log]\n"
              "The system cannot find the file specified.\n"
              "Atualizada Entrada Registry: [Gerar Log=0]\n");
    EXPECT_NE(d.find("\nLeitura Entrada Registry: [Gerar Log=1]\n"), std::string::npos);
}

TEST(LogConhecido, AFrameWithLineFeedsKeepsItsLengthAndItsFields) {
    const std::string d = Conhecido();
    // The line feed inside the description was stored as CR LF.
    EXPECT_EQ(Trecho(d, "21:14:01.020", 9),
              "21:14:01.020 TX 05 venda de item (ecf_VendaItem), 100 bytes\n"
              "               codigo      7891234567895\n"
              "               descricao   CAFE\\x0a500G \u00c7\u00daCAR\n"
              "               quantidade  1000\n"
              "               preco       1590\n"
              "               aliquota    T1\n"
              "               unidade     UN\n"
              "               casas       2\n"
              // A reply byte of 10, stored as CR LF too.
              "21:14:01.031 RX status 10\n");
    // A record's own head inside a frame's text is text; a raw CR stays.
    EXPECT_EQ(Trecho(d, "21:14:01.040", 4),
              "21:14:01.040 TX 12 propaganda (ecf_Propaganda), 164 bytes\n"
              "               mensagem\n"
              "                 | OFERTA\\x0aRX [99:99:99 000ms] - X\\x0d\\x0aFIM\n"
              "21:14:01.052 RX status 1\n");
}

TEST(LogConhecido, RepliesAndErrorsCarryTheirMeaning) {
    const std::string d = Conhecido();
    EXPECT_NE(d.find("21:14:02.100 RX status 33: report accepted"), std::string::npos) << d;
    EXPECT_NE(d.find("21:14:02.110 RX status 10: busy: a report wait polls again\n"), std::string::npos);
    EXPECT_NE(d.find("21:14:18.000 TX 00 status (ecf_EstadoImpressora), 4 bytes\n"
                     "21:14:20.001 Erro DLL 10: fewer bytes received than asked for (time-out)\n"),
              std::string::npos);
    EXPECT_NE(d.find("21:14:21.015 RX 30 bytes \"001000000000000000000000000042\"\n"), std::string::npos);
    EXPECT_NE(d.find("21:14:01.012 RX status 5\n"), std::string::npos);
}

TEST(LogConhecido, TheTwoChequeLayoutsAreToldApartAndATornFrameIsShown) {
    const std::string d = Conhecido();
    EXPECT_NE(d.find("21:14:22.000 TX 34 cheque (basico) (ecf_ImprimeCheque), 169 bytes\n"
                     "               valor1       12\n"),
              std::string::npos)
        << d;
    EXPECT_NE(d.find("21:14:23.000 TX 34 cheque (estendido) (ecf_ImprimeCheque), 189 bytes\n"
                     "               valor1       120\n"
                     "               valor2       05\n"
                     "               valor3       1\n"),
              std::string::npos);
    EXPECT_NE(d.find("               espacamento  2\n               fim          0\n"), std::string::npos);
    EXPECT_EQ(Conta(d, " RX status 1\n"), 3);
    // The file ends inside the last frame.
    EXPECT_EQ(Trecho(d, "21:14:24.000", 2),
              "21:14:24.000 TX 09 fecha cupom (ecf_FechaCupom), 9 bytes, expected 12\n"
              "               operador  ANA\n");
}

TEST(LogTorto, ARecordWithoutItsFrameOrCommandIsShownRaw) {
    const std::string log = "\r\nRX [10:00:00 001ms] - \x06\r\nTX [10:00:01 002ms] - \x1b" "f99abc\r\n"
                            "RX [10:00:01 003ms] - \x02\r\n\r\nTX [10:00:02 000ms] - \x1b" "f00\r\n"
                            "RX [10:00:02 001ms] - " + std::string(1, '\0') +
                            "\r\nlixo solto\r\n\r\nErro DLL [10:00:02 004ms] - 29";
    EXPECT_EQ(DecodificaLog(log),
              // No frame before it: the reply's length is unknown.
              "10:00:00.001 RX status 6\n"
              "10:00:01.002 TX unknown frame, 7 bytes: \\x1bf99abc\n"
              "10:00:01.003 RX 2 bytes \"\\x02\\x0a\"\n"
              "10:00:02.000 TX 00 status (ecf_EstadoImpressora), 4 bytes\n"
              "10:00:02.001 RX status 0\n"
              "lixo solto\n"
              "10:00:02.004 Erro DLL 29: unknown line error\n");
    EXPECT_EQ(DecodificaLog(""), "");
}

TEST(LogConhecido, VltxLogPrintsTheDecodingAndFailsOnAMissingFile) {
    Execucao r = Executa({VLTX_BIN, "log", VLTX_TESTES_DIR "/conhecido.log"});
    EXPECT_EQ(r.Codigo, 0);
    EXPECT_EQ(r.Saida, Conhecido());
    Execucao falta = Executa({VLTX_BIN, "log", VLTX_TESTES_DIR "/nao-existe.log"});
    EXPECT_EQ(falta.Codigo, 1);
    EXPECT_NE(falta.Erros.find("cannot read"), std::string::npos);
}

namespace {
std::string Nul() { return std::string(1, '\0'); }
}  // namespace

// The bytes the driver took off the line after a failed exchange: shown as
// they are, line feeds stored as CR LF read back as one byte, never taken
// for a status reply nor for the reply to the frame before them.
TEST(LogDescarte, TheDiscardedBytesAreShownAndLeaveTheNextReplyAlone) {
    const std::string log = "\r\nTX [10:00:00 000ms] - \x1b" "f00"
                            "\r\nErro DLL [10:00:02 000ms] - 10"
                            "\r\nDescartado [10:00:02 005ms] - \x06\r\nAB\r\xe7"
                            "\r\nDescartado [10:00:03 000ms] - " + Nul() +
                            "\r\nRX [10:00:03 010ms] - \x05"
                            "\r\nDescartado [10:00:04 000ms] - ";
    EXPECT_EQ(DecodificaLog(log),
              "10:00:00.000 TX 00 status (ecf_EstadoImpressora), 4 bytes\n"
              "10:00:02.000 Erro DLL 10: fewer bytes received than asked for (time-out)\n"
              "10:00:02.005 Descartado 6 bytes discarded after a failed exchange \"\\x06\\x0aAB\\x0d\u00e7\"\n"
              "10:00:03.000 Descartado 1 byte discarded after a failed exchange \"\\x00\"\n"
              // Still the reply to "00", one byte long.
              "10:00:03.010 RX status 5\n"
              // The file ends behind the stamp.
              "10:00:04.000 Descartado 0 bytes discarded after a failed exchange \"\"\n");
}

TEST(LogDescarte, ARecordBehindTheDiscardedBytesEndsThemAndATornStampShows) {
    // The discarded bytes hold a reply's head of their own: it starts a record.
    const std::string log = "\r\nDescartado [10:00:05 000ms] - 0012\r\nRX [10:00:05 001ms] - 34"
                            "\r\nDescartado [10:00:0\r\nTX [10:00:06 000ms] - \x1b" "f00";
    EXPECT_EQ(DecodificaLog(log),
              "10:00:05.000 Descartado 4 bytes discarded after a failed exchange \"0012\"\n"
              "10:00:05.001 RX 2 bytes \"34\"\n"
              "??:??:??.??? Descartado 8 bytes discarded after a failed exchange \"[10:00:0\"\n"
              "10:00:06.000 TX 00 status (ecf_EstadoImpressora), 4 bytes\n");
}

// A damaged file reads as it always has: torn stamps and frames, a record
// that lost its line feed, bytes thrown in between records, CR and LF on
// their own, a record written without the line-feed rule.
TEST(LogTorto, ADamagedLogDecodesRecordByRecord) {
    const std::string log = "Inicio LOG: Tue Dec 08 09:00:00 2026\r\n\r\n\r\n"
                            "\r\nTX [09:00:01 0\r\nTX [09:00:01 005ms] - \x1b" "f00"
                            // A stamp 20 bytes long is the longest one read.
                            "\r\nRX [0123456789012345678] - \x05"
                            "\r\nRX [01234567890123456789] - \x05"
                            "\r\nTX [09:00:02 000ms] - \x1b" "f09ANA\r\nRX [09:00:02 010ms] - \x01"
                            "\r\nTX [09:00:03 000ms] - \x1b" "f00RX [09:00:03 011ms] - " + Nul() +
                            "\r\nTX [09:00:03 100ms] - \x1b" "f00\r\nRX [09:00:03 111ms] - " + Nul() +
                            "\r\n\xff\x07]\r\n\nlixo\rsolto\n"
                            "\r\nErro DLL [09:00:04 000ms] - 1x0"
                            "\nRX [09:00:05 000ms] - 12\n34"
                            "\r\nTX [09:00:06";
    EXPECT_EQ(DecodificaLog(log),
              "Inicio LOG: Tue Dec 08 09:00:00 2026\n"
              "??:??:??.??? TX unknown frame, 11 bytes: [09:00:01 0\n"
              "09:00:01.005 TX 00 status (ecf_EstadoImpressora), 4 bytes\n"
              "0123456789012345678 RX status 5\n"
              "??:??:??.??? RX 26 bytes \"[01234567890123456789] - \\x05\"\n"
              "09:00:02.000 TX 09 fecha cupom (ecf_FechaCupom), 7 bytes, expected 12\n"
              "               operador  ANA\n"
              "09:00:02.010 RX status 1\n"
              // The reply without its line feed is read as the frame's tail.
              "09:00:03.000 TX 00 status (ecf_EstadoImpressora), 27 bytes, expected 4\n"
              "09:00:03.100 TX 00 status (ecf_EstadoImpressora), 4 bytes\n"
              "09:00:03.111 RX status 0\n"
              "\u00ff\\x07]\n"
              "lixo\\x0dsolto\n"
              "09:00:04.000 Erro DLL 1x0: the port is open already\n"
              "09:00:05.000 RX 5 bytes \"12\\x0a34\"\n"
              "??:??:??.??? TX unknown frame, 9 bytes: [09:00:06\n");
}

// Records found far into a long file are cut where they were near its start:
// a stretch of damaged records repeated reads as its own reading repeated.
TEST(LogTorto, ALongDamagedLogReadsAsItsPartsDo) {
    const std::string trecho = "\r\nTX [09:00:01 005ms] - \x1b" "f09ANA\r\nRX [09:00:0"
                               "\r\nTX [09:00:02 000ms]- \x1b" "f00]]]]\r\nRX [09:00:02 010ms] - \x05\r\n"
                               "\r\nDescartado [09:00:02 011ms] - \x06]\xd5\r\nErro DLL [09:00:03 000ms] - 10"
                               "\r\nlixo ] - \r\nRX [10:0";
    std::string longo;
    for (int i = 0; i < 5000; ++i) longo += trecho;
    const std::string parte = DecodificaLog(trecho);
    ASSERT_NE(parte.find("Descartado 3 bytes"), std::string::npos) << parte;
    const std::string d = DecodificaLog(longo);
    ASSERT_EQ(d.size(), parte.size() * 5000);
    for (std::size_t i = 0; i < 5000; ++i) ASSERT_EQ(d.compare(i * parte.size(), parte.size(), parte), 0) << i;
}

// ------------------------------------------------------------ the log read as a stream

namespace {

// The file handed over a few bytes at a time, so that every record, every
// stamp and every CR LF falls across the end of a block somewhere.
LeituraLog AosPoucos(const std::string& arquivo, std::size_t bloco) {
    return [arquivo, bloco, p = std::size_t{0}](char* destino, std::size_t n) mutable {
        n = std::min({n, bloco, arquivo.size() - p});
        std::memcpy(destino, arquivo.data() + p, n);
        p += n;
        return n;
    };
}

std::string Junta(const std::function<void(const EscritaLog&)>& decodifica) {
    std::string texto;
    decodifica([&](std::string_view s) { texto += s; });
    return texto;
}

// As the driver stores it: each line feed as CR LF.
std::string Armazenado(const std::string& texto) {
    std::string s;
    for (char c : texto) s += c == '\n' ? std::string("\r\n") : std::string(1, c);
    return s;
}

}  // namespace

TEST(LogEmFluxo, ALogHandedOverAFewBytesAtATimeReadsAsWhenReadWhole) {
    const std::string conhecido = LeArquivo(VLTX_TESTES_DIR "/conhecido.log");
    const std::string torto = "Inicio LOG: Tue Dec 08 09:00:00 2026\r\n\r\n\r\n\r\nTX [09:00:01 0\r\r\n\r"
                              "\r\nTX [09:00:03 000ms] - \x1b" "f00RX [09:00:03 011ms] - \r\n\r"
                              "\r\nDescartado [09:00:02 011ms] - \x06]\xd5\r\nErro DLL [09:00:03 000ms] -  -10"
                              "\r\nLeitura Entrada Registry: [Gerar Log=1]\r\n\r\nX\r\n\r\n\r\nlixo ] - \r";
    for (const std::string& log : {conhecido, torto}) {
        const std::string inteiro = DecodificaLog(log);
        const std::string resumo = ResumoDoLog(log);
        for (std::size_t bloco : {1, 2, 3, 7, 64}) {
            SCOPED_TRACE(bloco);
            EXPECT_EQ(Junta([&](const EscritaLog& s) { DecodificaLog(AosPoucos(log, bloco), s); }), inteiro);
            EXPECT_EQ(Junta([&](const EscritaLog& s) { ResumoDoLog(AosPoucos(log, bloco), s); }), resumo);
        }
    }
}

// A damaged log may hold a record of many megabytes (a discarded stream, a
// frame without its row, text between records): it is shown whole, on one
// line, with its length in front, though no more than a piece of it is
// held at once.
TEST(LogEmFluxo, RecordsOfManyMegabytesAreShownWholeWithTheirLength) {
    std::string descartado;
    while (descartado.size() < (std::size_t{6} << 20)) descartado += "AB\n\xe7";
    const std::string quadro = "\x1b" "f99" + std::string(std::size_t{3} << 20, 'Q');
    const std::string linha(std::size_t{2} << 20, 'L');
    const std::string espacos(std::size_t{3} << 20, ' ');
    const std::string log = Armazenado("\n" + linha + "\nTX [10:00:00 000ms] - \x1b" "f00\nDescartado [10:00:01 000ms] - " +
                                       descartado + "\nRX [10:00:02 000ms] - \x05\nTX [10:00:03 000ms] - " + quadro +
                                       "\nErro DLL [10:00:04 000ms] - " + espacos + "10\nCriada Chave Registry: [x]\n\n" +
                                       linha + "\n\n");
    std::string legivel;
    for (std::size_t i = 0; i < descartado.size(); i += 4) legivel += "AB\\x0a\u00e7";
    EXPECT_EQ(DecodificaLog(log),
              linha + "\n"
              "10:00:00.000 TX 00 status (ecf_EstadoImpressora), 4 bytes\n"
              "10:00:01.000 Descartado " + std::to_string(descartado.size()) +
                  " bytes discarded after a failed exchange \"" + legivel + "\"\n"
              // Still the reply to "00".
              "10:00:02.000 RX status 5\n"
              "10:00:03.000 TX unknown frame, " + std::to_string(quadro.size()) + " bytes: \\x1bf99" +
                  quadro.substr(4) + "\n"
              "10:00:04.000 Erro DLL " + espacos + "10: fewer bytes received than asked for (time-out)\n"
              "Criada Chave Registry: [x]\n\n" + linha + "\n");
    const std::string resumo = ResumoDoLog(log);
    EXPECT_EQ(resumo.substr(0, resumo.find('\n')), "2 frames sent, 1 failure, 1 discarded record");
    EXPECT_NE(resumo.find("  10:00:01.000  " + std::to_string(descartado.size()) +
                          " bytes after 00 status (ecf_EstadoImpressora): \"" + legivel.substr(0, 80) + "\"...\n"),
              std::string::npos)
        << resumo.substr(0, 2000);
}

// The summary lists every failure and every discarded record, in order,
// however many there are: past a few megabytes they wait in a file.
TEST(LogEmFluxo, TheSummaryListsEveryFailureOfALongLogInOrder) {
    constexpr int Quantos = 60000;
    std::string log;
    char hora[32];
    for (int i = 0; i < Quantos; ++i) {
        std::snprintf(hora, sizeof hora, "%02d:%02d:%02d %03dms", i / 3600000 % 24, i / 60000 % 60, i / 1000 % 60, i % 1000);
        log += "\r\nErro DLL [" + std::string(hora) + "] - 10\r\nDescartado [" + hora + "] - X";
    }
    const std::string s = ResumoDoLog(log);
    EXPECT_EQ(s.substr(0, s.find('\n')), "0 frames sent, 60000 failures, 60000 discarded records");
    // No frame: the lists are not shown, only counted.
    EXPECT_EQ(s.find("Failures"), std::string::npos);

    // With one frame sent, the lists follow.
    const std::string comFrame = "\r\nTX [00:00:00 000ms] - \x1b" "f00\r\nRX [00:00:00 001ms] - \x00"s + log;
    const std::string r = ResumoDoLog(comFrame);
    const std::string primeira = "  00:00:00.000  no frame pending (opening or closing the port): 10 fewer bytes "
                                 "received than asked for (time-out)\n";
    const std::string ultima = "  00:00:59.999  no frame pending (opening or closing the port): 10 fewer bytes "
                               "received than asked for (time-out)\n";
    const std::size_t falhas = r.find("Failures\n");
    ASSERT_NE(falhas, std::string::npos);
    EXPECT_EQ(r.compare(falhas + 9, primeira.size(), primeira), 0);
    EXPECT_EQ(Conta(r, "no frame pending"), Quantos);
    EXPECT_LT(r.find(ultima), r.find("Slowest exchanges"));
    EXPECT_EQ(Conta(r, " 1 byte after 00 status (ecf_EstadoImpressora): \"X\"\n"), Quantos);
    EXPECT_NE(r.find("  00:00:59.999  1 byte after 00 status (ecf_EstadoImpressora): \"X\"\n"
                     "  60000 bytes in 60000 records\n"),
              std::string::npos);
}

// The decoder's memory does not grow with the log: a 48 MB log, handed
// over as a stream, never has more than a few megabytes on the heap.
TEST(LogEmFluxo, ALargeLogIsDecodedInLittleMemory) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "AddressSanitizer's allocator does not report to mallinfo2";
#else
    const std::string conhecido = LeArquivo(VLTX_TESTES_DIR "/conhecido.log");
    constexpr std::size_t Tamanho = std::size_t{48} << 20;
    constexpr std::size_t Limite = std::size_t{16} << 20;
    for (bool resumo : {false, true}) {
        SCOPED_TRACE(resumo);
        // In use on the heap, the large blocks (mapped on their own) included.
        const auto emUso = [] {
            const struct mallinfo2 m = mallinfo2();
            return m.uordblks + m.hblkhd;
        };
        const std::size_t antes = emUso();
        std::size_t pico = 0;
        std::size_t dado = 0, saida = 0;
        const auto mede = [&] { pico = std::max(pico, emUso() - std::min(antes, emUso())); };
        const LeituraLog entrada = [&](char* destino, std::size_t n) {
            mede();
            n = std::min(n, Tamanho - dado);
            for (std::size_t i = 0; i < n; ++i) destino[i] = conhecido[(dado + i) % conhecido.size()];
            dado += n;
            return n;
        };
        const EscritaLog escrita = [&](std::string_view s) {
            mede();
            saida += s.size();
        };
        resumo ? ResumoDoLog(entrada, escrita) : DecodificaLog(entrada, escrita);
        EXPECT_EQ(dado, Tamanho);
        EXPECT_GT(saida, resumo ? 1000 : Tamanho);
        EXPECT_LT(pico, Limite);
    }
#endif
}
