// UUCP lock files around the device open, in a lock directory of the test's own.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/plataforma.h"
#include "platform/posix/trava_uucp.h"
#include "support/ambiente.h"
#include "support/impressora.h"
#include "vltxdrv.h"

namespace {

namespace fs = std::filesystem;

std::string Hdb(long pid) {
    char texto[16];
    std::snprintf(texto, sizeof texto, "%10ld\n", pid);
    return texto;
}

std::string Binario(std::int32_t pid) { return std::string(reinterpret_cast<const char*>(&pid), sizeof pid); }

void Grava(const std::string& caminho, const std::string& texto) {
    std::ofstream(caminho, std::ios::binary | std::ios::trunc) << texto;
}

// A process that lives until the object goes.
class Vivo {
public:
    Vivo() : pid_(fork()) {
        if (pid_ == 0)
            for (;;) pause();
    }
    ~Vivo() {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    pid_t Pid() const { return pid_; }

private:
    pid_t pid_;
};

// The PID of a process that has ended and been reaped.
pid_t PidMorto() {
    pid_t pid = fork();
    if (pid == 0) _exit(0);
    waitpid(pid, nullptr, 0);
    return pid;
}

std::string NomeDe(const char* dispositivo) {
    char nome[256];
    return plataforma::NomeTravaUucp(dispositivo, nome, sizeof nome) ? nome : "";
}

class TravaUucp : public ::testing::Test {
protected:
    void SetUp() override {
        ambiente::Limpa();
        ecf_LogSerial("0");
        const char* antes = std::getenv("VLTXDRV_LOCK_DIR");
        anterior_ = antes != nullptr ? antes : "";
        char modelo[] = "/tmp/vltxdrv-lock-XXXXXX";
        dir_ = mkdtemp(modelo);
        setenv("VLTXDRV_LOCK_DIR", dir_.c_str(), 1);
        trava_ = dir_ + "/" + NomeDe(impressora.Caminho());
    }
    void TearDown() override {
        ecf_FinalizaDLL();
        if (anterior_.empty())
            unsetenv("VLTXDRV_LOCK_DIR");
        else
            setenv("VLTXDRV_LOCK_DIR", anterior_.c_str(), 1);
        fs::remove_all(dir_);
    }
    // Every entry of the lock directory: no temporary file may stay behind.
    std::size_t Entradas() const {
        return static_cast<std::size_t>(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()));
    }

