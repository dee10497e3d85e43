// The profile (INI) reader on POSIX, standing in for GetPrivateProfileStringA.
//
// It reads the file as a stream, a block at a time, and keeps no line in
// memory: names are compared byte by byte as they go by, and what the caller
// gets is written straight into its buffer. So a file of any size, with lines
// of any length or bytes of any value, reads in constant memory.
//
// The rules it follows are the ones hosts' files rely on with the Windows
// reader:
// - section and key names compare without regard to (ASCII) case, and the
//   blanks around them, in the file and in the names asked for, don't count;
// - a section header is "[" name "]" at the start of a line (blanks before
//   it allowed; the name ends at the first "]", or at the line's end);
// - a key line is name "=" value; blanks around the value are dropped, and
//   a value standing between a pair of equal quotes (" or ') loses them;
//   a line without "=" is a key whose value is empty;
// - a line whose first non-blank byte is ";" is a comment;
// - the first section of a name is the one read, and in it the first
//   occurrence of a key wins;
// - a value (or the default) longer than the buffer is cut to fit;
// - lines end at a line feed or a carriage return.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/plataforma.h"

namespace plataforma {
namespace {

bool Branco(unsigned char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f'; }
unsigned char Minuscula(unsigned char c) { return c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c + 32) : c; }

// A name as the caller gives it, without the blanks around it.
struct Nome {
    const unsigned char* p;
    std::size_t n;
};

Nome Apara(const char* texto) {
    const auto* p = reinterpret_cast<const unsigned char*>(texto);
    std::size_t n = std::strlen(texto);
    while (n > 0 && Branco(*p)) ++p, --n;
    while (n > 0 && Branco(p[n - 1])) --n;
    return {p, n};
}

// Compares a name from the file, fed a byte at a time, with a wanted one:
// case aside, blanks before and after the name ignored, a run of blanks
// inside it matching blanks in the wanted name byte for byte.
class Comparador {
public:
    void Inicia(Nome alvo) {
        alvo_ = alvo;
        pos_ = 0;
        brancos_ = 0;
        comecou_ = false;
        difere_ = false;
    }
    void Byte(unsigned char c) {
        if (difere_) return;
        if (Branco(c)) {
            if (comecou_) ++brancos_;  // count only if a non-blank follows
            return;
        }
        comecou_ = true;
        for (; brancos_ > 0 && !difere_; --brancos_) Compara(' ');
        brancos_ = 0;
        Compara(c);
    }
    bool Igual() const { return !difere_ && pos_ == alvo_.n; }

private:
    void Compara(unsigned char c) {
        if (pos_ >= alvo_.n) {
            difere_ = true;
            return;
        }
        const unsigned char a = alvo_.p[pos_];
        const bool igual = c == ' ' ? Branco(a) : Minuscula(a) == Minuscula(c);
        if (igual)
            ++pos_;
        else
            difere_ = true;
    }

    Nome alvo_{};
    std::size_t pos_ = 0;
    std::size_t brancos_ = 0;
    bool comecou_ = false;
    bool difere_ = false;
};

// The copy of the default: trailing blanks dropped, cut to the buffer.
std::uint32_t CopiaPadrao(const char* padrao, char* destino, std::uint32_t tamanho) {
    std::size_t n = std::strlen(padrao);
    while (n > 0 && Branco(static_cast<unsigned char>(padrao[n - 1]))) --n;
    if (n > tamanho - 1) n = tamanho - 1;
    std::memcpy(destino, padrao, n);
    destino[n] = '\0';
    return static_cast<std::uint32_t>(n);
}

class Leitor {
public:
    Leitor(const char* secao, const char* chave, char* destino, std::uint32_t tamanho)
        : secao_(Apara(secao)),
          chave_(chave != nullptr ? Apara(chave) : Nome{nullptr, 0}),
          lista_(chave == nullptr),
          destino_(destino),
          tamanho_(tamanho) {}

