// Where the library writes the day's log, found as the library finds it
// (VLTXDRV_DRIVE_C, then $XDG_STATE_HOME, $HOME and the passwd entry's home),
// for `vltx log` without a file, `vltx log --where`, and the warning when the
// log switch goes on where no log can be written.
#pragma once

#include <ctime>
#include <string>
#include <vector>

struct LugarDoLog {
    std::string Diretorio;               // empty when the library has none
    std::string Origem;                  // what named it: "VLTXDRV_DRIVE_C", "XDG_STATE_HOME", ...
    std::vector<std::string> Procurou;   // each place in the order the library looks, and what it found
};

LugarDoLog OndeFicaOLog();

// The day's file in dir: "Tue.log" for a Tuesday in local time.
std::string ArquivoDoDia(const std::string& diretorio, std::time_t quando);

// When the file was last written, "YYYY-MM-DD", if that was not the day of
// quando: the weekday's file of an earlier week, renewed on its next record.
// Empty when it is the day's, or cannot be read.
std::string EscritoEmOutroDia(const std::string& arquivo, std::time_t quando);

// Why no log file can be written there today; empty when one can.
std::vector<std::string> PorQueNaoGravaLog(const LugarDoLog& lugar, std::time_t quando);
