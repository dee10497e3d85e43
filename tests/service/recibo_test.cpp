// vltxd against vltx-sim through the real library: receipts on the roll,
// over a pseudo-terminal, a TCP port and ser2net; idempotent repeats,
// waiting and asynchronous tasks, a printer's refusal mid-receipt.
#include <gtest/gtest.h>

#include <memory>

#include "servico.h"
#include "support/ser2net.h"

using nlohmann::json;

namespace {

class ServicoRecibo : public ::testing::Test {
protected:
    std::unique_ptr<SimuladorEmExecucao> Sim(const std::string& nome, std::vector<std::string> opcoes = {}) {
        return SimuladorEm(dir_.Caminho() + "/" + nome, opcoes);
    }
    DiretorioTemporario dir_;
    Servico servico_{dir_.Caminho()};
};

// What the roll shows for the whole receipt, frame by frame.
constexpr const char* Rolo = R"([11] abre cupom                             -> 0
     CUPOM FISCAL 000001
[05] venda de item                          -> 0
     item 001
     codigo      7891234567895
     descricao   CAFE 500G
     quantidade  1000
     preco       1590
     aliquota    T1
     unidade     UN
     casas       2
[20] desconto no item                       -> 0
     tipo       D
     descricao  DESC CAFE
     valor      100
[05] venda de item                          -> 0
     item 002
     codigo      7896005800010
     descricao   LEITE 1L
     quantidade  2000
     preco       459
     aliquota    T2
     unidade     UN
     casas       2
[19] desconto no subtotal                   -> 0
     tipo       0
     descricao  DESC SUB
     valor      50
[14] identifica comprador                   -> 0
     nome       MARIA DE SOUZA
     tipo       F
     documento  12345678909
     endereco1  RUA DAS FLORES, 100
     endereco2  SAO PAULO - SP
[10] pagamento                              -> 0
     forma      01
     descricao  DINHEIRO
     valor      2000
[10] pagamento                              -> 0
     forma      02
     descricao  CARTAO
     valor      358
[12] propaganda                             -> 0
     mensagem  VOLTE SEMPRE
[09] fecha cupom                            -> 0
     receipt closed
     operador  CAIXA01
)";

}  // namespace

TEST_F(ServicoRecibo, AWholeReceiptOnAPtyPrintsFrameByFrameAndEveryStepIsJournaled) {
    auto sim = Sim("a");
    ASSERT_TRUE(servico_.Inicia({{"caixa1", sim->Link(), ""}})) << servico_.Erros();
    Resposta r = servico_.Recibo("caixa1", ReciboCompleto(), "k-1");
    ASSERT_EQ(r.Status, 200) << r.Corpo;
    json j = r.Json();
    EXPECT_EQ(j["state"], "done");
    EXPECT_EQ(j["ok"], true);
    ASSERT_EQ(j["steps"].size(), 10u);
    EXPECT_EQ(j["steps"][0]["export"], "ecf_ImprimeCabecalho");
    EXPECT_EQ(j["steps"][2]["export"], "ecf_DescontoItem");
    EXPECT_EQ(j["steps"][9]["args"], json({"CAIXA01"}));
    for (const json& s : j["steps"]) {
        EXPECT_EQ(s["result"], 0);
        EXPECT_EQ(s["meaning"], "done");
    }
    const std::string rolo = sim->Papel();
    EXPECT_NE(rolo.find(Rolo), std::string::npos) << rolo;
    // GET /tasks/ID gives the same task from the journal.
    json t = Pede(servico_.Porta(), "GET", "/tasks/" + j["task"].get<std::string>()).Json();
    EXPECT_EQ(t["steps"], j["steps"]);
}

TEST_F(ServicoRecibo, PrintersOverTcpAndThroughSer2netPrintSideBySide) {
    auto tcp = Sim("tcp", {"--tcp", "127.0.0.1:0"});
    auto pty = Sim("pty");
    Ser2net ser2net(pty->Escravo().c_str(), Ser2net::Raw);
    ASSERT_TRUE(servico_.Inicia({{"rede", "socket://" + tcp->Escravo(), ""}, {"ser", ser2net.Url(), ""}}))
        << servico_.Erros();
    Resposta a = servico_.Recibo("rede", ReciboCompleto(), "tcp-1");
    Resposta b = servico_.Recibo("ser", ReciboCompleto(), "ser-1");
    EXPECT_EQ(a.Status, 200) << a.Corpo;
    EXPECT_EQ(b.Status, 200) << b.Corpo;
    EXPECT_NE(tcp->Papel().find(Rolo), std::string::npos) << tcp->Papel();
    EXPECT_NE(pty->Papel().find(Rolo), std::string::npos) << pty->Papel();
    json p = Pede(servico_.Porta(), "GET", "/printers/ser").Json();
    EXPECT_EQ(p["port"], ser2net.Url());
    EXPECT_EQ(p["worker"], "ready");
    json s = Pede(servico_.Porta(), "GET", "/printers/rede/status").Json();
    EXPECT_EQ(s["status"], 0);
    EXPECT_EQ(s["meaning"], "done");
}

