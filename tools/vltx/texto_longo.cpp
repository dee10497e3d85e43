#include "vltx/texto_longo.h"

#include <cerrno>
#include <system_error>
#include <vector>

namespace {
[[noreturn]] void Falha(const char* oque) { throw std::system_error(errno, std::generic_category(), oque); }
}  // namespace

TextoLongo::~TextoLongo() {
    if (arquivo_ != nullptr) std::fclose(arquivo_);
}

void TextoLongo::Acrescenta(std::string_view texto) {
    tamanho_ += texto.size();
    if (arquivo_ == nullptr && memoria_.size() + texto.size() > limite_) {
        arquivo_ = std::tmpfile();
        if (arquivo_ == nullptr) Falha("cannot create a temporary file");
        texto = (memoria_ += texto);
    }
    if (arquivo_ == nullptr) {
        memoria_ += texto;
        return;
    }
    if (std::fwrite(texto.data(), 1, texto.size(), arquivo_) != texto.size()) Falha("cannot write a temporary file");
    std::string().swap(memoria_);
}

void TextoLongo::Despeja(const std::function<void(std::string_view)>& saida) {
    if (arquivo_ != nullptr) {
        if (std::fflush(arquivo_) != 0 || std::fseek(arquivo_, 0, SEEK_SET) != 0)
            Falha("cannot read a temporary file");
        std::vector<char> bloco(std::size_t{1} << 20);
        std::size_t n;
        while ((n = std::fread(bloco.data(), 1, bloco.size(), arquivo_)) > 0) saida({bloco.data(), n});
        if (std::ferror(arquivo_)) Falha("cannot read a temporary file");
        std::fclose(arquivo_);
        arquivo_ = nullptr;
    }
    saida(memoria_);
    std::string().swap(memoria_);
    tamanho_ = 0;
}
