#include "http.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>

namespace vltxd {

namespace {

constexpr std::uint64_t ListenId = 0, WakeId = 1;
constexpr int MaxRequestsPerConnection = 1000;

std::int64_t NowMs() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<std::int64_t>(t.tv_sec) * 1000 + t.tv_nsec / 1000000;
}

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string Trim(const std::string& s) {
    std::size_t a = s.find_first_not_of(" \t"), b = s.find_last_not_of(" \t");
    return a == std::string::npos ? std::string() : s.substr(a, b - a + 1);
}

const char* Reason(int status) {
    switch (status) {
        case 100: return "Continue";
        case 200: return "OK";
        case 202: return "Accepted";
        case 204: return "No Content";
        case 400: return "Bad Request";
        case 401: return "Unauthorized";
        case 403: return "Forbidden";
        case 404: return "Not Found";
        case 405: return "Method Not Allowed";
        case 408: return "Request Timeout";
        case 409: return "Conflict";
        case 411: return "Length Required";
        case 413: return "Content Too Large";
        case 415: return "Unsupported Media Type";
        case 422: return "Unprocessable Content";
        case 431: return "Request Header Fields Too Large";
        case 500: return "Internal Server Error";
        case 501: return "Not Implemented";
        case 502: return "Bad Gateway";
        case 503: return "Service Unavailable";
        case 505: return "HTTP Version Not Supported";
        default: return "Status";
    }
}

int PercentValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string Decode(const std::string& s) {
    std::string r;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '%' && i + 2 < s.size() && PercentValue(s[i + 1]) >= 0 && PercentValue(s[i + 2]) >= 0) {
            r += static_cast<char>(PercentValue(s[i + 1]) * 16 + PercentValue(s[i + 2]));
            i += 2;
        } else {
            r += s[i] == '+' ? ' ' : s[i];
        }
    }
    return r;
}

}  // namespace

std::string HttpRequest::Header(const std::string& lowerName) const {
    auto it = Headers.find(lowerName);
    return it == Headers.end() ? std::string() : it->second;
}

std::string HttpRequest::Param(const std::string& name, const std::string& def) const {
    std::size_t i = 0;
    while (i <= Query.size()) {
        std::size_t amp = Query.find('&', i);
        if (amp == std::string::npos) amp = Query.size();
        const std::string part = Query.substr(i, amp - i);
        const std::size_t eq = part.find('=');
        if (Decode(part.substr(0, eq)) == name) return eq == std::string::npos ? std::string() : Decode(part.substr(eq + 1));
        i = amp + 1;
    }
    return def;
}

struct HttpServer::Conn {
    std::uint64_t Id = 0;
    int Fd = -1;
    enum State { Reading, Busy, Stream, Draining } St = Reading;
    std::string In, Out;
    std::size_t OutOff = 0;
    std::int64_t Deadline = 0;
    bool Started = false;     // a byte of the request under way has come
    bool HeadDone = false;
    bool Continued = false;   // "100 Continue" sent for this request
    std::size_t HeadEnd = 0, BodyLen = 0;
    bool CloseAfter = false;
    bool Refused = false;     // answered by the server itself: what follows is drained, not read
    bool KeepAlive = true;
    int Served = 0;
    std::uint32_t Events = 0;
    HttpRequest Req;
    std::string Remote;
};

HttpServer::HttpServer(HttpOptions options, Handler handler, ErrorBody errorBody)
    : opt_(options), handler_(std::move(handler)), errorBody_(std::move(errorBody)) {}

HttpServer::~HttpServer() {
    Stop();
    for (std::thread& t : pool_) t.join();
    for (auto& [id, c] : conns_) close(c->Fd);
    if (listen_ >= 0) close(listen_);
    if (epoll_ >= 0) close(epoll_);
    if (wake_ >= 0) close(wake_);
}

