#pragma once

#include <chrono>

template <class P>
nlohmann::json Eventos::Espera(P pred, int ms) {
    const auto fim = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < fim) {
        {
            std::lock_guard<std::mutex> g(trava_);
            for (const nlohmann::json& e : eventos_)
                if (pred(e)) return e;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return nullptr;
}

template <class P>
nlohmann::json EsperaTarefa(int porta, const std::string& id, P pred, int ms) {
    const auto fim = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    nlohmann::json j;
    while (std::chrono::steady_clock::now() < fim) {
        j = Pede(porta, "GET", "/tasks/" + id).Json();
        if (!j.is_discarded() && pred(j)) return j;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return j;
}
