#include "console.h"

#include <sqlite3.h>

#include <ctime>
#include <fstream>
#include <sstream>

#include "api.h"
#include "vltx/decodifica_log.h"

namespace vltxd {

using nlohmann::json;

namespace {

const char* const Weekdays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};

HttpResponse Fail(int status, const std::string& error, const std::string& message, const std::string& field = {}) {
    HttpResponse r;
    r.Status = status;
    r.Body = ErrorJson(error, message, field);
    return r;
}

std::string TypeOf(const std::string& name) {
    auto ends = [&name](const char* s) {
        const std::string e = s;
        return name.size() >= e.size() && name.compare(name.size() - e.size(), e.size(), e) == 0;
    };
    if (ends(".html")) return "text/html; charset=utf-8";
    if (ends(".js")) return "text/javascript; charset=utf-8";
    if (ends(".css")) return "text/css; charset=utf-8";
    return "application/octet-stream";
}

std::string Today() {
    const std::time_t t = std::time(nullptr);
    std::tm local{};
    localtime_r(&t, &local);
    return Weekdays[local.tm_wday];
}

// The ids of the newest tasks, from the journal opened read-only: the
// supervisor's connection stays its own.
bool LastTaskIds(const std::string& journal, const std::string& printer, int limit, std::vector<std::string>& ids,
                 std::string& error) {
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(journal.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        error = db ? sqlite3_errmsg(db) : "cannot open the journal";
        sqlite3_close(db);
        return false;
    }
    sqlite3_busy_timeout(db, 2000);
    sqlite3_stmt* s = nullptr;
    const char* sql = printer.empty()
                          ? "SELECT id FROM tasks ORDER BY created DESC, rowid DESC LIMIT ?1"
                          : "SELECT id FROM tasks WHERE printer = ?2 ORDER BY created DESC, rowid DESC LIMIT ?1";
    bool ok = sqlite3_prepare_v2(db, sql, -1, &s, nullptr) == SQLITE_OK;
    if (ok) {
        sqlite3_bind_int(s, 1, limit);
        if (!printer.empty()) sqlite3_bind_text(s, 2, printer.c_str(), -1, SQLITE_TRANSIENT);
        int rc;
        while ((rc = sqlite3_step(s)) == SQLITE_ROW)
            ids.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(s, 0)));
        ok = rc == SQLITE_DONE;
    }
    if (!ok) error = sqlite3_errmsg(db);
    sqlite3_finalize(s);
    sqlite3_close(db);
    return ok;
}

HttpResponse LastTasks(const Config& config, Supervisor& supervisor, const HttpRequest& r) {
    const std::string printer = r.Param("printer");
    if (!printer.empty() && config.Printer(printer) == nullptr)
        return Fail(404, "printer_not_found", "no printer " + printer + " is configured", "printer");
    const std::string l = r.Param("limit", "20");
    if (l.empty() || l.size() > 3 || l.find_first_not_of("0123456789") != std::string::npos || std::stoi(l) < 1 ||
        std::stoi(l) > 100)
        return Fail(400, "bad_request", "limit must be a number of tasks, 1 to 100", "limit");
    std::vector<std::string> ids;
    std::string error;
    if (!LastTaskIds(config.StateDir + "/journal.sqlite", printer, std::stoi(l), ids, error))
        return Fail(503, "journal_unavailable", error);
    json tasks = json::array();
    for (const std::string& id : ids) {
        json t = supervisor.TaskJson(id);
        if (!t.is_null()) tasks.push_back(t);  // pruned meanwhile
    }
    HttpResponse resp;
    resp.Body = json{{"ok", true}, {"tasks", tasks}}.dump();
    return resp;
}

bool ReadFile(const std::string& path, std::string& bytes) {
    std::ifstream f(path, std::ios::binary);
    if (!f) return false;
    std::ostringstream s;
    s << f.rdbuf();
    bytes = s.str();
    return true;
}

