// Long operations in the worker: the X report with its wait for the printer
// (each poll an event, the wait on a fast clock) while another printer goes
// on, and the readouts into a file of the task's, downloaded by its id.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <memory>

#include "servico.h"

using nlohmann::json;

namespace {

class ServicoRelatorios : public ::testing::Test {
protected:
    std::unique_ptr<SimuladorEmExecucao> Sim(const std::string& nome, std::vector<std::string> opcoes = {}) {
        return SimuladorEm(dir_.Caminho() + "/" + nome, opcoes);
    }
    Resposta Posta(const std::string& caminho, const json& corpo, const std::string& chave,
                   const std::string& espera = "30000") {
        return Pede(servico_.Porta(), "POST", caminho + "?wait=" + espera, corpo.dump(), {"Idempotency-Key: " + chave});
    }
    DiretorioTemporario dir_;
    Servico servico_{dir_.Caminho()};
};

}  // namespace

TEST_F(ServicoRelatorios, AnXReportWaitsForThePrinterPollByPollWhileAnotherPrinterPrints) {
    // The printer answers 10 to two polls: the driver waits 15 s, then 3 s,
    // on a monotonic clock that runs 8 times as fast inside vltxd (about 2.3 s).
    auto lenta = Sim("lenta", {"--polls", "2"});
    auto rapida = Sim("rapida");
    servico_.Ambiente = {"LD_PRELOAD=" VLTXD_RELOGIO_RAPIDO, "VLTXD_RELOGIO_FATOR=8",
                         "ASAN_OPTIONS=verify_asan_link_order=0"};
    ASSERT_TRUE(servico_.Inicia({{"lenta", lenta->Link(), ""}, {"rapida", rapida->Link(), ""}})) << servico_.Erros();
    Eventos eventos(servico_.Porta());
    Resposta x = Posta("/printers/lenta/report", {{"type", "x"}}, "x1", "0");
    ASSERT_EQ(x.Status, 202) << x.Corpo;
    const std::string idx = x.Json()["task"];
    // In the wait: the first poll said busy.
    json ocupada = eventos.Espera([&](const json& e) { return e["type"] == "poll" && e["task"] == idx; });
    ASSERT_FALSE(ocupada.is_null());
    EXPECT_EQ(ocupada["status"], 10);
    EXPECT_EQ(ocupada["busy"], true);
    EXPECT_EQ(Pede(servico_.Porta(), "GET", "/tasks/" + idx).Json()["state"], "running");
    Resposta recibo = servico_.Recibo("rapida", ReciboCompleto(), "r1");
    ASSERT_EQ(recibo.Status, 200) << recibo.Corpo;

    json rel = EsperaTarefa(servico_.Porta(), idx, [](const json& t) { return t["state"] != "queued" && t["state"] != "running"; });
    ASSERT_EQ(rel["state"], "done") << rel.dump();
    EXPECT_EQ(rel["steps"][0]["result"], 33);
    EXPECT_EQ(rel["steps"][0]["meaning"], "report accepted; the wait for the printer is over");
    // The receipt on the other printer ran inside the report's wait.
    EXPECT_LT(recibo.Json()["ended"].get<double>(), rel["ended"].get<double>());
    std::vector<int> polls;
    for (const json& e : eventos.Todos())
        if (e["type"] == "poll" && e["task"] == idx) polls.push_back(e["status"]);
    EXPECT_EQ(polls, (std::vector<int>{10, 10, 0}));
    EXPECT_EQ(Conta(lenta->Papel(), "[00] status"), 3) << lenta->Papel();
    EXPECT_NE(lenta->Papel().find("LEITURA X 0001"), std::string::npos);

    Resposta z = Posta("/printers/lenta/report", {{"type", "z"}}, "z1");
    EXPECT_EQ(z.Status, 200) << z.Corpo;
    EXPECT_NE(lenta->Papel().find("REDUCAO Z 0001"), std::string::npos);
    EXPECT_EQ(Posta("/printers/lenta/report", {{"type", "y"}}, "y1").Json()["field"], "type");
}

TEST_F(ServicoRelatorios, AReadoutIsStreamedIntoTheTasksFileAndDownloadedByItsId) {
    auto sim = Sim("a", {"--pause", "20", "--chunk", "512"});
    ASSERT_TRUE(servico_.Inicia({{"caixa1", sim->Link(), ""}})) << servico_.Erros();
    Eventos eventos(servico_.Porta());
    Resposta r = Posta("/printers/caixa1/readout", {{"type", "4"}, {"from", "01012026"}, {"to", "31012026"}}, "l1");
    ASSERT_EQ(r.Status, 200) << r.Corpo;
    json j = r.Json();
    const std::string id = j["task"];
    EXPECT_EQ(j["file"], "/tasks/" + id + "/file");
    EXPECT_EQ(j["steps"][0]["args"], json({"4", "01012026", "31012026", "0"}));
    struct stat st {};
    ASSERT_EQ(stat((servico_.Estado() + "/files/" + id).c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 077, 0u);  // the shop's data, readable by vltxd's user alone
    Resposta arquivo = Pede(servico_.Porta(), "GET", "/tasks/" + id + "/file");
    ASSERT_EQ(arquivo.Status, 200);
    EXPECT_NE(arquivo.Corpo.find("LEITURA TIPO 4"), std::string::npos) << arquivo.Corpo;
    EXPECT_NE(arquivo.Corpo.find("DE 01012026 A 31012026"), std::string::npos);
    EXPECT_NE(arquivo.Corpo.find("FIM DA LEITURA"), std::string::npos);
    EXPECT_EQ(j["outcome"]["bytes"], arquivo.Corpo.size());
    json progresso = eventos.Espera([&](const json& e) {
        return e["type"] == "progress" && e["task"] == id && e["bytes"] == arquivo.Corpo.size();
    });
    EXPECT_FALSE(progresso.is_null());

    Resposta cmc7 = Posta("/printers/caixa1/cmc7", json::object(), "c1");
    ASSERT_EQ(cmc7.Status, 200) << cmc7.Corpo;
    Resposta linha = Pede(servico_.Porta(), "GET", "/tasks/" + cmc7.Json()["task"].get<std::string>() + "/file");
    EXPECT_NE(linha.Corpo.find("<23790001<"), std::string::npos) << linha.Corpo;
    // A task without a file, and a readout type the printer streams nothing for.
    EXPECT_EQ(Pede(servico_.Porta(), "GET", "/tasks/" + cmc7.Json()["task"].get<std::string>()).Status, 200);
    EXPECT_EQ(Posta("/printers/caixa1/readout", {{"type", "3"}, {"from", "1"}, {"to", "2"}}, "l2").Json()["field"], "type");
}
