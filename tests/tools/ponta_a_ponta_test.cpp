// vltx against vltx-sim through the real library, as a point-of-sale
// developer runs them: a receipt, a report, the readouts, the fault drills.
#include <gtest/gtest.h>

#include <dirent.h>

#include <string>
#include <vector>

#include "com_simulador.h"

namespace {

class Ferramentas : public ComSimulador {
protected:
    std::vector<std::string> Ambiente() const {
        return {"VLTXDRV_DRIVE_C=" + dir_.Caminho() + "/c", "VLTXDRV_REGISTRY=" + dir_.Caminho() + "/reg"};
    }

    Execucao Vltx(std::vector<std::string> args, const std::string& entrada = {},
                  const std::string& biblioteca = VLTXDRV_SO) {
        std::vector<std::string> argv = {VLTX_BIN, "--port", sim_ ? sim_->Link() : Arquivo("ecf0"), "--lib",
                                         biblioteca};
        argv.insert(argv.end(), args.begin(), args.end());
        return Executa(argv, Ambiente(), entrada);
    }

    std::string Arquivo(const std::string& nome) const { return dir_.Caminho() + "/" + nome; }

    // The day's log, whatever the weekday.
    std::string Log() const {
        std::string conteudo;
        if (DIR* d = opendir((dir_.Caminho() + "/c").c_str())) {
            while (dirent* e = readdir(d))
                if (std::string(e->d_name).size() == 7 && std::string(e->d_name).substr(3) == ".log")
                    conteudo = dir_.Caminho() + "/c/" + e->d_name;
            closedir(d);
        }
        return conteudo;
    }

};

constexpr const char* Cupom = R"(# a whole receipt
ImprimeCabecalho
VendaItem 7891234567895 "CAFE 500G" 1000 1590 T1 UN 2
ecf_VendaItem 7896005800010 'LEITE 1L' 2000 459 T2 UN 2
vendaitem 7891000100103 "ACUCAR \"UNIAO\" 1KG" 1000 389 T1 KG 2   # quotes inside
DescontoItem D "DESC ITEM" 50
CancelaItem 002
DescontoSubtotal "DESC SUB" 100
IdComprador "JOSE DA SILVA" F 12345678909 "RUA A, 1" "SAO PAULO"
Pagamento 01 DINHEIRO 1000
Pagamento 02 CARTAO 778
Propaganda "VOLTE SEMPRE"
FechaCupom OPERADOR
)";

}  // namespace

TEST_F(Ferramentas, AReceiptPrintsOnTheRollAndEveryFrameIsInTheDecodedLog) {
    Inicia();
    Execucao ligar = Vltx({"LogSerial", "1"});
    ASSERT_EQ(ligar.Codigo, 0) << ligar.Saida << ligar.Erros;

    Execucao r = Vltx({"--script", "-"}, Cupom);
    ASSERT_EQ(r.Codigo, 0) << r.Saida << r.Erros;
    // Open, twelve calls, close: every call answered by the printer with 0.
    EXPECT_EQ(Conta(r.Saida, "\n= 0  printer status 0\n"), 12) << r.Saida;
    EXPECT_NE(r.Saida.find("> VendaItem 7891000100103 \"ACUCAR \\\"UNIAO\\\" 1KG\" 1000 389 T1 KG 2\n"),
              std::string::npos)
        << r.Saida;
    EXPECT_NE(r.Saida.find("= 33  port closed"), std::string::npos);

    const std::string papel = sim_->Papel();
    EXPECT_NE(papel.find("CUPOM FISCAL 000001"), std::string::npos) << papel;
    EXPECT_NE(papel.find("item 003"), std::string::npos);
    EXPECT_NE(papel.find("descricao   ACUCAR \"UNIAO\" 1KG"), std::string::npos) << papel;
    EXPECT_NE(papel.find("item 002 cancelled"), std::string::npos);
    EXPECT_NE(papel.find("documento  12345678909"), std::string::npos);
    EXPECT_NE(papel.find("descricao  CARTAO"), std::string::npos);
    EXPECT_NE(papel.find("mensagem  VOLTE SEMPRE"), std::string::npos);
    EXPECT_NE(papel.find("receipt closed"), std::string::npos);

    const std::string log = Log();
    ASSERT_FALSE(log.empty());
    Execucao d = Executa({VLTX_BIN, "log", log});
    ASSERT_EQ(d.Codigo, 0);
    EXPECT_EQ(Conta(d.Saida, " TX "), 12) << d.Saida;
    EXPECT_EQ(Conta(d.Saida, " RX status 0\n"), 12);
    EXPECT_EQ(Conta(d.Saida, " TX 05 venda de item (ecf_VendaItem), 100 bytes\n"), 3);
    EXPECT_NE(d.Saida.find(" TX 17 cancela item (ecf_CancelaItem), 7 bytes\n               item  002\n"),
              std::string::npos)
        << d.Saida;
    EXPECT_NE(d.Saida.find("Leitura Entrada Registry: [Gerar Log=1]"), std::string::npos);
}