HttpResponse DayLog(const Config& config, const PrinterConfig& printer, const HttpRequest& r, bool file) {
    const std::string day = r.Param("day").empty() ? Today() : r.Param("day");
    const std::string path = DayLogPath(config, printer.Id, day);
    if (path.empty()) return Fail(400, "bad_request", "day must be a weekday: Sun, Mon, Tue, Wed, Thu, Fri or Sat", "day");
    std::string bytes;
    if (!ReadFile(path, bytes))
        return Fail(404, "log_not_found",
                    "printer " + printer.Id + " has no log for " + day +
                        (printer.Log ? "" : " (its log switch is off in the configuration)"));
    HttpResponse resp;
    if (file) {
        resp.Body = bytes;
        resp.ContentType = "text/plain; charset=us-ascii";
        resp.Headers.push_back({"Content-Disposition", "attachment; filename=\"" + printer.Id + "-" + day + ".log\""});
        return resp;
    }
    resp.Body = json{{"ok", true}, {"printer", printer.Id}, {"day", day}, {"bytes", bytes.size()},
                     {"summary", ResumoDoLog(bytes)}}
                    .dump(-1, ' ', false, json::error_handler_t::replace);
    return resp;
}

}  // namespace

std::string DayLogPath(const Config& config, const std::string& printer, const std::string& day) {
    const std::string d = day.empty() ? Today() : day;
    for (const char* w : Weekdays)
        if (d == w) return config.StateDir + "/printers/" + printer + "/c/" + d + ".log";
    return {};
}

bool ConsoleOrigin(const Config& config, const HttpRequest& r) {
    const std::string host = r.Header("host");
    if (host.empty() || r.Header("origin") != "http://" + host) return false;
    if (!config.Token.empty()) return true;
    const std::size_t colon = host.rfind(':');
    const std::string name = colon != std::string::npos && host.back() != ']' ? host.substr(0, colon) : host;
    // An address, not a name: "127.evil.example" is somebody's host.
    const bool v4 = name.rfind("127.", 0) == 0 && name.find_first_not_of("0123456789.") == std::string::npos;
    return name == "localhost" || name == "[::1]" || v4;
}

bool ServeConsole(const std::vector<std::string>& parts, HttpResponse& resp) {
    std::string name;
    if (parts.empty()) name = "index.html";
    else if (parts.size() == 2 && parts[0] == "console") name = parts[1];
    else return false;
    for (const ConsoleFile& f : ConsoleFiles()) {
        if (name != f.Name) continue;
        resp = HttpResponse{};
        resp.Body.assign(reinterpret_cast<const char*>(f.Data), f.Size);
        resp.ContentType = TypeOf(name);
        // The page runs only its own script and style, and loads nothing from elsewhere.
        resp.Headers = {{"Content-Security-Policy",
                         "default-src 'self'; script-src 'self'; style-src 'self'; connect-src 'self'; "
                         "img-src 'self' data:; frame-ancestors 'none'; base-uri 'none'; form-action 'none'"},
                        {"X-Content-Type-Options", "nosniff"},
                        {"Cache-Control", "no-cache"}};
        return true;
    }
    resp = Fail(404, "not_found", "no console file " + name);
    return true;
}

bool ConsoleRoute(const Config& config, Supervisor& supervisor, const HttpRequest& r,
                  const std::vector<std::string>& p, HttpResponse& resp) {
    if (r.Method != "GET") return false;
    if (p.size() == 1 && p[0] == "tasks") {
        resp = LastTasks(config, supervisor, r);
        return true;
    }
    if ((p.size() == 3 || p.size() == 4) && p[0] == "printers" && p[2] == "log" && (p.size() == 3 || p[3] == "file")) {
        const PrinterConfig* printer = config.Printer(p[1]);
        resp = printer == nullptr ? Fail(404, "printer_not_found", "no printer " + p[1] + " is configured")
                                  : DayLog(config, *printer, r, p.size() == 4);
        return true;
    }
    return false;
}

}  // namespace vltxd
