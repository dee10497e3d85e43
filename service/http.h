// A small HTTP/1.1 server on epoll. One thread owns every connection and
// reads requests whole (headers and a Content-Length body) under a deadline,
// so an idle or slow client costs a descriptor and a little memory, never a
// thread; complete requests go to a pool of handler threads, which may block
// (a request that waits for its task). Server-Sent Events streams stay with
// the epoll thread.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

namespace vltxd {

struct HttpRequest {
    std::string Method, Target, Path, Query;
    std::map<std::string, std::string> Headers;  // names in lower case
    std::string Body;
    std::string Remote;
    bool Close = false;  // the connection closes after the answer

    std::string Header(const std::string& lowerName) const;
    // A query parameter; def when absent.
    std::string Param(const std::string& name, const std::string& def = {}) const;
};

struct HttpResponse {
    int Status = 200;
    std::string Body;
    std::string ContentType = "application/json";
    std::vector<std::pair<std::string, std::string>> Headers;
    bool EventStream = false;  // the connection becomes a Server-Sent Events stream
};

struct HttpOptions {
    std::size_t MaxBody = 1 << 20;
    std::size_t MaxHeader = 16 * 1024;
    int MaxConnections = 2000;
    int ReadTimeoutMs = 10000;
    int IdleTimeoutMs = 5000;
    int Threads = 256;  // at most; the pool grows while every thread is busy (a request may wait for its task)
    std::size_t MaxStreamBacklog = 1 << 20;  // an events stream further behind is closed
};

class HttpServer {
public:
    using Handler = std::function<HttpResponse(const HttpRequest&)>;
    // Answers that the server gives itself (bad request, too large, time-out):
    // the JSON body for a status, an error code and a message.
    using ErrorBody = std::function<std::string(int status, const std::string& error, const std::string& message)>;

    HttpServer(HttpOptions options, Handler handler, ErrorBody errorBody);
    ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    // Binds HOST:PORT (port 0: any free one); false with a message.
    bool Listen(const std::string& host, int port, std::string& error);
    int Port() const { return port_; }
    // Serves until Stop().
    void Run();
    void Stop();
    // One event to every open events stream; from any thread.
    void Broadcast(const std::string& event);
    int Connections() const { return connections_.load(); }

private:
    struct Conn;
    struct Done {
        std::uint64_t Id;
        std::string Bytes;
        bool Close;
        bool Stream;
    };
    void Accept();
    void OnReadable(Conn& c);
    void OnWritable(Conn& c);
    bool ParseHead(Conn& c);
    void Dispatch(Conn& c);
    void Reply(Conn& c, int status, const std::string& error, const std::string& message);
    void Queue(Conn& c, std::string bytes, bool close);
    void Flush(Conn& c);
    void CloseConn(std::uint64_t id);
    void Watch(Conn& c);
    void TakeDone();
    void Expire(std::int64_t now);
    void Work();
    static std::string Serialize(const HttpResponse& r, bool close);

    HttpOptions opt_;
    Handler handler_;
    ErrorBody errorBody_;
    int listen_ = -1, epoll_ = -1, wake_ = -1, port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<int> connections_{0};
    std::uint64_t nextId_ = 1;
    std::unordered_map<std::uint64_t, std::unique_ptr<Conn>> conns_;  // the epoll thread's alone

    std::mutex mutex_;  // guards what follows
    std::condition_variable work_;
    std::deque<std::pair<std::uint64_t, HttpRequest>> pending_;
    std::vector<Done> done_;
    std::vector<std::string> events_;
    std::vector<std::thread> pool_;
    int idle_ = 0;  // threads waiting for work
};

}  // namespace vltxd
