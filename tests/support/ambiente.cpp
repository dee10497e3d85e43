#include "support/ambiente.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <time.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace ambiente {
namespace {
std::string base;

std::string Base() {
    if (base.empty()) {
        char modelo[] = "/tmp/vltxdrv-test-XXXXXX";
        base = mkdtemp(modelo);
        std::filesystem::create_directories(base + "/c");
        std::filesystem::create_directories(base + "/registry");
        std::filesystem::create_directories(base + "/lock");
        setenv("VLTXDRV_DRIVE_C", (base + "/c").c_str(), 1);
        setenv("VLTXDRV_REGISTRY", (base + "/registry").c_str(), 1);
        // The devices' UUCP lock files too: no test writes /run/lock.
        setenv("VLTXDRV_LOCK_DIR", (base + "/lock").c_str(), 1);
    }
    return base;
}

// Set before any test runs, and removed at the end.
class Registrado : public ::testing::Environment {
public:
    void SetUp() override { Base(); }
    void TearDown() override { std::filesystem::remove_all(base); }
};
[[maybe_unused]] auto* registrado = ::testing::AddGlobalTestEnvironment(new Registrado);
}  // namespace

const std::string& DiretorioC() {
    static std::string c = Base() + "/c";
    return c;
}

const std::string& Registro() {
    static std::string r = Base() + "/registry";
    return r;
}

std::string LeArquivo(const std::string& caminho) {
    std::ifstream f(caminho, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

std::string ArquivoLogHoje() {
    static const char* const dias[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    time_t agora = time(nullptr);
    tm local{};
    localtime_r(&agora, &local);
    return DiretorioC() + "/" + dias[local.tm_wday] + ".log";
}

void Limpa() {
    for (const std::string& d : {DiretorioC(), Registro()}) {
        std::filesystem::remove_all(d);
        std::filesystem::create_directories(d);
    }
}
}  // namespace ambiente
