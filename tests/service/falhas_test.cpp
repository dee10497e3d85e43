// Faults made to happen: a worker killed mid-receipt, the supervisor killed
// and started again, a line that drops, a journal on a full file system.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <sys/stat.h>

#include <fstream>
#include <memory>

#include "servico.h"

using nlohmann::json;

namespace {

class ServicoFalhas : public ::testing::Test {
protected:
    std::unique_ptr<SimuladorEmExecucao> Sim(const std::string& nome, std::vector<std::string> opcoes = {}) {
        return SimuladorEm(dir_.Caminho() + "/" + nome, opcoes);
    }
    int Passos(const json& tarefa, const std::string& exportacao, bool comResultado) {
        int n = 0;
        for (const json& s : tarefa["steps"])
            if (s["export"] == exportacao && (!comResultado || !s["result"].is_null())) ++n;
        return n;
    }
    DiretorioTemporario dir_;
    Servico servico_{dir_.Caminho()};
};

}  // namespace

TEST_F(ServicoFalhas, AWorkerKilledMidReceiptLeavesItInterruptedWithItsStepsAndComesBack) {
    auto sim = Sim("a", {"--delay", "80"});
    ASSERT_TRUE(servico_.Inicia({{"caixa1", sim->Link(), ""}})) << servico_.Erros();
    Eventos eventos(servico_.Porta());
    const pid_t trabalhador = Pede(servico_.Porta(), "GET", "/printers/caixa1").Json()["pid"];
    Resposta r = servico_.Recibo("caixa1", ReciboCompleto(), "morre", "0");
    ASSERT_EQ(r.Status, 202) << r.Corpo;
    const std::string id = r.Json()["task"];
    // Step 4 goes out once the result of step 3 is in the journal.
    ASSERT_FALSE(
        eventos.Espera([&](const json& e) { return e["type"] == "step" && e["n"] == 4 && e["phase"] == "sent"; })
            .is_null());
    ASSERT_EQ(kill(trabalhador, SIGKILL), 0);

    json t = EsperaTarefa(servico_.Porta(), id, [](const json& j) { return j["state"] == "interrupted"; });
    ASSERT_EQ(t["state"], "interrupted") << t.dump();
    EXPECT_EQ(t["outcome"]["error"], "worker_died");
    ASSERT_GE(t["steps"].size(), 4u);
    for (std::size_t i = 0; i < 3; ++i) EXPECT_EQ(t["steps"][i]["result"], 0) << t.dump();
    // The worker is back, started anew; the next receipt prints.
    ASSERT_TRUE(servico_.Prontas()) << servico_.Erros();
    json p = Pede(servico_.Porta(), "GET", "/printers/caixa1").Json();
    EXPECT_EQ(p["restarts"], 1);
    EXPECT_NE(p["pid"], trabalhador);
    Resposta depois = servico_.Recibo("caixa1", ReciboCompleto(), "depois");
    ASSERT_EQ(depois.Status, 200) << depois.Corpo;
    // Nothing of the interrupted receipt went out again, on its own or on a repeat.
    Resposta repeticao = servico_.Recibo("caixa1", ReciboCompleto(), "morre");
    EXPECT_EQ(repeticao.Status, 503) << repeticao.Corpo;
    EXPECT_EQ(repeticao.Json()["error"], "task_interrupted");
    const int vendas = Conta(sim->Papel(), "[05] venda de item");
    EXPECT_GE(vendas, 2 + Passos(t, "ecf_VendaItem", true));
    EXPECT_LE(vendas, 2 + Passos(t, "ecf_VendaItem", false));
    EXPECT_EQ(Conta(sim->Papel(), "CUPOM FISCAL"), 2) << sim->Papel();
    EXPECT_NE(servico_.Erros().find("worker killed by signal 9; restarting in"), std::string::npos)
        << servico_.Erros();
}

