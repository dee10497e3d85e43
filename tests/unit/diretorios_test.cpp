// Where the driver's files go when the environment does or does not say.
#include <gtest/gtest.h>
#include <pwd.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "platform/plataforma.h"
#include "platform/posix/diretorios.h"

namespace {

namespace fs = std::filesystem;

const char* const Variaveis[] = {"VLTXDRV_DRIVE_C", "VLTXDRV_REGISTRY", "XDG_STATE_HOME", "HOME"};

class Diretorios : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* v : Variaveis) {
            const char* valor = std::getenv(v);
            antes_.push_back(valor != nullptr ? std::optional<std::string>(valor) : std::nullopt);
        }
        char modelo[] = "/tmp/vltxdrv-dir-XXXXXX";
        dir_ = mkdtemp(modelo);
    }
    void TearDown() override {
        for (std::size_t i = 0; i < std::size(Variaveis); ++i) {
            if (antes_[i])
                setenv(Variaveis[i], antes_[i]->c_str(), 1);
            else
                unsetenv(Variaveis[i]);
        }
        fs::remove_all(dir_);
    }
    std::string Caminho(const char* variavel, const char* sufixo, const char* casa, bool esperado = true) {
        char destino[4096];
        EXPECT_EQ(plataforma::CaminhoBase(variavel, sufixo, casa, destino, sizeof destino), esperado);
        return destino;
    }
    bool Vazio() const { return fs::is_empty(dir_); }

    std::vector<std::optional<std::string>> antes_;
    std::string dir_;
};

TEST_F(Diretorios, EnvironmentFirstThenThePasswdHomeThenNone) {
    const std::string casa = dir_ + "/passwd";
    setenv("VLTXDRV_DRIVE_C", (dir_ + "/explicito//").c_str(), 1);
    setenv("XDG_STATE_HOME", (dir_ + "/estado").c_str(), 1);
    setenv("HOME", (dir_ + "/casa").c_str(), 1);
    unsetenv("VLTXDRV_REGISTRY");
    EXPECT_EQ(Caminho("VLTXDRV_DRIVE_C", "c", casa.c_str()), dir_ + "/explicito");
    EXPECT_EQ(Caminho("VLTXDRV_REGISTRY", "registry", casa.c_str()), dir_ + "/estado/vltxdrv/registry");
    setenv("VLTXDRV_DRIVE_C", "", 1);
    EXPECT_EQ(Caminho("VLTXDRV_DRIVE_C", "c", casa.c_str()), dir_ + "/estado/vltxdrv/c");
    // A relative XDG_STATE_HOME would put the files in the current directory.
    setenv("XDG_STATE_HOME", "relativo", 1);
    EXPECT_EQ(Caminho("VLTXDRV_DRIVE_C", "c", casa.c_str()), dir_ + "/casa/.local/state/vltxdrv/c");
    unsetenv("XDG_STATE_HOME");
    setenv("HOME", "", 1);  // once "/.local/state/vltxdrv"
    EXPECT_EQ(Caminho("VLTXDRV_DRIVE_C", "c", casa.c_str()), casa + "/.local/state/vltxdrv/c");
    unsetenv("HOME");
    EXPECT_EQ(Caminho("VLTXDRV_DRIVE_C", "c", casa.c_str()), casa + "/.local/state/vltxdrv/c");
    EXPECT_EQ(Caminho("VLTXDRV_DRIVE_C", "c", nullptr, false).rfind("/dev/null/", 0), 0u);
    // Cut short, a path would name some other directory.
    char curto[24];
    EXPECT_FALSE(plataforma::CaminhoBase("VLTXDRV_DRIVE_C", "c", casa.c_str(), curto, sizeof curto));
    EXPECT_EQ(std::string(curto).rfind("/dev/null/", 0), 0u) << curto;
    EXPECT_TRUE(Vazio()) << "computing the path creates nothing";
}

TEST_F(Diretorios, CreatedPrivateOnFirstUse) {
    unsetenv("VLTXDRV_DRIVE_C");
    unsetenv("XDG_STATE_HOME");
    setenv("HOME", (dir_ + "/casa").c_str(), 1);
    char destino[4096];
    plataforma::DiretorioBase("VLTXDRV_DRIVE_C", "c", destino, sizeof destino);
    struct stat st {};
    ASSERT_EQ(stat((dir_ + "/casa/.local/state/vltxdrv/c").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0700u);
}

// In a child as the user uid, with nothing in the environment: no home to
// be found, so no file can be made, and none lands in the current directory.
int SemCasa(uid_t uid, const std::string& atual) {
    for (const char* v : Variaveis) unsetenv(v);
    if (setresgid(65534, 65534, 65534) != 0 || setresuid(uid, uid, uid) != 0 || chdir(atual.c_str()) != 0) return 1;
    char casa[4096];
    if (plataforma::CasaDoUsuario(casa, sizeof casa) != nullptr) return 2;
    const std::string c = plataforma::DiretorioC();
    if (c.rfind("/dev/null/", 0) != 0) return 3;
    if (plataforma::CriaArquivo((c + "Mon.log").c_str(), false) > 0) return 4;
    plataforma::Chave chave = 0;
    if (plataforma::RegistroCriaChave(plataforma::HKEY_LOCAL_MACHINE, "Software", &chave, nullptr) == 0) return 5;
    return 0;
}

TEST_F(Diretorios, NoHomeMeansNoFilesAnywhere) {
    if (geteuid() != 0) GTEST_SKIP() << "changing user needs root";
    uid_t semEntrada = 54321;
    while (getpwuid(semEntrada) != nullptr) ++semEntrada;
    std::vector<uid_t> usuarios{semEntrada};
    const passwd* ninguem = getpwnam("nobody");
    if (ninguem != nullptr && !fs::exists(ninguem->pw_dir)) usuarios.push_back(ninguem->pw_uid);  // home /nonexistent
    fs::permissions(dir_, fs::perms::all);
    const bool havia = fs::exists("/.local") || fs::exists("/Mon.log");
    for (uid_t uid : usuarios) {
        SCOPED_TRACE(uid);
        const pid_t filho = fork();
        if (filho == 0) _exit(SemCasa(uid, dir_));
        int estado = 0;
        ASSERT_EQ(waitpid(filho, &estado, 0), filho);
        ASSERT_TRUE(WIFEXITED(estado));
        EXPECT_EQ(WEXITSTATUS(estado), 0) << "1 setup, 2 home found, 3 a directory, 4 a file made, 5 a key made";
        EXPECT_TRUE(Vazio());
    }
    if (!havia) {
        EXPECT_FALSE(fs::exists("/.local") || fs::exists("/Mon.log"));
    }
}

}  // namespace