TEST_F(Ferramentas, AnXReportIsAcceptedAndPolledAZReportIsNot) {
    Inicia({"--polls", "0"});
    Execucao r = Vltx({"Relatorio_XZ", "1", "Relatorio_XZ", "0"});
    ASSERT_EQ(r.Codigo, 0) << r.Saida << r.Erros;
    EXPECT_NE(r.Saida.find("> Relatorio_XZ 1\n= 33  report accepted; the wait for the printer is over\n"),
              std::string::npos)
        << r.Saida;
    EXPECT_NE(r.Saida.find("> Relatorio_XZ 0\n= 0  printer status 0\n"), std::string::npos);
    const std::string papel = sim_->Papel();
    EXPECT_NE(papel.find("-> 33 accepted\n     LEITURA X 0001"), std::string::npos) << papel;
    // One poll, answered at once, after the X report; none after the Z.
    EXPECT_EQ(Conta(papel, "[00] status"), 1) << papel;
    EXPECT_LT(papel.find("[00] status"), papel.find("REDUCAO Z 0001"));
}

TEST_F(Ferramentas, TheReadoutsReachTheirFiles) {
    Inicia({"--pause", "20", "--lines", "40"});
    const std::string leitura = Arquivo("leitura.txt");
    const std::string cmc7 = Arquivo("cmc7.txt");
    Execucao r = Vltx({"ImprimeCabecalho", "LeRegistrador", "1", "LeECF", "5", "01012024", "31012024", "0", leitura,
                       "LeCMC7", cmc7});
    ASSERT_EQ(r.Codigo, 0) << r.Saida << r.Erros;
    EXPECT_NE(r.Saida.find("= 33  answer \"001000000000000000000000000001\""), std::string::npos) << r.Saida;

    // The status byte, then the readout with each line feed as CR LF, then ETX.
    const std::string texto = LeArquivo(leitura);
    ASSERT_GT(texto.size(), 2u);
    EXPECT_EQ(texto[0], '\0');
    EXPECT_EQ(texto.substr(1, 37), "VELTRIX ECF SIMULADO - LEITURA TIPO 5");
    EXPECT_EQ(texto.back(), '\x03');
    EXPECT_EQ(Conta(texto, "\r\n"), 45);
    EXPECT_EQ(Conta(texto, "\n"), 45);
    EXPECT_NE(r.Saida.find("readout over: " + leitura + " (" + std::to_string(texto.size()) + " bytes)"),
              std::string::npos)
        << r.Saida;

    const std::string linha = LeArquivo(cmc7);
    ASSERT_EQ(linha.size(), 36u) << linha;
    EXPECT_EQ(linha[0], '\x02');
    EXPECT_EQ(linha[1], '<');
    EXPECT_EQ(linha.back(), '\x03');
}

TEST_F(Ferramentas, ASilentPrinterEndsInATimeOutWithItsMeaning) {
    Inicia({"--silent"});
    Execucao r = Vltx({"ProximoTimeout", "1", "EstadoImpressora"});
    ASSERT_EQ(r.Codigo, 0) << r.Saida << r.Erros;
    EXPECT_NE(r.Saida.find("> EstadoImpressora\n= 10  printer status 10, or line failure: fewer bytes received than "
                           "asked for (time-out)\n"),
              std::string::npos)
        << r.Saida;
    EXPECT_NE(sim_->Papel().find("-> no answer (drill)"), std::string::npos);
}

TEST_F(Ferramentas, ADrillForACommandGoesBeforeOneForAllAndIsNotCarriedOut) {
    // A stall touches streams only; the status for "05" wins over the one for all.
    Inicia({"--stall", "--status=9", "--status=7@05"});
    Execucao r = Vltx({"ImprimeCabecalho", "VendaItem", "1", "ITEM", "1", "100", "T1", "UN", "2", "EstadoImpressora"});
    ASSERT_EQ(r.Codigo, 0) << r.Saida;
    EXPECT_NE(r.Saida.find("> ImprimeCabecalho\n= 9  printer status 9, or line failure: the write failed\n"),
              std::string::npos)
        << r.Saida;
    EXPECT_NE(r.Saida.find("> VendaItem 1 ITEM 1 100 T1 UN 2\n"
                           "= 7  printer status 7, or line failure: transfer longer than"),
              std::string::npos)
        << r.Saida;
    EXPECT_NE(r.Saida.find("> EstadoImpressora\n= 9  printer status 9"), std::string::npos);
    const std::string papel = sim_->Papel();
    EXPECT_NE(papel.find("-> 7 (drill)"), std::string::npos) << papel;
    EXPECT_EQ(papel.find("CUPOM FISCAL"), std::string::npos) << papel;
    EXPECT_EQ(papel.find("item 001"), std::string::npos);
}