TEST_F(ServicoFalhas, TheSupervisorKilledAndStartedAgainKeepsItsJournalAndNeverRerunsATask) {
    auto sim = Sim("a", {"--delay", "80"});
    ASSERT_TRUE(servico_.Inicia({{"caixa1", sim->Link(), ""}})) << servico_.Erros();
    Resposta feito = servico_.Recibo("caixa1", ReciboCompleto(), "feito");
    ASSERT_EQ(feito.Status, 200) << feito.Corpo;
    Eventos eventos(servico_.Porta());
    Resposta r = servico_.Recibo("caixa1", ReciboCompleto(), "no-meio", "0");
    ASSERT_EQ(r.Status, 202) << r.Corpo;
    const std::string id = r.Json()["task"];
    ASSERT_FALSE(eventos.Espera([&](const json& e) { return e["type"] == "step" && e["task"] == id && e["n"] == 2 && e["phase"] == "result"; })
                     .is_null());
    servico_.Mata(SIGKILL);
    ASSERT_TRUE(servico_.Reinicia()) << servico_.Erros();
    EXPECT_NE(servico_.Erros().find("1 unfinished task(s) from before the start marked interrupted"), std::string::npos)
        << servico_.Erros();

    json t = Pede(servico_.Porta(), "GET", "/tasks/" + id).Json();
    EXPECT_EQ(t["state"], "interrupted");
    ASSERT_GE(t["steps"].size(), 2u);
    EXPECT_EQ(t["steps"][1]["export"], "ecf_VendaItem");
    const std::string antes = sim->Papel();
    // The repeats: the finished one from the journal, the interrupted one as such.
    Resposta a = servico_.Recibo("caixa1", ReciboCompleto(), "feito");
    EXPECT_EQ(a.Status, 200) << a.Corpo;
    EXPECT_EQ(a.Json()["task"], feito.Json()["task"]);
    Resposta b = servico_.Recibo("caixa1", ReciboCompleto(), "no-meio");
    EXPECT_EQ(b.Status, 503) << b.Corpo;
    EXPECT_EQ(b.Json()["task"], id);
    // A status exchange goes through the queue after them: had a repeat
    // been queued, its frames would be on the roll ahead of it.
    EXPECT_EQ(Pede(servico_.Porta(), "GET", "/printers/caixa1/status").Status, 200);
    const std::string depois = sim->Papel();
    EXPECT_EQ(Conta(depois, "CUPOM FISCAL"), 2) << depois;
    EXPECT_EQ(Conta(depois, "[05]"), Conta(antes, "[05]"));
}

TEST_F(ServicoFalhas, ALineThatDropsFailsTheTaskShowsOnThePrinterAndIsReopenedWhenItIsBack) {
    auto sim = Sim("a", {"--tcp", "127.0.0.1:0", "--drop=05"});
    const std::string endereco = sim->Escravo();
    ASSERT_TRUE(servico_.Inicia({{"caixa1", "socket://" + endereco, ""}})) << servico_.Erros();
    Resposta r = servico_.Recibo("caixa1", ReciboCompleto(), "cai");
    ASSERT_EQ(r.Status, 502) << r.Corpo;
    json j = r.Json();
    EXPECT_EQ(j["outcome"]["failed_step"], 2);
    const int codigo = j["outcome"]["code"];
    EXPECT_TRUE(codigo == 16 || codigo == 10 || codigo == 11) << r.Corpo;
    EXPECT_EQ(j["outcome"]["cancel"]["ok"], false);
    ASSERT_TRUE(sim->Terminou(5000));
    // The printer shows the line down while nothing listens.
    json p = EsperaImpressora(servico_.Porta(), "caixa1", "port_closed");
    EXPECT_EQ(p["worker"], "port_closed") << p.dump();
    EXPECT_FALSE(p["last_error"].is_null());
    Resposta recusado = servico_.Recibo("caixa1", ReciboCompleto(), "sem-linha");
    EXPECT_EQ(recusado.Status, 503);
    EXPECT_EQ(recusado.Json()["error"], "printer_unavailable");
    // A repeat is answered from the journal while the printer is down.
    Resposta repetido = servico_.Recibo("caixa1", ReciboCompleto(), "cai");
    EXPECT_EQ(repetido.Status, 502) << repetido.Corpo;
    EXPECT_EQ(repetido.Json()["task"], j["task"]);

    // The line is back on the same port: the worker reopens it.
    auto outro = Sim("b", {"--tcp", endereco});
    ASSERT_TRUE(servico_.Prontas()) << servico_.Erros();
    Resposta ok = servico_.Recibo("caixa1", ReciboCompleto(), "volta");
    EXPECT_EQ(ok.Status, 200) << ok.Corpo;
    EXPECT_EQ(Conta(outro->Papel(), "receipt closed"), 1);
}