    // Feeds bytes of the file; false once the answer is known.
    bool Bloco(const unsigned char* p, std::size_t n) {
        for (std::size_t i = 0; i < n; ++i) {
            // The rest of a line that cannot matter: straight to its end.
            if (estado_ == Estado::Resto)
                while (i < n && p[i] != '\n' && p[i] != '\r') ++i;
            if (i < n && !Byte(p[i])) return false;
        }
        return true;
    }
    // The end of the file.
    void Fim() {
        if (!terminou_) FimLinha();
    }

    bool SecaoAchada() const { return secaoVista_; }
    bool ValorAchado() const { return valorAchado_; }
    std::uint64_t TotalNomes() const { return total_; }
    std::uint32_t TamanhoValor() const { return tamanhoValor_; }

private:
    enum class Estado { InicioLinha, Cabecalho, NomeChave, Valor, Resto };

    bool Byte(unsigned char c) {
        if (c == '\n' || c == '\r') {
            FimLinha();
            estado_ = Estado::InicioLinha;
            return !terminou_;
        }
        switch (estado_) {
            case Estado::InicioLinha:
                if (Branco(c)) break;
                if (c == '[') {
                    if (naSecao_) {  // the section read ends here
                        terminou_ = true;
                        return false;
                    }
                    comparador_.Inicia(secao_);
                    estado_ = Estado::Cabecalho;
                } else if (c == ';' || !naSecao_) {
                    estado_ = Estado::Resto;
                } else {
                    IniciaNome();
                    estado_ = Estado::NomeChave;
                    return Byte(c);  // the key line's first byte, "=" included
                }
                break;
            case Estado::Cabecalho:
                if (c == ']') {
                    FimCabecalho();
                    estado_ = Estado::Resto;
                } else {
                    comparador_.Byte(c);
                }
                break;
            case Estado::NomeChave:
                if (c == '=') {
                    if (FimNome()) {
                        IniciaValor();
                        estado_ = Estado::Valor;
                    } else {
                        estado_ = Estado::Resto;
                    }
                } else {
                    NomeByte(c);
                }
                break;
            case Estado::Valor: ValorByte(c); break;
            case Estado::Resto: break;
        }
        return true;
    }

    void FimLinha() {
        switch (estado_) {
            case Estado::Cabecalho: FimCabecalho(); break;
            case Estado::NomeChave:
                if (FimNome()) {  // a key without "=": its value is empty
                    IniciaValor();
                    FimValor();
                }
                break;
            case Estado::Valor: FimValor(); break;
            default: break;
        }
    }

    void FimCabecalho() {
        if (comparador_.Igual() && !secaoVista_) {
            naSecao_ = true;
            secaoVista_ = true;
        }
    }

    // Key names: the list writes them into the buffer as they come (the
    // buffer holds the blanks until a non-blank shows they belong to the
    // name); the key read compares them.
    void IniciaNome() {
        if (lista_) {
            inicioNome_ = total_;
            fimNome_ = total_;
        } else {
            comparador_.Inicia(chave_);
        }
    }
    void NomeByte(unsigned char c) {
        if (!lista_) {
            comparador_.Byte(c);
            return;
        }
        Guarda(total_, c);
        ++total_;
        if (!Branco(c)) fimNome_ = total_;
    }
    // True when the line is the key asked for.
    bool FimNome() {
        if (!lista_) return comparador_.Igual();
        total_ = fimNome_;
        if (fimNome_ > inicioNome_) {
            Guarda(total_, '\0');
            ++total_;
        }
        return false;
    }
    void Guarda(std::uint64_t pos, unsigned char c) {
        if (pos + 1 < tamanho_) destino_[pos] = static_cast<char>(c);
    }

