// The profile (INI) parser of the POSIX reader (posix/perfil.cpp reads the
// file), standing in for GetPrivateProfileStringA.
//
// Shops carry their layout files over from Windows, so for the two ways the
// driver asks (the list of a section's key names, and a key's value) it
// answers what the Windows reader answers, corners included. The rules, as
// measured against that reader:
// - Lines end at a line feed or a carriage return. Blanks are space, tab,
//   vertical tab, form feed and ^Z (26); a line loses those at both ends, and a
//   line left empty does not count at all.
// - A line starting with "[" and holding a "]" is a section header; the name
//   runs to the LAST "]" of the line and loses its blanks. Anything else is an
//   entry: name "=" value (the name loses its trailing blanks, the value its
//   leading ones), or, with no "=", a name without a value.
// - A NUL byte ends a name or a value where it stands.
// - ";" lines are entries too: a key read finds them, the list leaves them
//   out. "#" lines are plain entries.
// - An entry with an empty name right after another one with an empty name is
//   dropped (so "=1" lines in a row are listed once).
// - Only the first section of a name counts (the lines before any header form
//   a first section named ""). Names compare ignoring ASCII case only.
// - The list: the first section whose name is the one asked for as it is
//   (blanks around the asked name make it match nothing), names of entries
//   with "=" that do not start with ";", each with its NUL; when they do not
//   fit, cut as the Windows reader cuts them. When the first name listed is
//   empty, the answer is 0 and an empty buffer.
// - A key read: the asked section and key lose their blanks; the first entry
//   of that name in the first section of that name answers. An entry without
//   "=" gives the default. A value between a pair of equal quotes (" or ')
//   loses them; when the value does not fit, the opening quote still goes and
//   the closing one with the cut, exactly as the Windows reader does it
//   (80 bytes: a quoted 79-character value comes back with 78).
// - The default loses its trailing spaces.
// - A file starting with a UTF-8 or a UTF-16 byte order mark is read in that
//   encoding; its characters come back in code page 1252, "?" for one that
//   page lacks (Windows puts a look-alike for some of them, e.g. "A" for
//   U+0100; not reproduced here).
//
// The text is read as a stream, a block at a time, and no line is kept in
// memory: names are compared as they go by, and what the caller gets is
// written straight into its buffer. So a file of any size, with lines of any
// length or bytes of any value, reads in constant memory.
#include "platform/posix/perfil_texto.h"

#include <cstring>

