#include "api.h"

#include <fstream>
#include <sstream>

#include "console.h"
#include "routes.h"

namespace vltxd {

using nlohmann::json;

namespace {

HttpResponse Error(int status, const std::string& error, const std::string& message, const std::string& field = {}) {
    HttpResponse r;
    r.Status = status;
    r.Body = ErrorJson(error, message, field);
    return r;
}

HttpResponse Ok(const json& j, int status = 200) {
    HttpResponse r;
    r.Status = status;
    r.Body = j.dump();
    return r;
}

std::vector<std::string> Split(const std::string& path) {
    std::vector<std::string> parts;
    std::string cur;
    for (char c : path) {
        if (c == '/') {
            if (!cur.empty()) parts.push_back(cur);
            cur.clear();
        } else {
            cur += c;
        }
    }
    if (!cur.empty()) parts.push_back(cur);
    return parts;
}

bool SameSecret(const std::string& given, const std::string& secret) {
    // Every byte of the secret is looked at whatever the given text holds:
    // the time says nothing of how much of it was right.
    unsigned char diff = given.size() == secret.size() ? 0 : 1;
    for (std::size_t i = 0; i < secret.size(); ++i)
        diff |= static_cast<unsigned char>((i < given.size() ? given[i] : 0) ^ secret[i]);
    return diff == 0 && !secret.empty();
}

bool ValidKey(const std::string& k) {
    if (k.empty() || k.size() > 255) return false;
    for (unsigned char c : k)
        if (c < 0x21 || c > 0x7e) return false;
    return true;
}

}  // namespace

std::string ErrorJson(const std::string& error, const std::string& message, const std::string& field) {
    json j = {{"ok", false}, {"error", error}, {"message", message}};
    if (!field.empty()) j["field"] = field;
    return j.dump();
}

bool Api::Authorized(const HttpRequest& r) const {
    if (config_.Token.empty()) return true;
    const std::string h = r.Header("authorization");
    if (h.rfind("Bearer ", 0) == 0 && SameSecret(h.substr(7), config_.Token)) return true;
    // EventSource cannot send a header: the events stream takes the token in its query.
    return r.Path == "/events" && SameSecret(r.Param("access_token"), config_.Token);
}

HttpResponse Api::Handle(const HttpRequest& r) {
    const std::string origin = r.Header("origin");
    bool allowed = origin.empty() || ConsoleOrigin(config_, r);
    for (const std::string& o : config_.CorsOrigins) allowed = allowed || o == origin;
    const std::vector<std::string> parts = Split(r.Path);
    HttpResponse resp;
    if (!allowed) {
        // A page from another origin must not print: refused whatever it asks.
        resp = Error(403, "origin_not_allowed", "the origin " + origin + " is not in cors_origins");
    } else if (r.Method == "OPTIONS") {
        resp.Status = 204;
        resp.ContentType = "text/plain";
        resp.Headers = {{"Access-Control-Allow-Methods", "GET, POST, OPTIONS"},
                        {"Access-Control-Allow-Headers", "Content-Type, Authorization, Idempotency-Key"},
                        {"Access-Control-Max-Age", "600"}};
    } else if (OpenRoute(r.Method, parts)) {
        ServeConsole(parts, resp);
    } else if (!Authorized(r)) {
        resp = Error(401, "unauthorized", "a valid \"Authorization: Bearer TOKEN\" header is required");
        resp.Headers.push_back({"WWW-Authenticate", "Bearer"});
    } else {
        resp = Route(r, parts);
    }
    if (!origin.empty() && allowed) {
        resp.Headers.push_back({"Access-Control-Allow-Origin", origin});
        resp.Headers.push_back({"Vary", "Origin"});
    }
    return resp;
}

HttpResponse Api::Route(const HttpRequest& r, const std::vector<std::string>& p) {
    // The route table decides what exists; the console's routes are served beside.
    const RouteMatch m = MatchRoute(r.Method, p);
    if (m == RouteMatch::NoPath) return Error(404, "not_found", "no such resource");
    if (m == RouteMatch::WrongMethod) return Error(405, "method_not_allowed", r.Method + " is not allowed here");
    if (HttpResponse c; ConsoleRoute(config_, supervisor_, r, p, c)) return c;
    const bool get = r.Method == "GET", post = r.Method == "POST";
    if (p.size() == 1 && p[0] == "events") {
        if (!get) return Error(405, "method_not_allowed", "GET only");
        HttpResponse s;
        s.EventStream = true;
        s.Body = ": vltxd events\n\n";
        return s;
    }
    if (!p.empty() && p[0] == "printers") {
        if (p.size() == 1) {
            if (!get) return Error(405, "method_not_allowed", "GET only");
            json all = json::array();
            for (const PrinterConfig& c : config_.Printers) all.push_back(supervisor_.PrinterJson(c.Id));
            return Ok({{"ok", true}, {"printers", all}});
        }
        const PrinterConfig* printer = config_.Printer(p[1]);
        if (printer == nullptr) return Error(404, "printer_not_found", "no printer " + p[1] + " is configured");
        if (p.size() == 2) {
            if (!get) return Error(405, "method_not_allowed", "GET only");
            json j = supervisor_.PrinterJson(p[1]);
            j["ok"] = true;
            return Ok(j);
        }
        if (p.size() == 3 && p[2] == "status") {
            if (!get) return Error(405, "method_not_allowed", "GET only");
            std::string reason;
            const int s = supervisor_.Status(p[1], 30000, reason);
            if (s < 0) return Error(503, "printer_unavailable", reason);
            const StatusProfile& prof = printer->Profile;
            auto it = prof.Meanings.find(s);
            const char* d = CodeMeaning(s);
            json j = {{"ok", true},
                      {"printer", p[1]},
                      {"status", s},
                      {"done", prof.Done.count(s) > 0},
                      {"busy", prof.Busy.count(s) > 0},
                      {"meaning", it != prof.Meanings.end() ? it->second
                                                             : (d ? d : "not in the printer's status profile")}};
            if (d != nullptr && s != 33) j["driver_meaning"] = d;
            return Ok(j);
        }
        const bool call = p.size() == 4 && p[2] == "call";
        if ((p.size() == 3 && (p[2] == "receipt" || p[2] == "report" || p[2] == "readout" || p[2] == "cmc7")) || call) {
            if (!post) return Error(405, "method_not_allowed", "POST only");
            return Post(r, p[1], p[2], call ? p[3] : std::string());
        }
        return Error(404, "not_found", "no such resource");
    }
    if (p.size() >= 2 && p.size() <= 3 && p[0] == "tasks") {
        if (!get) return Error(405, "method_not_allowed", "GET only");
        if (!ValidTaskId(p[1])) return Error(404, "task_not_found", "no task " + p[1]);
        if (p.size() == 2) {
            json j = supervisor_.TaskJson(p[1]);
            if (j.is_null()) return Error(404, "task_not_found", "no task " + p[1]);
            return Ok(j);
        }
        if (p[2] != "file") return Error(404, "not_found", "no such resource");
        const std::string file = supervisor_.TaskFile(p[1]);
        if (file.empty()) return Error(404, "file_not_found", "task " + p[1] + " has no finished file");
        std::ifstream f(file, std::ios::binary);
        if (!f) return Error(404, "file_not_found", "the file of task " + p[1] + " is gone");
        std::ostringstream s;
        s << f.rdbuf();
        HttpResponse resp;
        resp.Body = s.str();
        resp.ContentType = "application/octet-stream";
        resp.Headers.push_back({"Content-Disposition", "attachment; filename=\"" + p[1] + ".txt\""});
        return resp;
    }
    return Error(404, "not_found", "no such resource");
}

HttpResponse Api::Post(const HttpRequest& r, const std::string& printer, const std::string& what,
                       const std::string& exportName) {
    const std::string ct = r.Header("content-type");
    if (ct.rfind("application/json", 0) != 0)
        return Error(415, "unsupported_media_type", "the body must be application/json");
    const std::string key = r.Header("idempotency-key");
    if (!ValidKey(key))
        return Error(400, "idempotency_key_required",
                     "every POST needs an Idempotency-Key header of 1 to 255 visible ASCII characters");
    int waitMs = 30000;
    const std::string w = r.Param("wait", "30000");
    if (w.empty() || w.size() > 6 || w.find_first_not_of("0123456789") != std::string::npos)
        return Error(400, "bad_request", "wait must be milliseconds, 0 to 600000", "wait");
    waitMs = std::stoi(w);
    if (waitMs > 600000) return Error(400, "bad_request", "wait must be milliseconds, 0 to 600000", "wait");
    json body;
    std::string why;
    if (!ParseBody(r.Body, body, why)) return Error(400, "invalid_json", why);

    Plan plan;
    Invalid fault;
    bool ok = false;
    if (what == "receipt") ok = ValidateReceipt(body, plan, fault);
    else if (what == "report") ok = ValidateReport(body, plan, fault);
    else if (what == "readout") ok = ValidateReadout(body, plan, fault);
    else if (what == "cmc7") ok = ValidateCmc7(body, plan, fault);
    else {
        if (FindExport(exportName) == nullptr)
            return Error(404, "unknown_export", "the library has no export " + exportName, "export");
        ok = ValidateCall(exportName, body, plan, fault);
    }
    if (!ok) return Error(422, "validation_failed", fault.Field + ": " + fault.Rule, fault.Field);

    const std::string canonical = body.dump();
    const Supervisor::Submitted s = supervisor_.Submit(printer, key, BodyHash(r.Path, canonical), canonical, plan);
    switch (s.R) {
        case Supervisor::Submitted::Conflict: {
            HttpResponse e = Error(409, "idempotency_conflict", s.Message, "Idempotency-Key");
            return e;
        }
        case Supervisor::Submitted::Full: return Error(503, "journal_unavailable", s.Message);
        case Supervisor::Submitted::Failed: return Error(500, "journal_unavailable", s.Message);
        case Supervisor::Submitted::Unavailable: return Error(503, "printer_unavailable", s.Message);
        case Supervisor::Submitted::Repeat: return TaskAnswer(s.Task, waitMs, true);
        case Supervisor::Submitted::Queued: break;
    }
    return TaskAnswer(s.Task, waitMs, false);
}

HttpResponse Api::TaskAnswer(const std::string& task, int waitMs, bool repeat) {
    const bool ended = supervisor_.WaitEnd(task, waitMs);
    json j = supervisor_.TaskJson(task);
    if (j.is_null()) return Error(404, "task_not_found", "no task " + task);
    j["repeat"] = repeat;
    HttpResponse resp;
    if (repeat) resp.Headers.push_back({"Idempotent-Replayed", "true"});
    resp.Headers.push_back({"Location", "/tasks/" + task});
    const std::string state = j.value("state", "");
    if (!ended) {
        resp.Status = 202;
    } else if (state == "failed") {
        resp.Status = 502;
        j["error"] = "task_failed";
        const json& o = j["outcome"];
        j["message"] = o.contains("export") ? "step " + std::to_string(o.value("failed_step", 0)) + " (" +
                                                  o.value("export", "") + ") answered " +
                                                  std::to_string(o.value("code", 0)) + ": " + o.value("meaning", "")
                                            : o.value("message", std::string("the task failed"));
    } else if (state == "interrupted") {
        resp.Status = 503;
        j["error"] = "task_interrupted";
        j["message"] = "the task was interrupted; the steps listed went out and it is never run again";
    }
    resp.Body = j.dump();
    return resp;
}

}  // namespace vltxd