TEST_F(Ferramentas, ACutReplyAndADroppedLineAreLineFailures) {
    Inicia({"--partial=04", "--drop=05"});
    Execucao r = Vltx({"LeRegistrador", "2", "VendaItem", "1", "ITEM", "1", "100", "T1", "UN", "2"});
    ASSERT_EQ(r.Codigo, 0) << r.Saida;
    // 29 bytes of 30: the reply is short.
    EXPECT_NE(r.Saida.find("> LeRegistrador 2\n= 10  printer status 10, or line failure: fewer bytes received"),
              std::string::npos)
        << r.Saida;
    const std::size_t venda = r.Saida.find("> VendaItem");
    ASSERT_NE(venda, std::string::npos);
    EXPECT_NE(r.Saida.find("or line failure:", venda), std::string::npos) << r.Saida;
    EXPECT_TRUE(sim_->Terminou(3000));
    EXPECT_NE(sim_->Papel().find("line dropped (drill)"), std::string::npos);
}

TEST_F(Ferramentas, TheSampleChequeLayoutsPrintBothVariants) {
    Inicia();
    const std::string ini = std::string(VLTX_TESTES_DIR) + "/../../tools/exemplo/cheque.ini";
    Execucao r = Vltx({"ImprimeCheque", "1.234,56", "FULANO DE TAL", "SAO PAULO", "OBRIGADO", "070126", "", "",
                       "MODELO_BASICO", ini, "ImprimeCheque", "99,00", "BELTRANO", "RIO", "", "080126", "", "",
                       "MODELO_ESTENDIDO", ini, "ImprimeCheque", "1", "2", "3", "4", "5", "6", "7", "NAO_HA", ini});
    ASSERT_EQ(r.Codigo, 0) << r.Saida << r.Erros;
    EXPECT_EQ(Conta(r.Saida, "= 0  printer status 0\n"), 2) << r.Saida;
    EXPECT_NE(r.Saida.find("= 21  layout: the section is missing"), std::string::npos) << r.Saida;
    const std::string papel = sim_->Papel();
    EXPECT_NE(papel.find("[34] cheque (basico)"), std::string::npos) << papel;
    EXPECT_NE(papel.find("[34] cheque (estendido)"), std::string::npos);
    EXPECT_NE(papel.find("favorecido   BELTRANO"), std::string::npos);
}

TEST_F(Ferramentas, AMissingExportIsNamedAndTheOtherCallsRun) {
    Inicia();
    Execucao r = Vltx({"ImprimeCabecalho", "EstadoImpressora"}, {}, VLTXDRV_PARCIAL_SO);
    EXPECT_EQ(r.Codigo, 3) << r.Saida << r.Erros;
    EXPECT_NE(r.Saida.find("! ecf_ImprimeCabecalho is not in this library (" VLTXDRV_PARCIAL_SO "): skipped\n"),
              std::string::npos)
        << r.Saida;
    EXPECT_NE(r.Saida.find("> EstadoImpressora\n= 0  printer status 0\n> FinalizaDLL\n= 33  port closed\n"),
              std::string::npos)
        << r.Saida;
}

TEST_F(Ferramentas, WrongCallsStopBeforeThePortIsOpened) {
    Inicia();
    Execucao poucos = Vltx({"ImprimeCabecalho", "VendaItem", "1", "2"});
    EXPECT_EQ(poucos.Codigo, 1);
    EXPECT_NE(poucos.Erros.find("VendaItem takes 7 arguments, 2 given: VendaItem codigo descricao quantidade preco "
                                "aliquota unidade casas"),
              std::string::npos)
        << poucos.Erros;
    Execucao roteiro = Vltx({"-"}, "EstadoImpressora\n\n# nada\nAbreGaveta agora\n");
    EXPECT_EQ(roteiro.Codigo, 1);
    EXPECT_NE(roteiro.Erros.find("stdin:4: AbreGaveta takes 0 arguments, 1 given"), std::string::npos)
        << roteiro.Erros;
    Execucao desconhecida = Vltx({"VendeItem"});
    EXPECT_NE(desconhecida.Erros.find("no export is called \"VendeItem\""), std::string::npos);
    EXPECT_EQ(poucos.Saida + roteiro.Saida + desconhecida.Saida, "");
    EXPECT_EQ(sim_->Papel(), "");
}

TEST_F(Ferramentas, APortThatCannotBeOpenedStopsTheRun) {
    Execucao r = Vltx({"EstadoImpressora"});
    EXPECT_EQ(r.Codigo, 2);
    EXPECT_EQ(r.Saida, "> InicializaDLL " + Arquivo("ecf0") + "\n= 3  the device cannot be opened\n! no such device: " +
                           Arquivo("ecf0") + " does not exist\n");
}
