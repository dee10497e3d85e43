// The journal alone: idempotency keys, pruning with the tasks' files, a
// schema newer than the program; and the example configuration.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <unistd.h>

#include <fstream>

#include "config.h"
#include "journal.h"
#include "processo.h"

using vltxd::Journal;
using vltxd::TaskRow;

namespace {

TaskRow Tarefa(const std::string& id, const std::string& chave, const std::string& hash, double criada) {
    TaskRow t;
    t.Id = id;
    t.Printer = "p";
    t.Kind = "receipt";
    t.IdemKey = chave;
    t.BodyHash = hash;
    t.Request = "{}";
    t.Created = criada;
    return t;
}

}  // namespace

TEST(ServicoDiario, KeysRepeatOrConflictAndOldTasksGoWithTheirStepsAndFiles) {
    DiretorioTemporario dir;
    Journal j;
    std::string erro;
    ASSERT_TRUE(j.Open(dir.Caminho() + "/j.sqlite", erro)) << erro;
    TaskRow existente;
    EXPECT_EQ(j.AddTask(Tarefa("t1", "k", "h1", vltxd::Now()), existente, erro), Journal::Add::Inserted);
    EXPECT_EQ(j.AddTask(Tarefa("t2", "k", "h1", vltxd::Now()), existente, erro), Journal::Add::Repeat);
    EXPECT_EQ(existente.Id, "t1");
    EXPECT_EQ(j.AddTask(Tarefa("t3", "k", "h2", vltxd::Now()), existente, erro), Journal::Add::Conflict);

    TaskRow velha = Tarefa("t4", "velha", "h", vltxd::Now() - 40 * 86400.0);
    velha.File = dir.Caminho() + "/t4";
    std::ofstream(velha.File) << "leitura";
    ASSERT_EQ(j.AddTask(velha, existente, erro), Journal::Add::Inserted);
    ASSERT_TRUE(j.StepSent("t4", 1, "ecf_LeECF", "[]"));
    ASSERT_TRUE(j.StepResult("t4", 1, 33));
    ASSERT_TRUE(j.SetState("t4", "done", "{}"));
    // A task still running is kept, whatever its age.
    ASSERT_EQ(j.AddTask(Tarefa("t5", "corre", "h", vltxd::Now() - 40 * 86400.0), existente, erro),
              Journal::Add::Inserted);
    ASSERT_TRUE(j.SetState("t5", "running"));
    std::vector<std::string> arquivos;
    EXPECT_EQ(j.Prune(30, arquivos), 1);
    EXPECT_EQ(arquivos, std::vector<std::string>{velha.File});
    EXPECT_FALSE(j.Task("t4"));
    EXPECT_TRUE(j.Steps("t4").empty());
    EXPECT_TRUE(j.Task("t5"));
    EXPECT_TRUE(j.Task("t1"));
    // Unfinished tasks become interrupted once, at a start.
    EXPECT_EQ(j.InterruptUnfinished(), 2);  // t1 queued, t5 running
    EXPECT_EQ(j.Task("t5")->State, "interrupted");
}

TEST(ServicoDiario, AJournalOfANewerSchemaIsNotTouched) {
    DiretorioTemporario dir;
    const std::string caminho = dir.Caminho() + "/j.sqlite";
    {
        Journal j;
        std::string erro;
        ASSERT_TRUE(j.Open(caminho, erro)) << erro;
    }
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(caminho.c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, "UPDATE meta SET value = '99' WHERE key = 'schema'", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
    Journal j;
    std::string erro;
    EXPECT_FALSE(j.Open(caminho, erro));
    EXPECT_NE(erro.find("journal schema 99 is newer"), std::string::npos) << erro;
}

TEST(ServicoDiario, TheExampleConfigurationLoads) {
    vltxd::Config c;
    std::string erro;
    ASSERT_TRUE(vltxd::LoadConfig(VLTXD_EXEMPLO, c, erro)) << erro;
    ASSERT_EQ(c.Printers.size(), 2u);
    EXPECT_EQ(c.ListenPort, 8461);
    EXPECT_EQ(c.Printers[1].Port.rfind("socket://", 0), 0u);
    EXPECT_EQ(c.Printers[1].Profile.Meanings.at(10), "busy printing a report");
}