TEST_F(ServicoFalhas, AJournalOnAFullFileSystemRefusesTheTaskBeforeAnythingIsSent) {
    if (geteuid() != 0 || system("unshare -m true 2>/dev/null") != 0) {
        std::puts("skipped: a private mount namespace (unshare -m, as root) is not permitted here");
        GTEST_SKIP();
    }
    auto sim = Sim("a");
    // The service in a mount namespace of its own, its state on a 1 MB tmpfs.
    const std::string estado = servico_.Estado();
    mkdir(estado.c_str(), 0700);
    const std::string envoltorio = dir_.Caminho() + "/vltxd-tmpfs";
    {
        std::ofstream s(envoltorio);
        s << "#!/bin/sh\nexec unshare -m sh -c 'mount -t tmpfs -o size=1m tmpfs " << estado << " && exec " << VLTXD_BIN
          << " \"$@\"' vltxd \"$@\"\n";
    }
    chmod(envoltorio.c_str(), 0700);
    ASSERT_TRUE(servico_.Inicia({{"caixa1", sim->Link(), ""}}, "", envoltorio)) << servico_.Erros();
    Resposta a = servico_.Recibo("caixa1", ReciboCompleto(), "antes");
    ASSERT_EQ(a.Status, 200) << a.Corpo;
    // Fill the file system the journal is on, from inside the namespace.
    const std::string enche = "nsenter -t " + std::to_string(servico_.Pid()) + " -m sh -c 'cat /dev/zero > " + estado +
                              "/enche 2>/dev/null; true'";
    ASSERT_EQ(system(enche.c_str()), 0);
    const int antes = Conta(sim->Papel(), "[");
    json grande = ReciboCompleto();
    for (int i = 0; i < 3; ++i) grande["advertising"].push_back(std::string(150, 'X'));
    Resposta r = servico_.Recibo("caixa1", grande, std::string(200, 'k'));
    EXPECT_EQ(r.Status, 503) << r.Corpo;
    EXPECT_EQ(r.Json()["error"], "journal_unavailable");
    EXPECT_EQ(Conta(sim->Papel(), "["), antes) << sim->Papel();
}

TEST_F(ServicoFalhas, APortThatDoesNotOpenIsReportedWithTheReasonAndTheOthersServe) {
    auto sim = Sim("a");
    const std::string ausente = dir_.Caminho() + "/nao-existe";
    servico_.EsperaProntas = false;
    ASSERT_TRUE(servico_.Inicia({{"boa", sim->Link(), ""}, {"ausente", ausente, ""}})) << servico_.Erros();
    json p = EsperaImpressora(servico_.Porta(), "ausente", "port_closed");
    ASSERT_EQ(p["worker"], "port_closed") << p.dump();
    EXPECT_EQ(p["last_error"]["code"], 3);
    EXPECT_NE(p["last_error"]["message"].get<std::string>().find(ausente), std::string::npos) << p.dump();
    EXPECT_EQ(servico_.Recibo("ausente", ReciboCompleto(), "x").Json()["error"], "printer_unavailable");
    EXPECT_EQ(servico_.Recibo("boa", ReciboCompleto(), "y").Status, 200);
    EXPECT_EQ(Conta(sim->Papel(), "receipt closed"), 1);
    EXPECT_NE(servico_.Erros().find("printer ausente: port " + ausente + " does not open"), std::string::npos)
        << servico_.Erros();
}
