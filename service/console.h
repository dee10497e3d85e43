// The web console (its page at /, its script and style under /console/)
// and the few routes it needs beside the API: the last tasks, and a
// printer's diagnostic log of the day as vltx log --summary gives it.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "config.h"
#include "http.h"
#include "supervisor.h"

namespace vltxd {

struct ConsoleFile {
    const char* Name;
    const unsigned char* Data;
    std::size_t Size;
};
// The console's files, built into the program (console_files.cpp).
const std::vector<ConsoleFile>& ConsoleFiles();

// The console's own requests: a browser sends Origin on a POST even to its
// own origin. The origin is the service's own when it names the Host the
// request came to, and that Host is loopback or a token guards the service
// (a page of another name that a DNS answer pointed at 127.0.0.1 names its
// own host, not a loopback one, and has no token).
bool ConsoleOrigin(const Config& config, const HttpRequest& r);

// GET / and GET /console/FILE; false for any other path.
bool ServeConsole(const std::vector<std::string>& parts, HttpResponse& resp);

// GET /tasks, GET /printers/{id}/log and GET /printers/{id}/log/file; false
// for any other route.
bool ConsoleRoute(const Config& config, Supervisor& supervisor, const HttpRequest& r,
                  const std::vector<std::string>& parts, HttpResponse& resp);

// The day's log file of a printer for a weekday name ("Mon"; empty: today),
// as the driver names it; empty when the name is not a weekday.
std::string DayLogPath(const Config& config, const std::string& printer, const std::string& day);

}  // namespace vltxd
