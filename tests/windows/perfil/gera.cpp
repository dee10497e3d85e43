// The layout files of the profile comparison, drawn from a fixed seed: the
// driver's seven keys in sections with similar names, and every corner the
// two readers might disagree on, mixed at random.
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "perfil_perguntas.h"

namespace {

using Texto = std::vector<unsigned long>;  // code points (0x80 to 0x9F: bytes of code page 1252)

const char* const Chaves[] = {"Valor", "Extenso", "Favorecido", "Cidade", "Mensagem", "Data", "eSpacamento"};
const char* const Secoes[] = {"Banco", "banco", "BANCO", "Banco1", "Banco 1", "Banco  1", "Ban co", "Banco]x",
                              "Banco\xe9", "#Banco", "Itau", "", "Banco\t1"};

class Gerador {
public:
    explicit Gerador(unsigned semente) : aleatorio_(semente) {}

    int Ate(int n) { return static_cast<int>(aleatorio_() % static_cast<unsigned>(n)); }
    bool Chance(int porCento) { return Ate(100) < porCento; }
    template <class T, std::size_t N>
    const T& Um(const T (&v)[N]) {
        return v[Ate(static_cast<int>(N))];
    }

    void Poe(Texto& t, const std::string& s) {
        for (unsigned char c : s) t.push_back(c);
    }
    std::string Brancos() {
        static const char* const b[] = {"", "", "", " ", "  ", "\t", " \t ", "\x0b", "\x0c", "\x1a"};
        return Um(b);
    }
    std::string FimLinha() {
        static const char* const f[] = {"\n", "\n", "\r\n", "\r", "\n\n", "\r\r\n"};
        return Um(f);
    }
    std::string Caso(const std::string& s) {
        std::string r = s;
        const int modo = Ate(6);
        for (char& c : r) {
            if (modo == 1 && c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
            if (modo == 2 && c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
            if (modo == 3 && Chance(50) && ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')))
                c = static_cast<char>(c ^ 32);
        }
        return r;
    }
    std::string Numeros() {
        std::string s;
        const int n = 1 + Ate(6);
        for (int i = 0; i < n; ++i) {
            if (i > 0) s += Chance(90) ? "," : " , ";
            s += std::to_string(Ate(Chance(80) ? 100 : 1000));
        }
        return s;
    }
    // A value: numbers, quoted or not, long ones around the buffer's size.
    void Valor(Texto& t, bool unicode) {
        std::string v = Numeros();
        const int forma = Ate(14);
        if (forma == 0) v = std::string(static_cast<std::size_t>(76 + Ate(7)), static_cast<char>('1' + Ate(9)));
        if (forma == 1) v = "ERR";
        if (forma == 2) v = "";
        if (forma == 3) v += "\x00" + Numeros();
        if (forma == 4) v += " ;" + Numeros();
        if (forma == 5) v += "\xe9\xa0\x80";
        const char aspas = Chance(25) ? (Chance(50) ? '"' : '\'') : 0;
        std::string antes, depois;
        if (aspas != 0) {
            antes = std::string(1, aspas);
            const int fecho = Ate(8);
            depois = fecho == 0 ? "" : fecho == 1 ? std::string(1, aspas == '"' ? '\'' : '"') : std::string(1, aspas);
            if (Chance(15)) v = std::string(static_cast<std::size_t>(76 + Ate(6)), '7');
            if (Chance(10)) v = "";
        }
        Poe(t, antes + Brancos() + v);
        if (unicode && Chance(20)) t.push_back(Chance(50) ? 0x4E00 : 0x1F600);
        Poe(t, Brancos() + depois);
    }
    void Chave(Texto& t, const std::string& nome, bool unicode) {
        Poe(t, Brancos() + Caso(nome) + Brancos());
        if (Chance(92)) {
            t.push_back('=');
            Poe(t, Brancos());
            Valor(t, unicode);
        }
        Poe(t, Brancos() + FimLinha());
    }
    void Cabecalho(Texto& t, const std::string& nome) {
        Poe(t, Brancos());
        const int forma = Ate(12);
        if (forma == 0)
            Poe(t, "[" + nome);  // no "]": an entry
        else if (forma == 1)
            Poe(t, "[" + Brancos() + Caso(nome) + Brancos() + "] ; " + Numeros());
        else if (forma == 2)
            Poe(t, "[" + nome + "]]");
        else if (forma == 3)
            Poe(t, "x[" + nome + "]");
        else
            Poe(t, "[" + Brancos() + Caso(nome) + Brancos() + "]");
        Poe(t, Brancos() + FimLinha());
    }
    // One line of a section, of any kind.
    void Linha(Texto& t, bool unicode) {
        switch (Ate(16)) {
            case 0: Poe(t, Brancos() + FimLinha()); return;
            case 1: Poe(t, ";" + Caso(Um(Chaves)) + "=" + Numeros() + FimLinha()); return;
            case 2: Poe(t, "#" + Caso(Um(Chaves)) + "=" + Numeros() + FimLinha()); return;
            case 3: Poe(t, Brancos() + "=" + Numeros() + FimLinha()); return;
            case 4: Poe(t, Caso(Um(Chaves)) + Brancos() + FimLinha()); return;  // no "="
            case 5: Poe(t, "Outra" + std::to_string(Ate(30)) + "=" + Numeros() + FimLinha()); return;
            case 6: Poe(t, std::string(static_cast<std::size_t>(70 + Ate(20)), 'K') + "=1" + FimLinha()); return;
            case 7: Poe(t, std::string(static_cast<std::size_t>(Ate(6000)), 'L') + "=" + FimLinha()); return;
            case 8: Poe(t, Caso(Um(Chaves)) + std::string(1, '\0') + "x=1" + FimLinha()); return;
            default: Chave(t, Um(Chaves), unicode); return;
        }
    }
    void Secao(Texto& t, bool unicode) {
        Cabecalho(t, Um(Secoes));
        if (Chance(30)) Poe(t, Brancos() + "=" + Numeros() + FimLinha());  // an empty name first
        const int linhas = Ate(Chance(10) ? 40 : 14);
        for (int i = 0; i < linhas; ++i) Linha(t, unicode);
    }
    Texto Arquivo(bool unicode) {
        Texto t;
        if (Chance(25))
            for (int i = Ate(4); i >= 0; --i) Linha(t, unicode);  // before any header
        for (int i = 1 + Ate(6); i > 0; --i) Secao(t, unicode);
        return t;
    }

private:
    std::mt19937 aleatorio_;
};

// Code page 1252's bytes 0x80 to 0x9F in Unicode (the five the page lacks pass through).
unsigned long Unicode(unsigned long c) {
    static const unsigned short alto[32] = {0x20AC, 0x81,   0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                            0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x8D,   0x017D, 0x8F,
                                            0x90,   0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                            0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x9D,   0x017E, 0x0178};
    return c >= 0x80 && c <= 0x9F ? alto[c - 0x80] : c;
}

std::string Codifica(const Texto& t, int marca) {
    std::string s;
    auto u16 = [&](unsigned long u) {
        const char a = static_cast<char>(u & 0xFF), b = static_cast<char>(u >> 8);
        if (marca == 2) s += {a, b};
        else s += {b, a};
    };
    if (marca == 1) s = "\xef\xbb\xbf";
    if (marca == 2) s = "\xff\xfe";
    if (marca == 3) s = "\xfe\xff";
    for (unsigned long c : t) {
        const unsigned long u = Unicode(c);
        if (marca == 0) {
            s.push_back(static_cast<char>(c));
        } else if (marca == 1) {
            if (u < 0x80) {
                s.push_back(static_cast<char>(u));
            } else if (u < 0x800) {
                s += {static_cast<char>(0xC0 | (u >> 6)), static_cast<char>(0x80 | (u & 0x3F))};
            } else if (u < 0x10000) {
                s += {static_cast<char>(0xE0 | (u >> 12)), static_cast<char>(0x80 | ((u >> 6) & 0x3F)),
                      static_cast<char>(0x80 | (u & 0x3F))};
            } else {
                s += {static_cast<char>(0xF0 | (u >> 18)), static_cast<char>(0x80 | ((u >> 12) & 0x3F)),
                      static_cast<char>(0x80 | ((u >> 6) & 0x3F)), static_cast<char>(0x80 | (u & 0x3F))};
            }
        } else if (u >= 0x10000) {
            u16(0xD800 + ((u - 0x10000) >> 10));
            u16(0xDC00 + ((u - 0x10000) & 0x3FF));
        } else {
            u16(u);
        }
    }
    return s;
}

}  // namespace

// Writes FILES layout files into DIR (each under a name of its own, as the
// Windows reader keeps files it has read) and DIR/perguntas: for each file,
// the section test and the seven key reads for several section names, with
// blanks around some of them.
int Gera(const std::string& dir, int arquivos, unsigned semente) {
    Gerador g(semente);
    std::FILE* perguntas = std::fopen((dir + "/perguntas").c_str(), "wb");
    if (perguntas == nullptr) {
        std::fprintf(stderr, "perfil_posix: cannot write %s/perguntas\n", dir.c_str());
        return 1;
    }
    static const char* const EmVolta[] = {"", "", "", "", " ", "\t", "  "};
    for (int i = 0; i < arquivos; ++i) {
        const int marca = g.Chance(85) ? 0 : 1 + g.Ate(3);
        const std::string nome = "layout" + std::to_string(semente) + "-" + std::to_string(i) + ".ini";
        const std::string conteudo = Codifica(g.Arquivo(marca != 0), marca);
        std::FILE* f = std::fopen((dir + "/" + nome).c_str(), "wb");
        if (f == nullptr || std::fwrite(conteudo.data(), 1, conteudo.size(), f) != conteudo.size()) {
            std::fprintf(stderr, "perfil_posix: cannot write %s/%s\n", dir.c_str(), nome.c_str());
            return 1;
        }
        std::fclose(f);
        for (int k = 0; k < 5; ++k) {
            perfil::Pergunta p;
            p.arquivo = nome;
            p.secao = g.Caso(g.Um(Secoes));
            if (g.Chance(20)) p.secao = g.Um(EmVolta) + p.secao + g.Um(EmVolta);
            perfil::EscrevePergunta(perguntas, p);
            p.temChave = true;
            for (const char* chave : Chaves) {
                p.chave = g.Chance(10) ? g.Um(EmVolta) + g.Caso(chave) + g.Um(EmVolta) : chave;
                perfil::EscrevePergunta(perguntas, p);
            }
        }
    }
    std::fclose(perguntas);
    return 0;
}