namespace plataforma::perfil {
namespace {


// A character of the file in code page 1252 (0 to 255), or Fora for one the
// page has no byte for: it matches nothing asked for and comes back as "?".
using Caractere = int;
constexpr Caractere Fora = 0x100;

bool Branco(Caractere c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == 26; }
bool FimDeLinha(Caractere c) { return c == '\n' || c == '\r'; }
Caractere Minuscula(Caractere c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; }
char Byte(Caractere c) { return static_cast<char>(c == Fora ? '?' : c); }

// Code page 1252 from Unicode: 0x80 to 0x9F hold these (0 where the page
// passes the code point through: 0x81, 0x8D, 0x8F, 0x90, 0x9D).
constexpr unsigned short Cp1252Alto[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

Caractere DeUnicode(unsigned long u) {
    if (u < 0x80 || (u >= 0xA0 && u <= 0xFF)) return static_cast<Caractere>(u);
    for (int i = 0; i < 32; ++i)
        if (Cp1252Alto[i] != 0 ? Cp1252Alto[i] == u : 0x80u + i == u) return 0x80 + i;
    return Fora;
}

// A name as the caller gives it.
struct Nome {
    const unsigned char* p;
    std::size_t n;
};

Nome Inteiro(const char* texto) { return {reinterpret_cast<const unsigned char*>(texto), std::strlen(texto)}; }

Nome Apara(const char* texto) {
    Nome nome = Inteiro(texto);
    while (nome.n > 0 && Branco(*nome.p)) ++nome.p, --nome.n;
    while (nome.n > 0 && Branco(nome.p[nome.n - 1])) --nome.n;
    return nome;
}

// Compares a name from the file, fed a character at a time, with a wanted
// one: ASCII case aside, blanks in front skipped, blanks at the end ignored
// (those in between must match one for one), a NUL ending the name.
class Comparador {
public:
    void Inicia(Nome alvo) {
        alvo_ = alvo;
        pos_ = 0;
        pendentes_ = 0;
        pendentesDiferem_ = false;
        comecou_ = false;
        difere_ = false;
        terminou_ = false;
    }
    void Carac(Caractere c) {
        if (terminou_ || difere_) return;
        if (Branco(c)) {
            if (!comecou_) return;
            // Blanks count only if something follows them: checked now, kept aside.
            if (!pendentesDiferem_ && pos_ + pendentes_ < alvo_.n && alvo_.p[pos_ + pendentes_] == c)
                ++pendentes_;
            else
                pendentesDiferem_ = true;
            return;
        }
        comecou_ = true;
        if (pendentesDiferem_) {
            difere_ = true;
            return;
        }
        pos_ += pendentes_;
        pendentes_ = 0;
        if (c == 0) {
            terminou_ = true;
            return;
        }
        if (pos_ < alvo_.n && Minuscula(alvo_.p[pos_]) == Minuscula(c))
            ++pos_;
        else
            difere_ = true;
    }
    bool Igual() const { return !difere_ && pos_ == alvo_.n; }

private:
    Nome alvo_{};
    std::size_t pos_ = 0;
    std::size_t pendentes_ = 0;
    bool pendentesDiferem_ = false;
    bool comecou_ = false;
    bool difere_ = false;
    bool terminou_ = false;
};

// The Windows reader's copy of a value (or of the default) into the buffer:
// a value of two or more characters between equal quotes loses the opening
// one, then at most tamanho - 1 characters are taken, and the last of them
// goes too when the rest (closing quote included) fitted in tamanho.
std::uint32_t CopiaValor(char* destino, std::uint32_t tamanho, std::uint64_t comprimento, Caractere ultimo) {
    const auto primeiro = static_cast<unsigned char>(comprimento > 0 ? destino[0] : 0);
    std::uint64_t inicio = 0;
    std::uint64_t n = comprimento;
    const bool aspas = (primeiro == '"' || primeiro == '\'') && comprimento >= 2 && ultimo == primeiro;
    if (aspas) {
        inicio = 1;
        n = comprimento - 1;
    }
    const bool coube = tamanho >= n;
    if (n > tamanho - 1) n = tamanho - 1;
    if (aspas && coube && n > 0) --n;
    std::memmove(destino, destino + inicio, static_cast<std::size_t>(n));
    destino[n] = '\0';
    return static_cast<std::uint32_t>(n);
}

std::uint32_t CopiaPadrao(const char* padrao, char* destino, std::uint32_t tamanho) {
    std::size_t n = std::strlen(padrao);
    while (n > 1 && padrao[n - 1] == ' ') --n;
    const std::size_t guardados = n < tamanho ? n : tamanho;
    std::memcpy(destino, padrao, guardados);
    return CopiaValor(destino, tamanho, n, n > 0 ? static_cast<unsigned char>(padrao[n - 1]) : 0);
}

class Leitor {
public:
    Leitor(const char* secao, const char* chave, char* destino, std::uint32_t tamanho)
        : secao_(chave == nullptr ? Inteiro(secao) : Apara(secao)),
          chave_(chave != nullptr ? Apara(chave) : Nome{nullptr, 0}),
          lista_(chave == nullptr),
          destino_(destino),
          tamanho_(tamanho),
          naSecao_(secao_.n == 0),
          restante_(tamanho) {}  // the lines before any header

    // Feeds characters of the file; false once the answer is known.
    bool Carac(Caractere c) {
        if (FimDeLinha(c)) {
            FimLinha();
            return !terminou_;
        }
        if (estado_ == Estado::Resto) return true;
        if (estado_ == Estado::Inicio) {
            if (Branco(c)) return true;
            IniciaLinha(c);
        }
        if (cabecalho_) CabecalhoCarac(c);
        if (naSecao_) EntradaCarac(c);
        return true;
    }
    // The end of the file.
    void Fim() {
        if (!terminou_) FimLinha();
    }

    bool ValorAchado() const { return valorAchado_; }
    std::uint32_t TamanhoValor() const { return tamanhoValor_; }
    // The list as the Windows reader leaves it: its count, the buffer's bytes
    // up to it, and the NULs behind them.
    std::uint32_t FechaLista() {
        if (primeiroVazio_ || escrito_ == 0) {
            destino_[0] = '\0';
            if (tamanho_ > 1) destino_[1] = '\0';
            return 0;
        }
        destino_[escrito_] = '\0';
        if (restante_ <= 1) {
            destino_[escrito_ - 1] = '\0';
            return tamanho_ - 2;
        }
        if (escrito_ + 1 < tamanho_) destino_[escrito_ + 1] = '\0';
        return static_cast<std::uint32_t>(escrito_);
    }

private:
    enum class Estado { Inicio, Linha, Resto };
    enum class Parte { Nome, AntesValor, Valor, Fim };

    void IniciaLinha(Caractere c) {
        estado_ = Estado::Linha;
        cabecalho_ = c == '[';
        temFecho_ = false;
        if (cabecalho_) {
            comparadorSecao_.Inicia(secao_);
            primeiroCabecalho_ = true;
        }
        if (!naSecao_) {
            if (!cabecalho_) estado_ = Estado::Resto;
            return;
        }
        parte_ = Parte::Nome;
        temIgual_ = false;
        nomeBruto_ = false;
        nomeVazio_ = true;
        nomeFim_ = false;
        comentario_ = c == ';';
        if (lista_) {
            nomeLidos_ = 0;
            nomeFimPos_ = 0;
        } else {
            comparadorChave_.Inicia(chave_);
        }
    }

    // The name of a header runs to the last "]": each "]" may be its end.
    void CabecalhoCarac(Caractere c) {
        if (primeiroCabecalho_) {  // the "[" itself
            primeiroCabecalho_ = false;
            return;
        }
        if (c == ']') {
            temFecho_ = true;
            igualAteFecho_ = comparadorSecao_.Igual();
        }
        comparadorSecao_.Carac(c);
    }

    void EntradaCarac(Caractere c) {
        switch (parte_) {
            case Parte::Nome:
                if (c == '=') {
                    temIgual_ = true;
                    parte_ = Parte::AntesValor;
                    IniciaValor();
                    return;
                }
                nomeBruto_ = true;  // a non-blank, or blanks before one
                NomeCarac(c);
                return;
            case Parte::AntesValor:
                if (Branco(c)) return;
                parte_ = Parte::Valor;
                ValorCarac(c);
                return;
            case Parte::Valor: ValorCarac(c); return;
            case Parte::Fim: return;
        }
    }

    void NomeCarac(Caractere c) {
        if (nomeFim_) return;
        if (c == 0) {
            nomeFim_ = true;
            if (lista_) nomeFimPos_ = nomeLidos_;  // blanks before a NUL stay
            if (!lista_) comparadorChave_.Carac(c);
            return;
        }
        nomeVazio_ = false;
        if (!lista_) {
            comparadorChave_.Carac(c);
            return;
        }
        // Written where the name would go; blanks kept until a non-blank shows
        // they belong to it.
        if (nomeLidos_ + 2 < restante_) destino_[escrito_ + nomeLidos_] = Byte(c);
        ++nomeLidos_;
        if (!Branco(c)) nomeFimPos_ = nomeLidos_;
    }

    // A key read keeps the value's first characters in the buffer (one more
    // than fits, for an opening quote), its length up to its last non-blank
    // (or to a NUL) and that last character.
    void IniciaValor() {
        guardados_ = 0;
        comprimento_ = 0;
        ultimo_ = 0;
        ultimoNaoBranco_ = 0;
    }
    void ValorCarac(Caractere c) {
        if (lista_) {
            parte_ = Parte::Fim;
            return;
        }
        if (c == 0) {
            comprimento_ = guardados_;
            parte_ = Parte::Fim;
            return;
        }
        if (guardados_ < tamanho_) destino_[guardados_] = Byte(c);
        ++guardados_;
        if (!Branco(c)) comprimento_ = guardados_;
        ultimo_ = c;
        if (!Branco(c)) ultimoNaoBranco_ = c;
    }

    void FimLinha() {
        const Estado estado = estado_;
        estado_ = Estado::Inicio;
        if (estado == Estado::Inicio) return;  // an empty line counts for nothing
        if (cabecalho_ && temFecho_) {
            FimCabecalho();
            return;
        }
        if (estado == Estado::Linha && naSecao_) FimEntrada();
    }

    void FimCabecalho() {
        if (naSecao_) {  // the section asked for ends here
            terminou_ = true;
            return;
        }
        if (igualAteFecho_) {
            naSecao_ = true;
            temAnterior_ = false;
        }
    }

    void FimEntrada() {
        if (!nomeBruto_ && temAnterior_ && anteriorVazio_) return;  // a second empty name in a row
        temAnterior_ = true;
        anteriorVazio_ = nomeVazio_;
        if (lista_) {
            if (temIgual_ && !comentario_) Lista();
            return;
        }
        if (!comparadorChave_.Igual()) return;
        terminou_ = true;
        if (!temIgual_) return;  // found, without a value: the default
        const Caractere ultimo = parte_ == Parte::Fim ? ultimo_ : ultimoNaoBranco_;
        tamanhoValor_ = CopiaValor(destino_, tamanho_, comprimento_, ultimo);
        valorAchado_ = true;
    }

    // One name more in the list, counted as the Windows reader counts: each
    // takes at most the room left less 2, plus its NUL; the list stops when 2
    // or fewer are left.
    void Lista() {
        if (restante_ <= 2) {
            terminou_ = true;
            return;
        }
        std::uint64_t n = nomeFimPos_;
        if (n > restante_ - 2) n = restante_ - 2;
        if (escrito_ == 0 && n == 0) {  // the first name empty: nothing, as for no name
            primeiroVazio_ = true;
            terminou_ = true;
            return;
        }
        destino_[escrito_ + n] = '\0';
        restante_ -= n + 1;
        escrito_ += n + 1;
        if (restante_ < 2) terminou_ = true;
    }

    const Nome secao_;
    const Nome chave_;
    const bool lista_;
    char* const destino_;
    const std::uint32_t tamanho_;

    Estado estado_ = Estado::Inicio;
    bool naSecao_;
    bool terminou_ = false;

    // The line under way.
    bool cabecalho_ = false;
    bool primeiroCabecalho_ = false;
    bool temFecho_ = false;
    bool igualAteFecho_ = false;
    Comparador comparadorSecao_;
    Parte parte_ = Parte::Nome;
    bool temIgual_ = false;
    bool nomeBruto_ = false;
    bool nomeVazio_ = true;
    bool nomeFim_ = false;
    bool comentario_ = false;
    Comparador comparadorChave_;
    std::uint64_t nomeLidos_ = 0;
    std::uint64_t nomeFimPos_ = 0;

    // The entry before, for the rule on empty names.
    bool temAnterior_ = false;
    bool anteriorVazio_ = false;

    // The list.
    std::uint64_t restante_;
    std::uint64_t escrito_ = 0;
    bool primeiroVazio_ = false;

    // The value.
    std::uint64_t guardados_ = 0;
    std::uint64_t comprimento_ = 0;
    Caractere ultimo_ = 0;
    Caractere ultimoNaoBranco_ = 0;
    bool valorAchado_ = false;
    std::uint32_t tamanhoValor_ = 0;
};

// The file's bytes as characters of code page 1252: as they are, or decoded
// from UTF-8 or UTF-16 when the file starts with that byte order mark.
class Decodificador {
public:
    // The start of the file (at least 3 bytes of it, unless it is shorter):
    // how many bytes the mark takes.
    std::size_t Marca(const unsigned char* p, std::size_t n) {
        if (n >= 3 && p[0] == 0xEF && p[1] == 0xBB && p[2] == 0xBF) {
            tipo_ = Tipo::Utf8;
            return 3;
        }
        if (n >= 2 && p[0] == 0xFF && p[1] == 0xFE) {
            tipo_ = Tipo::Utf16LE;
            return 2;
        }
        if (n >= 2 && p[0] == 0xFE && p[1] == 0xFF) {
            tipo_ = Tipo::Utf16BE;
            return 2;
        }
        return 0;
    }
    // Feeds the bytes to the reader; false once it has its answer.
    bool Bloco(const unsigned char* p, std::size_t n, Leitor& leitor) {
        for (std::size_t i = 0; i < n; ++i)
            if (!Byte(p[i], leitor)) return false;
        return true;
    }
    void Fim(Leitor& leitor) {
        // A sequence cut short by the end: one character the page lacks.
        if ((faltam_ > 0 || meio_) && !leitor.Carac(Fora)) return;
        leitor.Fim();
    }

private:
    enum class Tipo { Ansi, Utf8, Utf16LE, Utf16BE };

    bool Byte(unsigned char b, Leitor& leitor) {
        switch (tipo_) {
            case Tipo::Ansi: return leitor.Carac(b);
            case Tipo::Utf8: return Utf8(b, leitor);
            case Tipo::Utf16LE:
            case Tipo::Utf16BE:
                if (!meio_) {
                    primeiro_ = b;
                    meio_ = true;
                    return true;
                }
                meio_ = false;
                return leitor.Carac(DeUnicode(tipo_ == Tipo::Utf16LE ? primeiro_ | (b << 8) : (primeiro_ << 8) | b));
        }
        return true;
    }

    // UTF-8 as the Windows reader decodes it: a code point beyond 16 bits is
    // two UTF-16 units, two characters the page lacks. A malformed sequence
    // is one such character; a second byte out of its lead's range is taken
    // with it, any other byte that breaks a sequence off starts anew.
    bool Utf8(unsigned char b, Leitor& leitor) {
        if (faltam_ > 0) {
            if ((b & 0xC0) == 0x80) {
                const bool segundo = minimo_ != 0;
                if (segundo && (b < minimo_ || b > maximo_)) {
                    faltam_ = 0;
                    return leitor.Carac(Fora);
                }
                minimo_ = 0;
                ponto_ = (ponto_ << 6) | (b & 0x3F);
                if (--faltam_ > 0) return true;
                if (ponto_ > 0xFFFF) return leitor.Carac(Fora) && leitor.Carac(Fora);
                return leitor.Carac(DeUnicode(ponto_));
            }
            faltam_ = 0;
            if (!leitor.Carac(Fora)) return false;
        }
        if (b < 0x80) return leitor.Carac(b);
        if (b >= 0xC2 && b <= 0xDF) return Inicia(b & 0x1F, 1, 0x80, 0xBF);
        if (b >= 0xE0 && b <= 0xEF)
            return Inicia(b & 0x0F, 2, b == 0xE0 ? 0xA0 : 0x80, b == 0xED ? 0x9F : 0xBF);
        if (b >= 0xF0 && b <= 0xF4)
            return Inicia(b & 0x07, 3, b == 0xF0 ? 0x90 : 0x80, b == 0xF4 ? 0x8F : 0xBF);
        return leitor.Carac(Fora);
    }
    bool Inicia(unsigned long bits, int faltam, unsigned char minimo, unsigned char maximo) {
        ponto_ = bits;
        faltam_ = faltam;
        minimo_ = minimo;
        maximo_ = maximo;
        return true;
    }

    Tipo tipo_ = Tipo::Ansi;
    bool meio_ = false;
    unsigned primeiro_ = 0;
    unsigned long ponto_ = 0;
    int faltam_ = 0;
    unsigned char minimo_ = 0;  // the range of a second byte, while one is due
    unsigned char maximo_ = 0;
};

// Reads the text through the reader; false when it cannot be read at all.
bool Percorre(Fonte& fonte, Leitor& leitor) {
    unsigned char bloco[4096];
    Decodificador decodificador;
    bool inicio = true;
    std::size_t cheios = 0;
    for (;;) {
        const long n = fonte.le(fonte.contexto, bloco + cheios, sizeof bloco - cheios);
        if (n < 0) return false;
        if (n > 0) cheios += static_cast<std::size_t>(n);
        if (inicio && n > 0 && cheios < 3) continue;  // the byte order mark needs 3 bytes
        std::size_t pula = 0;
        if (inicio) {
            pula = decodificador.Marca(bloco, cheios);
            inicio = false;
        }
        if (cheios > pula && !decodificador.Bloco(bloco + pula, cheios - pula, leitor)) break;
        cheios = 0;
        if (n == 0) {
            decodificador.Fim(leitor);
            break;
        }
    }
    return true;
}

struct Memoria {
    const unsigned char* p;
    std::size_t n;
};

long LeMemoria(void* contexto, unsigned char* p, std::size_t n) {
    auto& m = *static_cast<Memoria*>(contexto);
    const std::size_t dados = n < m.n ? n : m.n;
    std::memcpy(p, m.p, dados);
    m.p += dados;
    m.n -= dados;
    return static_cast<long>(dados);
}

}  // namespace

// With a null chave: the section's key names, each followed by a NUL and the
// list by a second NUL, and the count of characters they take (not counting
// the last NUL); when they don't fit, the list is cut, ends in two NULs and
// the count is tamanho - 2. 0 when the section is absent or holds no key.
// With a chave: its value, or padrao when the section or the key is absent,
// and the count of characters copied. A null secao (the list of sections)
// is not supported: it gives an empty buffer and 0.
std::uint32_t Responde(const char* secao, const char* chave, const char* padrao, char* destino,
                       std::uint32_t tamanho, Fonte* fonte) {
    if (destino == nullptr || tamanho == 0) return 0;
    destino[0] = '\0';
    if (secao == nullptr || fonte == nullptr) {
        if (chave == nullptr && tamanho > 1) destino[1] = '\0';
        return 0;
    }
    Leitor leitor(secao, chave, destino, tamanho);
    const bool lido = Percorre(*fonte, leitor);

    if (chave == nullptr) {
        if (tamanho < 3) {  // no room for a name and its two NULs
            if (tamanho > 1) destino[1] = '\0';
            destino[0] = '\0';
            return 0;
        }
        if (!lido) {
            destino[1] = '\0';
            return 0;
        }
        return leitor.FechaLista();
    }
    if (lido && leitor.ValorAchado()) return leitor.TamanhoValor();
    return CopiaPadrao(padrao != nullptr ? padrao : "", destino, tamanho);
}

std::uint32_t LeTexto(const char* secao, const char* chave, const char* padrao, char* destino,
                      std::uint32_t tamanho, const unsigned char* texto, std::size_t n) {
    Memoria memoria{texto, n};
    Fonte fonte{LeMemoria, &memoria};
    return Responde(secao, chave, padrao, destino, tamanho, &fonte);
}

}  // namespace plataforma::perfil