bool HttpServer::Listen(const std::string& host, int port, std::string& error) {
    addrinfo hints{}, *res = nullptr;
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    const std::string h = host == "localhost" ? "127.0.0.1" : host;
    if (int rc = getaddrinfo(h.c_str(), std::to_string(port).c_str(), &hints, &res); rc != 0) {
        error = "listen " + host + ": " + gai_strerror(rc);
        return false;
    }
    listen_ = socket(res->ai_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    int one = 1;
    setsockopt(listen_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    const bool ok = listen_ >= 0 && bind(listen_, res->ai_addr, res->ai_addrlen) == 0 && ::listen(listen_, 512) == 0;
    freeaddrinfo(res);
    if (!ok) {
        error = "listen " + host + ":" + std::to_string(port) + ": " + std::strerror(errno);
        return false;
    }
    sockaddr_storage a{};
    socklen_t n = sizeof a;
    getsockname(listen_, reinterpret_cast<sockaddr*>(&a), &n);
    port_ = ntohs(a.ss_family == AF_INET6 ? reinterpret_cast<sockaddr_in6*>(&a)->sin6_port
                                          : reinterpret_cast<sockaddr_in*>(&a)->sin_port);
    epoll_ = epoll_create1(EPOLL_CLOEXEC);
    wake_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    epoll_event ev{};
    ev.events = EPOLLIN;
    ev.data.u64 = ListenId;
    epoll_ctl(epoll_, EPOLL_CTL_ADD, listen_, &ev);
    ev.data.u64 = WakeId;
    epoll_ctl(epoll_, EPOLL_CTL_ADD, wake_, &ev);
    nextId_ = 2;
    for (int i = 0; i < std::min(opt_.Threads, 8); ++i) pool_.emplace_back([this] { Work(); });
    return true;
}

void HttpServer::Stop() {
    {
        std::lock_guard<std::mutex> g(mutex_);
        stop_ = true;
    }
    work_.notify_all();
    if (wake_ >= 0) {
        std::uint64_t one = 1;
        [[maybe_unused]] ssize_t r = write(wake_, &one, sizeof one);
    }
}

void HttpServer::Broadcast(const std::string& event) {
    {
        std::lock_guard<std::mutex> g(mutex_);
        events_.push_back("data: " + event + "\n\n");
    }
    std::uint64_t one = 1;
    [[maybe_unused]] ssize_t r = write(wake_, &one, sizeof one);
}

void HttpServer::Run() {
    // A spare descriptor, given up to accept and drop a connection when
    // the process has none left: the listening socket then stays quiet.
    int spare = open("/dev/null", O_RDONLY | O_CLOEXEC);
    epoll_event evs[256];
    while (!stop_) {
        std::int64_t now = NowMs(), next = LLONG_MAX;
        for (auto& [id, c] : conns_)
            if (c->Deadline > 0) next = std::min(next, c->Deadline);
        const int timeout = next == LLONG_MAX ? -1 : static_cast<int>(std::max<std::int64_t>(0, next - now) + 1);
        const int n = epoll_wait(epoll_, evs, 256, timeout);
        for (int i = 0; i < n; ++i) {
            const std::uint64_t id = evs[i].data.u64;
            if (id == ListenId) {
                const std::size_t before = conns_.size();
                Accept();
                if (conns_.size() == before && errno == EMFILE && spare >= 0) {
                    close(spare);
                    int fd = accept(listen_, nullptr, nullptr);
                    if (fd >= 0) close(fd);
                    spare = open("/dev/null", O_RDONLY | O_CLOEXEC);
                }
            } else if (id == WakeId) {
                std::uint64_t v;
                [[maybe_unused]] ssize_t r = read(wake_, &v, sizeof v);
                TakeDone();
            } else {
                auto it = conns_.find(id);
                if (it == conns_.end()) continue;
                Conn& c = *it->second;
                if (evs[i].events & (EPOLLIN | EPOLLHUP | EPOLLERR)) OnReadable(c);
                it = conns_.find(id);
                if (it != conns_.end() && (evs[i].events & EPOLLOUT)) OnWritable(*it->second);
            }
        }
        Expire(NowMs());
    }
    if (spare >= 0) close(spare);
}

void HttpServer::Accept() {
    for (;;) {
        sockaddr_storage a{};
        socklen_t len = sizeof a;
        errno = 0;
        int fd = accept4(listen_, reinterpret_cast<sockaddr*>(&a), &len, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) return;
        if (static_cast<int>(conns_.size()) >= opt_.MaxConnections) {
            close(fd);
            continue;
        }
        auto c = std::make_unique<Conn>();
        c->Id = nextId_++;
        c->Fd = fd;
        c->Deadline = NowMs() + opt_.IdleTimeoutMs;
        char ip[INET6_ADDRSTRLEN] = {};
        if (a.ss_family == AF_INET) inet_ntop(AF_INET, &reinterpret_cast<sockaddr_in*>(&a)->sin_addr, ip, sizeof ip);
        else inet_ntop(AF_INET6, &reinterpret_cast<sockaddr_in6*>(&a)->sin6_addr, ip, sizeof ip);
        c->Remote = ip;
        epoll_event ev{};
        ev.events = EPOLLIN;
        ev.data.u64 = c->Id;
        epoll_ctl(epoll_, EPOLL_CTL_ADD, fd, &ev);
        c->Events = EPOLLIN;
        conns_.emplace(c->Id, std::move(c));
        ++connections_;
    }
}

void HttpServer::Watch(Conn& c) {
    std::uint32_t want = 0;
    if (c.St != Conn::Busy) want |= EPOLLIN;
    if (c.OutOff < c.Out.size()) want |= EPOLLOUT;
    if (want == c.Events) return;
    epoll_event ev{};
    ev.events = want;
    ev.data.u64 = c.Id;
    epoll_ctl(epoll_, EPOLL_CTL_MOD, c.Fd, &ev);
    c.Events = want;
}

void HttpServer::CloseConn(std::uint64_t id) {
    auto it = conns_.find(id);
    if (it == conns_.end()) return;
    epoll_ctl(epoll_, EPOLL_CTL_DEL, it->second->Fd, nullptr);
    close(it->second->Fd);
    conns_.erase(it);
    --connections_;
}

void HttpServer::OnReadable(Conn& c) {
    char buf[16384];
    for (;;) {
        const ssize_t n = recv(c.Fd, buf, sizeof buf, 0);
        if (n > 0) {
            if (c.St == Conn::Stream || c.St == Conn::Draining) continue;  // read, not kept
            c.In.append(buf, static_cast<std::size_t>(n));
            if (c.In.size() > opt_.MaxHeader + opt_.MaxBody + 1) break;
            continue;
        }
        if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
            CloseConn(c.Id);
            return;
        }
        if (errno == EAGAIN) break;
    }
    if (c.St == Conn::Reading) Dispatch(c);
}

// Parses what has come; hands a complete request to the pool.
void HttpServer::Dispatch(Conn& c) {
    if (c.In.empty() || c.St != Conn::Reading || c.OutOff < c.Out.size()) return;
    if (!c.Started) {
        c.Started = true;
        c.Deadline = NowMs() + opt_.ReadTimeoutMs;
    }
    if (!c.HeadDone && !ParseHead(c)) return;
    if (!c.HeadDone) return;
    if (c.In.size() - c.HeadEnd < c.BodyLen) {
        if (!c.Continued && Lower(c.Req.Header("expect")) == "100-continue") {
            c.Continued = true;
            Queue(c, "HTTP/1.1 100 Continue\r\n\r\n", false);
        }
        return;
    }
    c.Req.Body = c.In.substr(c.HeadEnd, c.BodyLen);
    c.In.erase(0, c.HeadEnd + c.BodyLen);
    c.St = Conn::Busy;
    c.Deadline = 0;
    ++c.Served;
    c.CloseAfter = !c.KeepAlive || c.Served >= MaxRequestsPerConnection;
    HttpRequest req = std::move(c.Req);
    req.Remote = c.Remote;
    req.Close = c.CloseAfter;
    c.Req = HttpRequest{};
    c.HeadDone = c.Started = c.Continued = false;
    Watch(c);
    bool grow;
    {
        std::lock_guard<std::mutex> g(mutex_);
        pending_.emplace_back(c.Id, std::move(req));
        grow = static_cast<int>(pending_.size()) > idle_ && static_cast<int>(pool_.size()) < opt_.Threads;
    }
    // Requests that wait for their task hold their thread: another one
    // serves this request, up to the limit.
    if (grow) pool_.emplace_back([this] { Work(); });
    work_.notify_one();
}

// False when the request was answered (an error) or is incomplete.
bool HttpServer::ParseHead(Conn& c) {
    const std::size_t end = c.In.find("\r\n\r\n");
    if (end == std::string::npos) {
        if (c.In.size() > opt_.MaxHeader) Reply(c, 431, "headers_too_large", "the request's headers are too large");
        return false;
    }
    if (end > opt_.MaxHeader) {
        Reply(c, 431, "headers_too_large", "the request's headers are too large");
        return false;
    }
    HttpRequest& r = c.Req;
    std::size_t pos = c.In.find("\r\n");
    const std::string line = c.In.substr(0, pos);
    const std::size_t s1 = line.find(' '), s2 = line.rfind(' ');
    if (s1 == std::string::npos || s2 == s1) {
        Reply(c, 400, "bad_request", "malformed request line");
        return false;
    }
    r.Method = line.substr(0, s1);
    r.Target = line.substr(s1 + 1, s2 - s1 - 1);
    const std::string version = line.substr(s2 + 1);
    if (version != "HTTP/1.1" && version != "HTTP/1.0") {
        Reply(c, 505, "bad_request", "HTTP/1.0 and HTTP/1.1 only");
        return false;
    }
    const std::size_t q = r.Target.find('?');
    r.Path = Decode(r.Target.substr(0, q));
    r.Query = q == std::string::npos ? std::string() : r.Target.substr(q + 1);
    while (pos < end) {
        const std::size_t next = c.In.find("\r\n", pos + 2);
        const std::string h = c.In.substr(pos + 2, next - pos - 2);
        pos = next;
        if (h.empty()) break;
        const std::size_t colon = h.find(':');
        if (colon == std::string::npos || colon == 0) {
            Reply(c, 400, "bad_request", "malformed header line");
            return false;
        }
        const std::string name = Lower(h.substr(0, colon)), value = Trim(h.substr(colon + 1));
        if (name == "content-length" && r.Headers.count(name) && r.Headers[name] != value) {
            // Two lengths: where this body ends is in doubt.
            Reply(c, 400, "bad_request", "two different Content-Length headers");
            return false;
        }
        r.Headers[name] = value;
    }
    c.KeepAlive = version == "HTTP/1.1" ? Lower(r.Header("connection")) != "close"
                                        : Lower(r.Header("connection")) == "keep-alive";
    if (!r.Header("transfer-encoding").empty()) {
        Reply(c, 411, "length_required", "send the body with a Content-Length, not chunked");
        return false;
    }
    const std::string len = r.Header("content-length");
    c.BodyLen = 0;
    if (!len.empty()) {
        if (len.size() > 12 || len.find_first_not_of("0123456789") != std::string::npos) {
            Reply(c, 400, "bad_request", "malformed Content-Length");
            return false;
        }
        c.BodyLen = std::stoull(len);
        if (c.BodyLen > opt_.MaxBody) {
            Reply(c, 413, "body_too_large", "the body is larger than " + std::to_string(opt_.MaxBody) + " bytes");
            return false;
        }
    }
    c.HeadEnd = end + 4;
    c.HeadDone = true;
    return true;
}

// An answer of the server's own; the connection closes after it, since
// what follows on it cannot be trusted.
void HttpServer::Reply(Conn& c, int status, const std::string& error, const std::string& message) {
    HttpResponse r;
    r.Status = status;
    r.Body = errorBody_(status, error, message);
    c.In.clear();
    c.St = Conn::Busy;  // reads no more
    c.Refused = true;
    Queue(c, Serialize(r, true), true);
}

void HttpServer::Queue(Conn& c, std::string bytes, bool closeAfter) {
    if (c.OutOff == c.Out.size()) {
        c.Out.clear();
        c.OutOff = 0;
    }
    c.Out += bytes;
    if (closeAfter) c.CloseAfter = true;
    // The client must take the answer in time; a request under way keeps its own deadline.
    if (c.St != Conn::Stream && !c.Started) c.Deadline = NowMs() + opt_.ReadTimeoutMs;
    Flush(c);
}

void HttpServer::Flush(Conn& c) {
    const std::uint64_t id = c.Id;
    while (c.OutOff < c.Out.size()) {
        const ssize_t n = send(c.Fd, c.Out.data() + c.OutOff, c.Out.size() - c.OutOff, MSG_NOSIGNAL);
        if (n > 0) {
            c.OutOff += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno == EAGAIN) break;
        CloseConn(id);
        return;
    }
    if (c.OutOff == c.Out.size()) {
        c.Out.clear();
        c.OutOff = 0;
        if (c.CloseAfter && c.Refused && c.St != Conn::Draining) {
            // The client may still be sending what we refused: closing now
            // would reset the connection and lose our answer. Shut our
            // side, and read what comes until it closes or a second passes.
            shutdown(c.Fd, SHUT_WR);
            c.St = Conn::Draining;
            c.Deadline = NowMs() + 1000;
            Watch(c);
            return;
        }
        if (c.CloseAfter && c.St != Conn::Stream) {
            CloseConn(id);
            return;
        }
        if (c.St == Conn::Reading && !c.Started) c.Deadline = NowMs() + opt_.IdleTimeoutMs;
        if (c.St == Conn::Stream) c.Deadline = 0;
    }
    Watch(c);
}

void HttpServer::OnWritable(Conn& c) {
    const std::uint64_t id = c.Id;
    Flush(c);
    auto it = conns_.find(id);
    if (it != conns_.end() && it->second->St == Conn::Reading) Dispatch(*it->second);
}

void HttpServer::TakeDone() {
    std::vector<Done> done;
    std::vector<std::string> events;
    {
        std::lock_guard<std::mutex> g(mutex_);
        done.swap(done_);
        events.swap(events_);
    }
    for (Done& d : done) {
        auto it = conns_.find(d.Id);
        if (it == conns_.end()) continue;
        Conn& c = *it->second;
        c.St = d.Stream ? Conn::Stream : Conn::Reading;
        Queue(c, std::move(d.Bytes), d.Close);
        it = conns_.find(d.Id);
        if (it != conns_.end()) Dispatch(*it->second);  // a request already waiting behind it
    }
    if (events.empty()) return;
    std::string all;
    for (const std::string& e : events) all += e;
    std::vector<std::uint64_t> streams;
    for (auto& [id, c] : conns_)
        if (c->St == Conn::Stream) streams.push_back(id);
    for (std::uint64_t id : streams) {
        auto it = conns_.find(id);
        if (it == conns_.end()) continue;
        Conn& c = *it->second;
        if (c.Out.size() - c.OutOff > opt_.MaxStreamBacklog) {
            CloseConn(id);  // a reader that does not keep up
            continue;
        }
        Queue(c, all, false);
    }
}

void HttpServer::Expire(std::int64_t now) {
    std::vector<std::uint64_t> late;
    for (auto& [id, c] : conns_)
        if (c->Deadline > 0 && c->Deadline <= now) late.push_back(id);
    for (std::uint64_t id : late) {
        auto it = conns_.find(id);
        if (it == conns_.end()) continue;
        Conn& c = *it->second;
        if (c.St == Conn::Reading && c.Started && c.OutOff == c.Out.size()) {
            // A request that did not come whole in time: say so, then close.
            c.Deadline = now + 1000;
            Reply(c, 408, "request_timeout", "the request did not arrive whole in time");
        } else {
            CloseConn(id);
        }
    }
}

void HttpServer::Work() {
    for (;;) {
        std::pair<std::uint64_t, HttpRequest> job;
        {
            std::unique_lock<std::mutex> g(mutex_);
            ++idle_;
            work_.wait(g, [this] { return stop_ || !pending_.empty(); });
            --idle_;
            if (stop_) return;
            job = std::move(pending_.front());
            pending_.pop_front();
        }
        HttpResponse r;
        try {
            r = handler_(job.second);
        } catch (const std::exception& e) {
            r = HttpResponse{};
            r.Status = 500;
            r.Body = errorBody_(500, "internal", e.what());
        }
        const bool close = job.second.Close && !r.EventStream;
        Done d{job.first, Serialize(r, close), close, r.EventStream};
        {
            std::lock_guard<std::mutex> g(mutex_);
            done_.push_back(std::move(d));
        }
        std::uint64_t one = 1;
        [[maybe_unused]] ssize_t w = write(wake_, &one, sizeof one);
    }
}

std::string HttpServer::Serialize(const HttpResponse& r, bool close) {
    std::string s = "HTTP/1.1 " + std::to_string(r.Status) + " " + Reason(r.Status) + "\r\n";
    for (const auto& [k, v] : r.Headers) s += k + ": " + v + "\r\n";
    if (r.EventStream) {
        s += "Content-Type: text/event-stream\r\nCache-Control: no-store\r\nConnection: keep-alive\r\n\r\n";
        return s + r.Body;
    }
    s += "Content-Type: " + r.ContentType + "\r\nContent-Length: " + std::to_string(r.Body.size()) + "\r\n";
    s += close ? "Connection: close\r\n\r\n" : "Connection: keep-alive\r\n\r\n";
    return s + r.Body;
}

}  // namespace vltxd
