// Debian's ser2net, started by a test on 127.0.0.1 in front of a device
// (the test suite's pty printer): raw TCP, or Telnet with RFC 2217.
#pragma once

#include <sys/types.h>

#include <string>

class Ser2net {
public:
    enum Modo { Raw, Rfc2217 };

    // Starts it on a free port and waits until it listens. A new client
    // takes the port from the one that has it; with recusaOcupada, it is
    // told the port is in use and closed, as ser2net does by default.
    Ser2net(const char* dispositivo, Modo modo, bool recusaOcupada = false);
    ~Ser2net();
    Ser2net(const Ser2net&) = delete;
    Ser2net& operator=(const Ser2net&) = delete;

    // "socket://127.0.0.1:PORT" or "rfc2217://127.0.0.1:PORT".
    const char* Url() const { return url_.c_str(); }
    int Porta() const { return porta_; }
    // Kills it at once (SIGKILL): every connection drops.
    void Mata();
    // Starts it again on the same port (after Mata), for a device that may
    // have changed.
    void Inicia(const char* dispositivo);

private:
    Modo modo_;
    bool recusaOcupada_;
    int porta_ = 0;
    pid_t pid_ = -1;
    std::string dir_, url_;
};
