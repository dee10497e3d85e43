// The HTTP/JSON API over the supervisor: routes, authentication, CORS and
// the one shape of every error answer.
#pragma once

#include <string>

#include "config.h"
#include "http.h"
#include "supervisor.h"

namespace vltxd {

// {"ok": false, "error": CODE, "message": TEXT[, "field": FIELD]}
std::string ErrorJson(const std::string& error, const std::string& message, const std::string& field = {});

class Api {
public:
    Api(const Config& config, Supervisor& supervisor) : config_(config), supervisor_(supervisor) {}
    HttpResponse Handle(const HttpRequest& request);

private:
    HttpResponse Route(const HttpRequest& r, const std::vector<std::string>& parts);
    HttpResponse Post(const HttpRequest& r, const std::string& printer, const std::string& what,
                      const std::string& exportName);
    HttpResponse TaskAnswer(const std::string& task, int waitMs, bool repeat);
    bool Authorized(const HttpRequest& r) const;

    const Config& config_;
    Supervisor& supervisor_;
};

}  // namespace vltxd