    // The value: its bytes from the first non-blank on go into the buffer,
    // one more than fits (for an opening quote); its length runs to the last
    // non-blank seen.
    void IniciaValor() {
        comprimento_ = 0;
        ultimo_ = 0;
        guardados_ = 0;
    }
    void ValorByte(unsigned char c) {
        if (Branco(c) && guardados_ == 0 && comprimento_ == 0) return;
        if (guardados_ < tamanho_) destino_[guardados_] = static_cast<char>(c);
        ++guardados_;
        if (!Branco(c)) {
            comprimento_ = guardados_;
            ultimo_ = c;
        }
    }
    void FimValor() {
        std::uint64_t inicio = 0;
        std::uint64_t fim = comprimento_;
        const auto primeiro = static_cast<unsigned char>(comprimento_ > 0 ? destino_[0] : 0);
        if (comprimento_ >= 2 && (primeiro == '"' || primeiro == '\'') && ultimo_ == primeiro) {
            inicio = 1;
            fim = comprimento_ - 1;
        }
        std::uint64_t n = fim - inicio;
        if (n > tamanho_ - 1) n = tamanho_ - 1;
        std::memmove(destino_, destino_ + inicio, static_cast<std::size_t>(n));
        destino_[n] = '\0';
        tamanhoValor_ = static_cast<std::uint32_t>(n);
        valorAchado_ = true;
        terminou_ = true;
    }

    const Nome secao_;
    const Nome chave_;
    const bool lista_;
    char* const destino_;
    const std::uint32_t tamanho_;

    Estado estado_ = Estado::InicioLinha;
    Comparador comparador_;
    bool naSecao_ = false;
    bool secaoVista_ = false;
    bool terminou_ = false;

    std::uint64_t total_ = 0;
    std::uint64_t inicioNome_ = 0;
    std::uint64_t fimNome_ = 0;

    std::uint64_t guardados_ = 0;
    std::uint64_t comprimento_ = 0;
    unsigned char ultimo_ = 0;
    bool valorAchado_ = false;
    std::uint32_t tamanhoValor_ = 0;
};

// Reads the file through the reader; false when it cannot be read at all.
bool Percorre(const char* arquivo, Leitor& leitor) {
    // Not blocking on open, so a FIFO or a device at the path cannot hang us.
    const int fd = open(arquivo, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY | O_NOFOLLOW);
    if (fd < 0) return false;
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        return false;
    }
    unsigned char bloco[4096];
    for (;;) {
        const ssize_t n = read(fd, bloco, sizeof bloco);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            leitor.Fim();
            break;
        }
        if (!leitor.Bloco(bloco, static_cast<std::size_t>(n))) break;
    }
    close(fd);
    return true;
}

}  // namespace

// With a null chave: the section's key names, each followed by a NUL and the
// list by a second NUL, and the count of characters they take (not counting
// the last NUL); when they don't fit, the list is cut, ends in two NULs and
// the count is tamanho - 2. 0 when the section is absent or holds no key.
// With a chave: its value, or padrao when the section or the key is absent,
// and the count of characters copied. A null secao (the list of sections)
// is not supported: it gives an empty buffer and 0.
std::uint32_t LePerfil(const char* secao, const char* chave, const char* padrao, char* destino,
                       std::uint32_t tamanho, const char* arquivo) {
    if (destino == nullptr || tamanho == 0) return 0;
    destino[0] = '\0';
    if (secao == nullptr || arquivo == nullptr) {
        if (chave == nullptr && tamanho > 1) destino[1] = '\0';
        return 0;
    }
    Leitor leitor(secao, chave, destino, tamanho);
    const bool lido = Percorre(arquivo, leitor);

    if (chave == nullptr) {
        const std::uint64_t total = lido && leitor.SecaoAchada() ? leitor.TotalNomes() : 0;
        if (total + 1 <= tamanho) {
            destino[total] = '\0';
            if (total + 1 < tamanho) destino[total + 1] = '\0';
            return static_cast<std::uint32_t>(total);
        }
        if (tamanho < 2) return 0;
        destino[tamanho - 2] = '\0';
        destino[tamanho - 1] = '\0';
        return tamanho - 2;
    }
    if (lido && leitor.ValorAchado()) return leitor.TamanhoValor();
    return CopiaPadrao(padrao != nullptr ? padrao : "", destino, tamanho);
}

}  // namespace plataforma
