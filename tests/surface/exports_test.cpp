// The library as a host sees it: loaded with dlopen, called by name.
#include <dlfcn.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "support/ambiente.h"
#include "support/impressora.h"

namespace {

std::set<std::string> NomesEsperados() {
    std::set<std::string> nomes;
    std::ifstream f(VLTXDRV_SIMBOLOS);
    for (std::string linha; std::getline(f, linha);)
        if (!linha.empty()) nomes.insert(linha);
    return nomes;
}

std::set<std::string> SimbolosDinamicos() {
    std::set<std::string> nomes;
    std::string comando = std::string("nm -D --defined-only ") + VLTXDRV_SO;
    FILE* p = popen(comando.c_str(), "r");
    char linha[512];
    while (p != nullptr && std::fgets(linha, sizeof linha, p) != nullptr) {
        std::string s(linha);
        s.erase(s.find_last_not_of("\r\n") + 1);
        nomes.insert(s.substr(s.rfind(' ') + 1));
    }
    if (p != nullptr) pclose(p);
    return nomes;
}

class Biblioteca : public ::testing::Test {
protected:
    void SetUp() override {
        ambiente::Limpa();
        lib_ = dlopen(VLTXDRV_SO, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(lib_, nullptr) << dlerror();
    }
    void TearDown() override {
        if (lib_ != nullptr) dlclose(lib_);
    }
    template <typename F>
    F Funcao(const char* nome) {
        return reinterpret_cast<F>(dlsym(lib_, nome));
    }
    void* lib_ = nullptr;
};

}  // namespace

TEST_F(Biblioteca, ExportsExactlyTheFiftyFourNames) {
    const std::set<std::string> esperados = NomesEsperados();
    ASSERT_EQ(esperados.size(), 54u);
    EXPECT_EQ(SimbolosDinamicos(), esperados);
    for (const std::string& nome : esperados) EXPECT_NE(dlsym(lib_, nome.c_str()), nullptr) << nome;
    EXPECT_EQ(dlsym(lib_, "vLog_C6_4"), nullptr);
    EXPECT_EQ(dlsym(lib_, "ExecutaComando"), nullptr);
}

TEST_F(Biblioteca, CounterExportsAreCallableByTheirNames) {
    auto baixa = Funcao<void (*)()>("@Log@C6_4");
    auto sobe = Funcao<void (*)()>("@Log@C6_5");
    ASSERT_NE(baixa, nullptr);
    ASSERT_NE(sobe, nullptr);
    baixa();
    sobe();
}

TEST_F(Biblioteca, OpensAPseudoTerminalAndExchangesAFrame) {
    Impressora impressora;
    impressora.AtendeCom(std::string(1, '\x0a'));
    auto abre = Funcao<int32_t (*)(const char*)>("ecf_InicializaDLL");
    auto estado = Funcao<int32_t (*)()>("ecf_EstadoImpressora");
    auto fecha = Funcao<int32_t (*)()>("ecf_FinalizaDLL");
    auto versao = Funcao<int32_t (*)(char*)>("ecf_VersaoDLL");
    char texto[32] = {};
    EXPECT_EQ(versao(texto), 15);
    EXPECT_STREQ(texto, "Veltrix - V2.60");
    EXPECT_EQ(estado(), 2);
    ASSERT_EQ(abre(impressora.Caminho()), 33);
    EXPECT_EQ(abre(impressora.Caminho()), 1);
    EXPECT_EQ(estado(), 10);
    EXPECT_EQ(impressora.UltimoQuadro(), Quadro("00"));
    EXPECT_EQ(fecha(), 33);
    EXPECT_EQ(fecha(), 2);
}

TEST(Descarga, UnloadingWithThePortOpenReleasesTheDevice) {
    ambiente::Limpa();
    Impressora impressora;
    void* lib = dlopen(VLTXDRV_SO, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(lib, nullptr);
    auto abre = reinterpret_cast<int32_t (*)(const char*)>(dlsym(lib, "ecf_InicializaDLL"));
    ASSERT_EQ(abre(impressora.Caminho()), 33);
    ASSERT_EQ(abre(impressora.Caminho()), 1);
    dlclose(lib);
    // A fresh load can open the device again: the last one let it go.
    lib = dlopen(VLTXDRV_SO, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(lib, nullptr);
    abre = reinterpret_cast<int32_t (*)(const char*)>(dlsym(lib, "ecf_InicializaDLL"));
    EXPECT_EQ(abre(impressora.Caminho()), 33);
    reinterpret_cast<int32_t (*)()>(dlsym(lib, "ecf_FinalizaDLL"))();
    dlclose(lib);
}

namespace {

// Whether the terminal at the path is in exclusive mode (TIOCEXCL): asked
// of the terminal itself, since root may open an exclusive one.
bool Exclusivo(const char* caminho) {
    const int fd = open(caminho, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return errno == EBUSY;
    int excl = 0;
    const bool sim = ioctl(fd, TIOCGEXCL, &excl) == 0 && excl != 0;
    close(fd);
    return sim;
}

// Whether another open of the device can take its flock.
bool TravaLivre(const char* caminho) {
    const int fd = open(caminho, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    const bool livre = flock(fd, LOCK_EX | LOCK_NB) == 0;
    close(fd);
    return livre;
}

// The UUCP lock files in the lock directory, with what they hold.
std::vector<std::string> ArquivosDeTrava() {
    std::vector<std::string> travas;
    for (const auto& e : std::filesystem::directory_iterator(std::getenv("VLTXDRV_LOCK_DIR")))
        if (e.path().filename().string().rfind("LCK..", 0) == 0)
            travas.push_back(e.path().filename().string() + ": " + ambiente::LeArquivo(e.path().string()));
    return travas;
}

}  // namespace

// A host forks while its port is open, and the child exits (here it unloads
// the library, as its exit does): the device stays the parent's, exclusive,
// locked, with its lock file, and the parent goes on using it.
TEST(Descarga, AForkedChildsUnloadLeavesTheParentsPortAlone) {
    ambiente::Limpa();
    Impressora impressora;
    impressora.AtendeCom(std::string(1, '\x05'));
    void* lib = dlopen(VLTXDRV_SO, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(lib, nullptr) << dlerror();
    auto abre = reinterpret_cast<int32_t (*)(const char*)>(dlsym(lib, "ecf_InicializaDLL"));
    auto estado = reinterpret_cast<int32_t (*)()>(dlsym(lib, "ecf_EstadoImpressora"));
    auto fecha = reinterpret_cast<int32_t (*)()>(dlsym(lib, "ecf_FinalizaDLL"));
    ASSERT_EQ(abre(impressora.Caminho()), 33);
    ASSERT_TRUE(Exclusivo(impressora.Caminho()));
    ASSERT_FALSE(TravaLivre(impressora.Caminho()));
    const std::vector<std::string> travas = ArquivosDeTrava();
    ASSERT_EQ(travas.size(), 1u);
    ASSERT_NE(travas[0].find(std::to_string(getpid())), std::string::npos) << travas[0];

    std::fflush(nullptr);
    const pid_t filho = fork();
    ASSERT_GE(filho, 0);
    if (filho == 0) {
        dlclose(lib);
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(filho, &status, 0), filho);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

    EXPECT_TRUE(Exclusivo(impressora.Caminho())) << "the child cleared the exclusive mode";
    EXPECT_FALSE(TravaLivre(impressora.Caminho())) << "the child let the flock go";
    EXPECT_EQ(ArquivosDeTrava(), travas) << "the child removed or changed the lock file";
    EXPECT_EQ(estado(), 5);
    EXPECT_EQ(fecha(), 33);
    // The parent's own close lets everything go.
    EXPECT_FALSE(Exclusivo(impressora.Caminho()));
    EXPECT_TRUE(ArquivosDeTrava().empty());
    dlclose(lib);
}
