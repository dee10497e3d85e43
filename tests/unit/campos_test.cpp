// Field writers at fixed offsets of the command buffer.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "driver/campos.h"
#include "driver/comandos.h"
#include "driver/estado.h"

namespace {
std::string Bytes(int de, int n) { return std::string(reinterpret_cast<char*>(EstadoDriver.BufComando) + de, n); }
}  // namespace

TEST(ConverteDecimal, FollowsTheDecimalTextRule) {
    EXPECT_EQ(ConverteDecimal("7"), 7);
    EXPECT_EQ(ConverteDecimal("  \t-5x"), -5);
    EXPECT_EQ(ConverteDecimal("+12"), 12);
    EXPECT_EQ(ConverteDecimal(""), 0);
    EXPECT_EQ(ConverteDecimal("abc"), 0);
    EXPECT_EQ(ConverteDecimal(nullptr), 0);
    EXPECT_EQ(ConverteDecimal("- 5"), 0);
    EXPECT_EQ(ConverteDecimal("4294967297"), 1);  // wraps, never traps
}

TEST(Campos, TextsCutOrPadAndLeaveTheirZeroByte) {
    std::memset(EstadoDriver.BufComando, 'x', sizeof EstadoDriver.BufComando);
    EscreveTextoEsquerda(4, 5, "AB");
    EXPECT_EQ(Bytes(4, 6), std::string("AB   \0", 6));
    EscreveTextoDireita(4, 5, "ABCDEFG");
    EXPECT_EQ(Bytes(4, 6), std::string("ABCDE\0", 6));
    EscreveTextoDireita(4, 5, "AB");
    EXPECT_EQ(Bytes(4, 5), "   AB");
    EscreveCaractere(4, "");
    EXPECT_EQ(Bytes(4, 2), std::string("\0 ", 2));  // a character leaves no zero byte
}

TEST(Campos, NumbersKeepTheirWholeTextForTheNextFieldToCover) {
    EscreveNumero(4, 2, 7);
    EXPECT_EQ(Bytes(4, 3), std::string("07\0", 3));
    EscreveNumero(4, 2, 123);
    EXPECT_EQ(Bytes(4, 4), std::string("123\0", 4));
    EscreveNumero(4, 2, -5);
    EXPECT_EQ(Bytes(4, 4), std::string("-05\0", 4));
    EscreveNumero(4, 8, -1);
    EXPECT_EQ(Bytes(4, 8), "-0000000");
}

TEST(Campos, NothingIsStoredPastTheEndOfTheBuffer) {
    // BufTroca lies right behind BufComando, where the sanitizer cannot see
    // an overrun: a marker there must survive.
    std::memset(EstadoDriver.BufTroca, 0x5a, sizeof EstadoDriver.BufTroca);
    EscreveTextoEsquerda(TamanhoBuffer - 2, 2, "ABCDEF");
    EXPECT_EQ(Bytes(TamanhoBuffer - 2, 2), "AB");
    EscreveNumero(TamanhoBuffer - 2, 2, 123456789);
    EXPECT_EQ(Bytes(TamanhoBuffer - 2, 2), "12");
    EscreveTextoDireita(TamanhoBuffer - 1, 800, "X");
    EXPECT_EQ(Bytes(TamanhoBuffer - 1, 1), " ");
    EscreveCaractere(TamanhoBuffer, "X");
    EXPECT_EQ(std::string(reinterpret_cast<char*>(EstadoDriver.BufTroca), 8), std::string(8, '\x5a'));
}

TEST(TabelaComandos, EveryRowFitsItsFrameAndFieldsRunInOrder) {
    for (const Comando& c : tabela::Comandos) {
        SCOPED_TRACE(c.Exportacao);
        EXPECT_LE(c.TamanhoQuadro, TamanhoBuffer);
        int fim = 4;
        for (int i = 0; i < c.NumCampos; ++i) {
            const Campo& f = c.Campos[i];
            EXPECT_EQ(f.Deslocamento, fim) << "field " << f.Nome;
            fim = f.Deslocamento + f.Largura;
        }
        EXPECT_EQ(fim, c.TamanhoQuadro);
    }
    EXPECT_EQ(ComandoPorCodigo("34", 189)->NumCampos, 34);
    EXPECT_EQ(ComandoPorExportacao("ecf_VendaItem")->TamanhoQuadro, 100);
}
