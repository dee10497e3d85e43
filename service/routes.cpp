#include "routes.h"

namespace vltxd {

const std::vector<Route>& Routes() {
    static const std::vector<Route> table = {
        {"GET", "/", true},
        {"GET", "/console/{file}", true},
        {"GET", "/events", false},
        {"GET", "/printers", false},
        {"GET", "/printers/{id}", false},
        {"GET", "/printers/{id}/status", false},
        {"GET", "/printers/{id}/log", false},
        {"GET", "/printers/{id}/log/file", false},
        {"POST", "/printers/{id}/receipt", false},
        {"POST", "/printers/{id}/report", false},
        {"POST", "/printers/{id}/readout", false},
        {"POST", "/printers/{id}/cmc7", false},
        {"POST", "/printers/{id}/call/{export}", false},
        {"GET", "/tasks", false},
        {"GET", "/tasks/{id}", false},
        {"GET", "/tasks/{id}/file", false},
    };
    return table;
}

namespace {

bool Matches(const char* pattern, const std::vector<std::string>& parts) {
    std::size_t i = 0;
    const std::string p = pattern;
    std::size_t at = 1;  // past the leading '/'
    while (at < p.size()) {
        std::size_t end = p.find('/', at);
        if (end == std::string::npos) end = p.size();
        const std::string seg = p.substr(at, end - at);
        if (i >= parts.size()) return false;
        if (seg.front() != '{' && seg != parts[i]) return false;
        ++i;
        at = end + 1;
    }
    return i == parts.size();
}

}  // namespace

RouteMatch MatchRoute(const std::string& method, const std::vector<std::string>& parts) {
    RouteMatch m = RouteMatch::NoPath;
    for (const Route& r : Routes()) {
        if (!Matches(r.Path, parts)) continue;
        if (method == r.Method) return RouteMatch::Found;
        m = RouteMatch::WrongMethod;
    }
    return m;
}

bool OpenRoute(const std::string& method, const std::vector<std::string>& parts) {
    for (const Route& r : Routes())
        if (r.Open && method == r.Method && Matches(r.Path, parts)) return true;
    return false;
}

}  // namespace vltxd
