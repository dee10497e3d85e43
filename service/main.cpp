// vltxd: the printers as a local HTTP/JSON service. The supervisor process
// serves the API and runs one worker process (this program with --worker)
// per printer.
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <systemd/sd-daemon.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <thread>

#include "api.h"
#include "config.h"
#include "http.h"
#include "routes.h"
#include "supervisor.h"
#include "vltxdrv.h"
#include "worker.h"

namespace {

int Usage(FILE* to, int code) {
    std::fputs(
        "usage: vltxd --config FILE [--check]\n"
        "\n"
        "The fiscal printers of FILE as an HTTP/JSON service (see vltxd(8)).\n"
        "  --config FILE   the configuration (TOML)\n"
        "  --check         check the configuration and exit\n"
        "  --routes        the routes it serves, one \"METHOD PATH\" a line\n"
        "  --version       the version\n",
        to);
    return code;
}

std::string Self() {
    char buf[4096];
    const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    return n > 0 ? std::string(buf, static_cast<std::size_t>(n)) : std::string();
}

// Idle connections cost a descriptor each: take every one the system allows.
void RaiseDescriptorLimit() {
    rlimit r{};
    if (getrlimit(RLIMIT_NOFILE, &r) == 0 && r.rlim_cur < r.rlim_max) {
        r.rlim_cur = r.rlim_max;
        setrlimit(RLIMIT_NOFILE, &r);
    }
}

}  // namespace

int main(int argc, char** argv) {
    vltxd::WorkerArgs worker;
    if (vltxd::ParseWorkerArgs(argc, argv, worker)) return vltxd::RunWorker(worker);

    std::string file;
    bool check = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--config" && i + 1 < argc) file = argv[++i];
        else if (a == "--check") check = true;
        else if (a == "--routes") {
            for (const vltxd::Route& r : vltxd::Routes()) std::printf("%s %s\n", r.Method, r.Path);
            return 0;
        } else if (a == "--version") {
            std::printf("vltxd %s\n", VLTXDRV_VERSION_TEXT);
            return 0;
        } else if (a == "--help" || a == "-h") return Usage(stdout, 0);
        else return Usage(stderr, 2);
    }
    if (file.empty()) return Usage(stderr, 2);
    vltxd::Config config;
    std::string error;
    if (!vltxd::LoadConfig(file, config, error)) {
        std::fprintf(stderr, "vltxd: %s\n", error.c_str());
        return 2;
    }
    if (check) {
        std::printf("vltxd: %s: %zu printer(s), listening on %s:%d\n", file.c_str(), config.Printers.size(),
                    config.ListenHost.c_str(), config.ListenPort);
        return 0;
    }
    // The journal, the readouts and the driver's logs are the shop's: this
    // user's alone.
    umask(077);
    if (mkdir(config.StateDir.c_str(), 0700) != 0 && errno != EEXIST) {
        std::fprintf(stderr, "vltxd: state_dir %s: %s\n", config.StateDir.c_str(), std::strerror(errno));
        return 1;
    }
    RaiseDescriptorLimit();
    signal(SIGPIPE, SIG_IGN);
    sigset_t stops;
    sigemptyset(&stops);
    sigaddset(&stops, SIGTERM);
    sigaddset(&stops, SIGINT);
    sigaddset(&stops, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &stops, nullptr);

    std::unique_ptr<vltxd::HttpServer> server;
    auto publish = [&server](const nlohmann::json& ev) {
        if (server) server->Broadcast(ev.dump());
    };
    vltxd::Supervisor supervisor(config, config.StateDir + "/journal.sqlite", Self(), publish);
    vltxd::Api api(config, supervisor);
    vltxd::HttpOptions options;
    options.MaxBody = config.MaxBody;
    options.MaxConnections = config.MaxConnections;
    options.ReadTimeoutMs = config.ReadTimeoutMs;
    options.IdleTimeoutMs = config.IdleTimeoutMs;
    options.Threads = config.HandlerThreads;
    server = std::make_unique<vltxd::HttpServer>(
        options, [&api](const vltxd::HttpRequest& r) { return api.Handle(r); },
        [](int, const std::string& e, const std::string& m) { return vltxd::ErrorJson(e, m); });
    if (!server->Listen(config.ListenHost, config.ListenPort, error)) {
        std::fprintf(stderr, "vltxd: %s\n", error.c_str());
        return 1;
    }
    if (!supervisor.Start(error)) {
        std::fprintf(stderr, "vltxd: journal: %s\n", error.c_str());
        return 1;
    }
    std::thread stopper([&server, stops] {
        int sig = 0;
        sigwait(&stops, &sig);
        vltxd::Log(std::string("stopping on ") + strsignal(sig));
        server->Stop();
    });
    vltxd::Log("listening on " + config.ListenHost + ":" + std::to_string(server->Port()) + " with " +
               std::to_string(config.Printers.size()) + " printer(s)");
    sd_notify(0, "READY=1");
    server->Run();
    sd_notify(0, "STOPPING=1");
    supervisor.Stop();
    stopper.join();
    return 0;
}