TEST_F(ServicoRecibo, ARepeatIsAnsweredFromTheJournalAlsoAfterARestartAndAnotherBodyIsAConflict) {
    auto sim = Sim("a");
    ASSERT_TRUE(servico_.Inicia({{"caixa1", sim->Link(), ""}})) << servico_.Erros();
    Resposta primeiro = servico_.Recibo("caixa1", ReciboCompleto(), "venda-42");
    ASSERT_EQ(primeiro.Status, 200) << primeiro.Corpo;
    Resposta repetido = servico_.Recibo("caixa1", ReciboCompleto(), "venda-42");
    ASSERT_EQ(repetido.Status, 200) << repetido.Corpo;
    EXPECT_EQ(repetido.Json()["task"], primeiro.Json()["task"]);
    EXPECT_EQ(repetido.Json()["repeat"], true);
    EXPECT_EQ(repetido.Cabecalho("Idempotent-Replayed"), "true");

    json outro = ReciboCompleto();
    outro["operator"] = "CAIXA02";
    Resposta conflito = servico_.Recibo("caixa1", outro, "venda-42");
    EXPECT_EQ(conflito.Status, 409) << conflito.Corpo;
    EXPECT_EQ(conflito.Json()["error"], "idempotency_conflict");

    ASSERT_TRUE(servico_.Reinicia()) << servico_.Erros();
    Resposta depois = servico_.Recibo("caixa1", ReciboCompleto(), "venda-42");
    EXPECT_EQ(depois.Status, 200) << depois.Corpo;
    EXPECT_EQ(depois.Json()["task"], primeiro.Json()["task"]);
    // One receipt on the roll, whatever was repeated.
    EXPECT_EQ(Conta(sim->Papel(), "CUPOM FISCAL"), 1) << sim->Papel();
}

TEST_F(ServicoRecibo, WaitZeroAnswers202AndTheTaskEndsOnItsOwnInArrivalOrder) {
    auto sim = Sim("a", {"--delay", "30"});
    ASSERT_TRUE(servico_.Inicia({{"caixa1", sim->Link(), ""}})) << servico_.Erros();
    Eventos eventos(servico_.Porta());
    Resposta a = servico_.Recibo("caixa1", ReciboCompleto(), "a", "0");
    Resposta b = servico_.Recibo("caixa1", ReciboCompleto(), "b", "0");
    ASSERT_EQ(a.Status, 202) << a.Corpo;
    ASSERT_EQ(b.Status, 202) << b.Corpo;
    const std::string ta = a.Json()["task"], tb = b.Json()["task"];
    EXPECT_EQ(a.Cabecalho("Location"), "/tasks/" + ta);
    // A repeat while the task is under way waits for that same task.
    Resposta repetida = servico_.Recibo("caixa1", ReciboCompleto(), "b");
    EXPECT_EQ(repetida.Status, 200) << repetida.Corpo;
    EXPECT_EQ(repetida.Json()["task"], tb);
    EXPECT_EQ(Conta(sim->Papel(), "CUPOM FISCAL"), 2);
    json fim = EsperaTarefa(servico_.Porta(), tb, [](const json& t) { return t["state"] == "done"; });
    EXPECT_EQ(fim["state"], "done");
    json primeira = Pede(servico_.Porta(), "GET", "/tasks/" + ta).Json();
    EXPECT_EQ(primeira["state"], "done");
    // The second started after the first had ended.
    EXPECT_GE(fim["started"].get<double>(), primeira["ended"].get<double>());
    // Every step was an event: sent, then its result.
    json passo = eventos.Espera([&](const json& e) {
        return e["type"] == "step" && e["task"] == tb && e["n"] == 10 && e["phase"] == "result";
    });
    EXPECT_EQ(passo["result"], 0);
    EXPECT_FALSE(eventos.Espera([&](const json& e) { return e["type"] == "task" && e["task"] == tb && e["state"] == "done"; })
                     .is_null());
}

TEST_F(ServicoRecibo, AStepThePrinterRefusesCancelsTheReceiptAndNamesTheStep) {
    // The printer answers 1 to the second item, frame 3 (the header is frame 1).
    auto sim = Sim("a", {"--status=1@05", "--after", "3"});
    ASSERT_TRUE(servico_.Inicia({{"caixa1", sim->Link(), ""}})) << servico_.Erros();
    json corpo = ReciboCompleto();
    corpo["items"][0].erase("discount");
    Resposta r = servico_.Recibo("caixa1", corpo, "recusa");
    ASSERT_EQ(r.Status, 502) << r.Corpo;
    json j = r.Json();
    EXPECT_EQ(j["ok"], false);
    EXPECT_EQ(j["error"], "task_failed");
    EXPECT_EQ(j["state"], "failed");
    EXPECT_EQ(j["outcome"]["failed_step"], 3);
    EXPECT_EQ(j["outcome"]["export"], "ecf_VendaItem");
    EXPECT_EQ(j["outcome"]["code"], 1);
    EXPECT_EQ(j["outcome"]["meaning"], "unknown command code");
    EXPECT_EQ(j["outcome"]["cancel"]["ok"], true);
    EXPECT_EQ(j["outcome"]["cancel"]["export"], "ecf_CancelaCupom");
    ASSERT_EQ(j["steps"].size(), 4u);
    EXPECT_EQ(j["steps"][3]["export"], "ecf_CancelaCupom");
    EXPECT_EQ(j["steps"][3]["args"], json({"CAIXA01"}));
    const std::string rolo = sim->Papel();
    EXPECT_NE(rolo.find("receipt cancelled"), std::string::npos) << rolo;
    EXPECT_EQ(rolo.find("[10] pagamento"), std::string::npos) << rolo;
}
