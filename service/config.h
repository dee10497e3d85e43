// vltxd's configuration: one TOML file. Every mistake in it stops the
// start with the file, the line and the reason.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

namespace vltxd {

// What the printer's status byte means. The byte is the printer's own (its
// manual says what each value means), not the driver's: the default is the
// simulator's documented one.
struct StatusProfile {
    std::set<int> Done{0};    // the step was carried out
    std::set<int> Busy{10};   // still printing a report
    int ReportAccepted = 33;  // the answer to report type 1 once the wait is over
    std::map<int, std::string> Meanings{{0, "done"},
                                        {1, "unknown command code"},
                                        {2, "CMC-7 line follows"},
                                        {10, "busy printing a report"},
                                        {33, "report accepted"}};
};

struct PrinterConfig {
    std::string Id;
    std::string Port;  // a device path, socket://HOST:PORT or rfc2217://HOST:PORT
    bool Log = false;
    StatusProfile Profile;
};

struct Config {
    std::string File;
    std::string ListenHost = "127.0.0.1";
    int ListenPort = 8461;
    std::string StateDir = "/var/lib/vltxd";
    std::string Library;  // empty: found beside the program or on the loader's path
    std::string Token;    // required when ListenHost is not loopback
    std::vector<std::string> CorsOrigins;
    int JournalDays = 30;
    std::size_t MaxBody = 1 << 20;
    int MaxConnections = 2000;
    int ReadTimeoutMs = 10000;  // a whole request, from its first byte
    int IdleTimeoutMs = 5000;   // a kept-alive connection with no request
    int HandlerThreads = 256;  // at most
    int RestartMinMs = 500;    // a dead worker's first restart
    int RestartMaxMs = 30000;  // the longest wait between restarts
    int ReopenMs = 2000;       // between attempts to open a port that does not open
    std::vector<PrinterConfig> Printers;

    const PrinterConfig* Printer(const std::string& id) const;
};

bool IsLoopback(const std::string& host);
// Reads and checks the file; false with "FILE:LINE: reason" in error.
bool LoadConfig(const std::string& file, Config& config, std::string& error);

}  // namespace vltxd