    Impressora impressora;
    std::string anterior_, dir_, trava_;
};

TEST(NomeTravaUucp, NamesTheDeviceAsTheKernelKnowsIt) {
    EXPECT_EQ(NomeDe("/dev/vltx-inexistente/3"), "LCK..vltx-inexistente_3");
    EXPECT_EQ(NomeDe("ttyVLTX-inexistente"), "LCK..ttyVLTX-inexistente");
    EXPECT_EQ(NomeDe("/vltx/inexistente"), "LCK..vltx_inexistente");
    EXPECT_EQ(NomeDe(""), "");
    EXPECT_EQ(NomeDe(("/dev/" + std::string(300, 'x')).c_str()), "") << "a name cut short would be another device's";
    Impressora impressora;
    const std::string escravo = impressora.Caminho();
    ASSERT_EQ(escravo.rfind("/dev/pts/", 0), 0u);
    EXPECT_EQ(NomeDe(escravo.c_str()), "LCK..pts_" + escravo.substr(9));
    char modelo[] = "/tmp/vltxdrv-nome-XXXXXX";
    const std::string dir = mkdtemp(modelo);
    fs::create_symlink(escravo, dir + "/ecf0");
    EXPECT_EQ(NomeDe((dir + "/ecf0").c_str()), NomeDe(escravo.c_str())) << "a udev link locks its device";
    fs::remove_all(dir);
}

TEST_F(TravaUucp, HeldWhileOpenWithOurPidAndRemovedOnClose) {
    ASSERT_EQ(ecf_InicializaDLL(impressora.Caminho()), 33);
    EXPECT_EQ(ambiente::LeArquivo(trava_), Hdb(getpid()));
    struct stat st {};
    ASSERT_EQ(lstat(trava_.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0644u);
    EXPECT_EQ(Entradas(), 1u);
    // The same device again in this process: refused, and the first open keeps its lock.
    EXPECT_EQ(plataforma::AbreDispositivo(impressora.Caminho()), 0);
    EXPECT_EQ(ambiente::LeArquivo(trava_), Hdb(getpid()));
    EXPECT_EQ(ecf_FinalizaDLL(), 33);
    EXPECT_FALSE(fs::exists(trava_));
    EXPECT_EQ(Entradas(), 0u);
    // A lock put in ours' place while the device was open stays on close.
    ASSERT_EQ(ecf_InicializaDLL(impressora.Caminho()), 33);
    Vivo outro;
    Grava(dir_ + "/novo", Hdb(outro.Pid()));
    fs::rename(dir_ + "/novo", trava_);
    EXPECT_EQ(ecf_FinalizaDLL(), 33);
    EXPECT_EQ(ambiente::LeArquivo(trava_), Hdb(outro.Pid()));
}

TEST_F(TravaUucp, LiveHolderKeepsTheDeviceBusyAndItsLockUntouched) {
    Vivo outro;
    for (const std::string& conteudo :
         {Hdb(outro.Pid()), Binario(outro.Pid()), " \t" + std::to_string(outro.Pid()) + " \n\n", Hdb(getpid()),
          std::string()}) {
        SCOPED_TRACE(::testing::PrintToString(conteudo));
        Grava(trava_, conteudo);
        EXPECT_EQ(ecf_InicializaDLL(impressora.Caminho()), 3);
        EXPECT_EQ(ambiente::LeArquivo(trava_), conteudo);
        EXPECT_EQ(Entradas(), 1u);
    }
    // Reached through a udev-style link, the device is just as busy.
    Grava(trava_, Hdb(outro.Pid()));
    fs::create_symlink(impressora.Caminho(), dir_ + "/ecf0");
    EXPECT_EQ(ecf_InicializaDLL((dir_ + "/ecf0").c_str()), 3);
}

TEST_F(TravaUucp, StaleLockIsTakenOver) {
    const pid_t morto = PidMorto();
    for (const std::string& conteudo : {Hdb(morto), Binario(morto), std::string("lixo\n"), std::string()}) {
        SCOPED_TRACE(::testing::PrintToString(conteudo));
        Grava(trava_, conteudo);
        // A lock holding no PID is stale once old enough to be no lock being written.
        const timespec velho[2] = {{0, UTIME_OMIT}, {std::time(nullptr) - 60, 0}};
        ASSERT_EQ(utimensat(AT_FDCWD, trava_.c_str(), velho, 0), 0);
        ASSERT_EQ(ecf_InicializaDLL(impressora.Caminho()), 33);
        EXPECT_EQ(ambiente::LeArquivo(trava_), Hdb(getpid()));
        EXPECT_EQ(ecf_FinalizaDLL(), 33);
        EXPECT_FALSE(fs::exists(trava_));
    }
}

TEST_F(TravaUucp, SymbolicLinkAtTheLockNameIsNotFollowed) {
    const std::string alvo = dir_ + "/alvo", ausente = dir_ + "/ausente";
    Grava(alvo, "intacto");
    for (const std::string& destino : {alvo, ausente}) {
        SCOPED_TRACE(destino);
        fs::remove(trava_);
        fs::create_symlink(destino, trava_);
        EXPECT_EQ(ecf_InicializaDLL(impressora.Caminho()), 3) << "what is no lock file is left alone";
        EXPECT_TRUE(fs::is_symlink(trava_));
    }
    EXPECT_EQ(ambiente::LeArquivo(alvo), "intacto");
    EXPECT_FALSE(fs::exists(ausente));
}

TEST_F(TravaUucp, OpenGoesOnWhereNoLockFileCanBeWritten) {
    // Under a regular file or missing: no lock directory, root or not.
    Grava(dir_ + "/arquivo", "");
    for (const std::string& semDir : {dir_ + "/arquivo/lock", dir_ + "/ausente"}) {
        SCOPED_TRACE(semDir);
        setenv("VLTXDRV_LOCK_DIR", semDir.c_str(), 1);
        ASSERT_EQ(ecf_InicializaDLL(impressora.Caminho()), 33);
        EXPECT_EQ(ecf_FinalizaDLL(), 33);
    }
    // An open that fails after the lock was taken gives it back, whether the
    // path is no serial line (4) or does not open (3).
    setenv("VLTXDRV_LOCK_DIR", dir_.c_str(), 1);
    EXPECT_EQ(ecf_InicializaDLL("/dev/null"), 4);
    EXPECT_EQ(ecf_InicializaDLL((dir_ + "/inexistente").c_str()), 3);
    EXPECT_EQ(Entradas(), 1u) << "only the regular file made here";
}

}  // namespace

// What a tool reads at the lock name is what the open honours: a live
// holder is in force, a dead one is not, a symbolic link is no lock file
// yet keeps the device busy.
TEST_F(TravaUucp, ReadingTheLockTellsWhatTheOpenHonours) {
    char arquivo[PATH_MAX];
    long pid = -1;
    bool emVigor = true;
    EXPECT_FALSE(plataforma::LeTravaUucp(impressora.Caminho(), arquivo, sizeof arquivo, pid, emVigor));

    Vivo outro;
    Grava(trava_, Binario(outro.Pid()));
    ASSERT_TRUE(plataforma::LeTravaUucp(impressora.Caminho(), arquivo, sizeof arquivo, pid, emVigor));
    EXPECT_EQ(arquivo, trava_);
    EXPECT_EQ(pid, outro.Pid());
    EXPECT_TRUE(emVigor);
    EXPECT_EQ(ecf_InicializaDLL(impressora.Caminho()), 3);

    Grava(trava_, Hdb(PidMorto()));
    ASSERT_TRUE(plataforma::LeTravaUucp(impressora.Caminho(), arquivo, sizeof arquivo, pid, emVigor));
    EXPECT_FALSE(emVigor);
    EXPECT_EQ(ambiente::LeArquivo(trava_), Hdb(pid)) << "reading takes nothing over";

    fs::remove(trava_);
    fs::create_symlink(dir_ + "/alvo", trava_);
    ASSERT_TRUE(plataforma::LeTravaUucp(impressora.Caminho(), arquivo, sizeof arquivo, pid, emVigor));
    EXPECT_EQ(pid, 0);
    EXPECT_TRUE(emVigor);
    // A path that does not fit is no lock read.
    EXPECT_FALSE(plataforma::LeTravaUucp(impressora.Caminho(), arquivo, 8, pid, emVigor));
}
