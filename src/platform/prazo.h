// Deadlines of the line operations, in milliseconds of the monotonic clock
// (RelogioMilissegundos), so that setting the wall clock moves none of them.
// Makes no system call of its own: every kind of line on every system
// counts its read time-outs with it.
#pragma once

#include <cstdint>

#include "platform/plataforma.h"

namespace plataforma::prazo {

inline std::int64_t AgoraMs() { return RelogioMilissegundos(); }

// What is left until `prazo`, as poll(2) and select() take it: 0 once it has passed.
inline int Restante(std::int64_t prazo) {
    const std::int64_t resta = prazo - AgoraMs();
    if (resta <= 0) return 0;
    return static_cast<int>(resta > 2000000000 ? 2000000000 : resta);
}

// A read with the read time-outs as Windows counts them (ReadIntervalTimeout
// and both totals set): it ends at multiplier * count + constant from its
// start, or earlier, after more than the interval between two bytes once
// the first has come. Only data bytes count.
class PrazoLeitura {
public:
    PrazoLeitura(const TemposLinha& tempos, std::uint32_t quantidade)
        : intervalo_(tempos.ReadIntervalTimeout),
          total_(AgoraMs() + static_cast<std::int64_t>(tempos.ReadTotalTimeoutMultiplier) * quantidade +
                 tempos.ReadTotalTimeoutConstant) {}

    // Data bytes have come: the interval counts from now.
    void Chegaram() {
        ultimo_ = AgoraMs();
        chegou_ = true;
    }
    // When the read ends if no more bytes come.
    std::int64_t Fim() const {
        if (chegou_ && intervalo_ != 0 && ultimo_ + intervalo_ < total_) return ultimo_ + intervalo_;
        return total_;
    }
    bool Passou() const { return Fim() - AgoraMs() < 0; }

private:
    std::uint32_t intervalo_;
    std::int64_t total_;
    std::int64_t ultimo_ = 0;
    bool chegou_ = false;
};

}  // namespace plataforma::prazo
