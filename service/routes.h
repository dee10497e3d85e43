// The service's routes, one line each: the one list the router checks a
// request against before it dispatches, and the one that vltxd --routes
// prints (the API reference is checked against it).
#pragma once

#include <string>
#include <vector>

namespace vltxd {

struct Route {
    const char* Method;
    const char* Path;  // "/printers/{id}/receipt": a {name} matches any one segment
    bool Open;         // served without the token (the console's files hold no data)
};

const std::vector<Route>& Routes();

enum class RouteMatch { Found, NoPath, WrongMethod };
RouteMatch MatchRoute(const std::string& method, const std::vector<std::string>& parts);
// A route that needs no token.
bool OpenRoute(const std::string& method, const std::vector<std::string>& parts);

}  // namespace vltxd
