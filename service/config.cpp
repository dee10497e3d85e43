#include "config.h"

#include <toml++/toml.h>

#include <cerrno>
#include <cstdio>
#include <cstring>


namespace vltxd {

const PrinterConfig* Config::Printer(const std::string& id) const {
    for (const PrinterConfig& p : Printers)
        if (p.Id == id) return &p;
    return nullptr;
}

bool IsLoopback(const std::string& host) {
    return host == "127.0.0.1" || host == "::1" || host == "localhost" || host.rfind("127.", 0) == 0;
}

namespace {

struct Fault {
    std::string Text;
};

std::string Where(const std::string& file, const toml::node& n) {
    return file + ":" + std::to_string(n.source().begin.line);
}

[[noreturn]] void Fail(const std::string& file, const toml::node& n, const std::string& reason) {
    throw Fault{Where(file, n) + ": " + reason};
}

template <class T>
T Get(const std::string& file, const toml::node& n, const char* what) {
    std::optional<T> v = n.value_exact<T>();
    if constexpr (std::is_same_v<T, std::int64_t>) {
        if (!v) Fail(file, n, std::string(what) + " must be an integer");
    } else if constexpr (std::is_same_v<T, bool>) {
        if (!v) Fail(file, n, std::string(what) + " must be true or false");
    } else {
        if (!v) Fail(file, n, std::string(what) + " must be a string");
    }
    return *v;
}

int Int(const std::string& file, const toml::node& n, const char* what, std::int64_t min, std::int64_t max) {
    std::int64_t v = Get<std::int64_t>(file, n, what);
    if (v < min || v > max)
        Fail(file, n, std::string(what) + " must be from " + std::to_string(min) + " to " + std::to_string(max));
    return static_cast<int>(v);
}

std::set<int> Bytes(const std::string& file, const toml::node& n, const char* what) {
    const toml::array* a = n.as_array();
    if (a == nullptr) Fail(file, n, std::string(what) + " must be a list of status bytes");
    std::set<int> s;
    for (const toml::node& e : *a) s.insert(Int(file, e, what, 0, 255));
    return s;
}

void ReadProfile(const std::string& file, const toml::table& t, StatusProfile& p) {
    for (auto&& [k, v] : t) {
        const std::string key(k.str());
        if (key == "done") p.Done = Bytes(file, v, "status.done");
        else if (key == "busy") p.Busy = Bytes(file, v, "status.busy");
        else if (key == "report_accepted") p.ReportAccepted = Int(file, v, "status.report_accepted", 0, 255);
        else if (key == "meaning") {
            const toml::table* m = v.as_table();
            if (m == nullptr) Fail(file, v, "status.meaning must be a table of \"BYTE\" = \"text\"");
            p.Meanings.clear();
            for (auto&& [b, text] : *m) {
                const std::string bs(b.str());
                if (bs.empty() || bs.size() > 3 || bs.find_first_not_of("0123456789") != std::string::npos ||
                    std::stoi(bs) > 255)
                    Fail(file, text, "status.meaning keys are status bytes, 0 to 255");
                p.Meanings[std::stoi(bs)] = Get<std::string>(file, text, "a meaning");
            }
        } else Fail(file, v, "unknown key status." + key);
    }
    for (int b : p.Done)
        if (p.Busy.count(b)) Fail(file, t, "status byte " + std::to_string(b) + " cannot be both done and busy");
}

PrinterConfig ReadPrinter(const std::string& file, const toml::table& t) {
    PrinterConfig p;
    for (auto&& [k, v] : t) {
        const std::string key(k.str());
        if (key == "id") {
            p.Id = Get<std::string>(file, v, "id");
            if (p.Id.empty() || p.Id.size() > 32 ||
                p.Id.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789_-") !=
                    std::string::npos)
                Fail(file, v, "id must be 1 to 32 letters, digits, '-' or '_'");
        } else if (key == "port") {
            p.Port = Get<std::string>(file, v, "port");
            if (p.Port.empty()) Fail(file, v, "port must not be empty");
        } else if (key == "log") {
            p.Log = Get<bool>(file, v, "log");
        } else if (key == "status") {
            const toml::table* s = v.as_table();
            if (s == nullptr) Fail(file, v, "status must be a table");
            ReadProfile(file, *s, p.Profile);
        } else {
            Fail(file, v, "unknown key printer." + key);
        }
    }
    if (p.Id.empty()) Fail(file, t, "a printer needs an id");
    if (p.Port.empty()) Fail(file, t, "printer " + p.Id + " needs a port");
    return p;
}

void ReadListen(const std::string& file, const toml::node& n, Config& c) {
    const std::string s = Get<std::string>(file, n, "listen");
    const std::size_t colon = s.rfind(':');
    std::string host = colon == std::string::npos ? std::string() : s.substr(0, colon);
    const std::string port = colon == std::string::npos ? std::string() : s.substr(colon + 1);
    if (host.size() > 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
    if (host.empty() || port.empty() || port.size() > 5 || port.find_first_not_of("0123456789") != std::string::npos ||
        host.find_first_not_of("0123456789ABCDEFabcdefghijklmnopqrstuvwxyzGHIJKLMNOPQRSTUVWXYZ.:-") != std::string::npos)
        Fail(file, n, "listen must be HOST:PORT");
    c.ListenHost = host;
    c.ListenPort = std::stoi(port);
    if (c.ListenPort > 65535) Fail(file, n, "listen: the port must be 0 to 65535");
}

void Read(const std::string& file, const toml::table& root, Config& c) {
    const toml::node* tokenNode = nullptr;
    for (auto&& [k, v] : root) {
        const std::string key(k.str());
        if (key == "listen") ReadListen(file, v, c);
        else if (key == "state_dir") c.StateDir = Get<std::string>(file, v, "state_dir");
        else if (key == "library") c.Library = Get<std::string>(file, v, "library");
        else if (key == "token") {
            c.Token = Get<std::string>(file, v, "token");
            tokenNode = &v;
        } else if (key == "cors_origins") {
            const toml::array* a = v.as_array();
            if (a == nullptr) Fail(file, v, "cors_origins must be a list of origins");
            for (const toml::node& o : *a) c.CorsOrigins.push_back(Get<std::string>(file, o, "an origin"));
        } else if (key == "journal_days") c.JournalDays = Int(file, v, "journal_days", 1, 3650);
        else if (key == "max_body") c.MaxBody = static_cast<std::size_t>(Int(file, v, "max_body", 1024, 64 << 20));
        else if (key == "max_connections") c.MaxConnections = Int(file, v, "max_connections", 1, 100000);
        else if (key == "read_timeout_ms") c.ReadTimeoutMs = Int(file, v, "read_timeout_ms", 100, 600000);
        else if (key == "idle_timeout_ms") c.IdleTimeoutMs = Int(file, v, "idle_timeout_ms", 100, 600000);
        else if (key == "handler_threads") c.HandlerThreads = Int(file, v, "handler_threads", 2, 1024);
        else if (key == "restart_min_ms") c.RestartMinMs = Int(file, v, "restart_min_ms", 10, 600000);
        else if (key == "restart_max_ms") c.RestartMaxMs = Int(file, v, "restart_max_ms", 10, 3600000);
        else if (key == "reopen_ms") c.ReopenMs = Int(file, v, "reopen_ms", 10, 600000);
        else if (key == "printer") {
            const toml::array* a = v.as_array();
            if (a == nullptr) Fail(file, v, "printer must be an array of tables: [[printer]]");
            for (const toml::node& e : *a) {
                const toml::table* t = e.as_table();
                if (t == nullptr) Fail(file, e, "printer must be an array of tables: [[printer]]");
                PrinterConfig p = ReadPrinter(file, *t);
                if (c.Printer(p.Id) != nullptr) Fail(file, e, "printer " + p.Id + " is configured twice");
                c.Printers.push_back(std::move(p));
            }
        } else Fail(file, v, "unknown key " + key);
    }
    if (c.StateDir.empty() || c.StateDir[0] != '/') Fail(file, root, "state_dir must be an absolute path");
    if (c.Printers.empty()) Fail(file, root, "no [[printer]] is configured");
    if (!IsLoopback(c.ListenHost) && c.Token.size() < 16)
        Fail(file, tokenNode ? *tokenNode : static_cast<const toml::node&>(root),
             "listening on " + c.ListenHost + " needs a token of 16 characters or more");
    if (c.RestartMaxMs < c.RestartMinMs) Fail(file, root, "restart_max_ms is below restart_min_ms");
}

}  // namespace

bool LoadConfig(const std::string& file, Config& config, std::string& error) {
    config = Config{};
    config.File = file;
    if (FILE* f = std::fopen(file.c_str(), "r")) {
        std::fclose(f);
    } else {
        error = file + ": " + std::strerror(errno);
        return false;
    }
    try {
        toml::table root = toml::parse_file(file);
        Read(file, root, config);
        return true;
    } catch (const toml::parse_error& e) {
        error = file + ":" + std::to_string(e.source().begin.line) + ": " + std::string(e.description());
    } catch (const Fault& f) {
        error = f.Text;
    }
    return false;
}

}  // namespace vltxd
