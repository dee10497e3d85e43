// Where the DLL writes the day's log on Windows: always c:\, the weekday's
// file ("c:\Tue.log"), with no variable to move it.
#include "vltx/lugar_do_log.h"

#include <sys/stat.h>

#include <cstdio>

LugarDoLog OndeFicaOLog() {
    return {"c:\\", "the DLL's fixed place on Windows", {"c:\\: the only place the DLL writes its log"}};
}

std::string ArquivoDoDia(const std::string& diretorio, std::time_t quando) {
    static const char* const Dias[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    const std::tm* local = std::localtime(&quando);
    return diretorio + Dias[(local != nullptr ? local->tm_wday : 0) % 7] + ".log";
}

std::string EscritoEmOutroDia(const std::string& arquivo, std::time_t quando) {
    struct _stat64 st {};
    if (_stat64(arquivo.c_str(), &st) != 0) return "";
    const std::time_t escritoEm = static_cast<std::time_t>(st.st_mtime);
    std::tm escrito = *std::localtime(&escritoEm);
    const std::tm hoje = *std::localtime(&quando);
    if (escrito.tm_year == hoje.tm_year && escrito.tm_yday == hoje.tm_yday) return "";
    char dia[16];
    std::strftime(dia, sizeof dia, "%Y-%m-%d", &escrito);
    return dia;
}

std::vector<std::string> PorQueNaoGravaLog(const LugarDoLog& lugar, std::time_t quando) {
    const std::string arquivo = ArquivoDoDia(lugar.Diretorio, quando);
    std::FILE* f = std::fopen(arquivo.c_str(), "ab");
    if (f != nullptr) {
        std::fclose(f);
        return {};
    }
    return {arquivo + ": cannot be opened for writing (c:\\ must be writable by the host's user)"};
}
