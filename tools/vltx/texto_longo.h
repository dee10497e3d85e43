// Text whose length is not bounded (a damaged log's record that runs for
// megabytes, a summary's list of every failure), kept in memory up to a
// bound and in an unnamed temporary file beyond it, so that the memory a
// decoding takes stays flat whatever the file's size.
#pragma once

#include <cstddef>
#include <cstdio>
#include <functional>
#include <string>
#include <string_view>

class TextoLongo {
public:
    explicit TextoLongo(std::size_t limiteMemoria = std::size_t{1} << 20) : limite_(limiteMemoria) {}
    ~TextoLongo();
    TextoLongo(const TextoLongo&) = delete;
    TextoLongo& operator=(const TextoLongo&) = delete;

    // Throws std::system_error when the temporary file cannot be written:
    // a decoding that lost a piece of its text must not look complete.
    void Acrescenta(std::string_view texto);
    // Everything, in the order it came, a piece at a time; then empty.
    void Despeja(const std::function<void(std::string_view)>& saida);
    std::size_t Tamanho() const { return tamanho_; }

private:
    std::string memoria_;
    std::FILE* arquivo_ = nullptr;
    std::size_t limite_;
    std::size_t tamanho_ = 0;
};
