#include "vltx/decodifica_log.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <vector>

#include "comum/quadro.h"
#include "vltx/significado.h"
#include "vltx/texto_longo.h"

namespace {

// What starts a record, behind its line feed.
constexpr std::string_view Prefixos[] = {
    "TX [",
    "RX [",
    "Descartado [",
    "Erro DLL [",
    "Erro de Sistema [",
    "Erro de Acesso ao Registry [",
    "Criada Chave Registry: [",
    "Leitura Entrada Registry: [",
    "Atualizada Entrada Registry: [",
    "Inicio LOG: ",
};
constexpr std::size_t MaiorPrefixo = 30;

// The file read a block at a time.
constexpr std::size_t BlocoLido = std::size_t{1} << 20;
// A stretch without a record's start is handed on in pieces this long.
constexpr std::size_t Pedaco = std::size_t{1} << 20;
// The longest frame of the table: all of a frame's fields lie within it.
constexpr std::size_t MaiorQuadroLido = 856;
// The decoded text goes out in pieces about this long.
constexpr std::size_t SaidaJunta = std::size_t{64} << 10;

// The file's text, seen through a window that slides along it. The file
// stores every line feed, frame bytes included, as CR LF: the CR that the
// driver put in front of each one is dropped as the bytes come in. Positions
// count in the text from its start; a view into the window lasts until the
// next Carrega or Solta.
class TextoDoArquivo {
public:
    explicit TextoDoArquivo(const LeituraLog& entrada) : entrada_(entrada) {}

    // Loads the text up to ate; false when it ends before.
    bool Carrega(std::size_t ate) {
        while (Fim() < ate && !acabou_) Le();
        return Fim() >= ate;
    }
    // The end of what is loaded: the text's end once it has been reached.
    std::size_t Fim() const { return base_ + janela_.size(); }
    char Em(std::size_t p) const { return janela_[p - base_]; }
    // Up to n bytes from p, fewer where the text ends.
    std::string_view Trecho(std::size_t p, std::size_t n) {
        Carrega(p + n);
        if (p >= Fim()) return {};
        return std::string_view(janela_).substr(p - base_, n);
    }
    // Nothing before p will be asked for again.
    void Solta(std::size_t p) {
        const std::size_t sobra = p - base_;
        if (sobra < BlocoLido || sobra < janela_.size() / 2) return;
        janela_.erase(0, sobra);
        base_ = p;
    }

private:
    void Le() {
        bloco_.resize(BlocoLido);
        const std::size_t n = entrada_(bloco_.data(), bloco_.size());
        if (n == 0) {
            acabou_ = true;
            if (crGuardado_) janela_ += '\r';
            crGuardado_ = false;
            return;
        }
        const char* p = bloco_.data();
        const char* const fim = p + n;
        if (crGuardado_ && *p != '\n') janela_ += '\r';
        crGuardado_ = false;
        // A CR at the block's end waits for the next block's first byte.
        const char* ultimo = fim;
        if (fim[-1] == '\r') {
            crGuardado_ = true;
            --ultimo;
        }
        while (p < ultimo) {
            const auto* cr = static_cast<const char*>(std::memchr(p, '\r', static_cast<std::size_t>(ultimo - p)));
            if (cr == nullptr) {
                janela_.append(p, ultimo);
                break;
            }
            janela_.append(p, cr);
            if (cr + 1 == ultimo || cr[1] != '\n') janela_ += '\r';
            p = cr + 1;
        }
    }

    const LeituraLog& entrada_;
    std::string janela_;
    std::size_t base_ = 0;
    std::vector<char> bloco_;
    bool acabou_ = false;
    bool crGuardado_ = false;
};

// strtol over text that may come in pieces: white space, one sign, digits;
// the value saturates as strtol's does.
class Numero {
public:
    void Le(std::string_view s) {
        for (char c : s) {
            if (estado_ == Espacos && (c == ' ' || (c >= '\t' && c <= '\r'))) continue;
            if (estado_ == Espacos && (c == '+' || c == '-')) {
                negativo_ = c == '-';
                estado_ = Sinal;
                continue;
            }
            if (estado_ != Fim && c >= '0' && c <= '9') {
                estado_ = Digitos;
                Acrescenta(static_cast<unsigned long>(c - '0'));
                continue;
            }
            estado_ = Fim;
            return;
        }
    }
    long Valor() const {
        if (!negativo_) return static_cast<long>(valor_);
        return valor_ == 0 ? 0 : -static_cast<long>(valor_ - 1) - 1;
    }

private:
    void Acrescenta(unsigned long d) {
        const unsigned long maximo = negativo_ ? static_cast<unsigned long>(LONG_MAX) + 1 : LONG_MAX;
        valor_ = valor_ > (maximo - d) / 10 ? maximo : valor_ * 10 + d;
    }
    enum { Espacos, Sinal, Digitos, Fim } estado_ = Espacos;
    bool negativo_ = false;
    unsigned long valor_ = 0;
};

class Leitor {
public:
    // registro, when given, gets the exchange records as they are read,
    // and no text is made.
    Leitor(const LeituraLog& entrada, const EscritaLog* saida, const std::function<void(const RegistroLog&)>* registro)
        : t_(entrada), saida_(saida), registro_(registro) {}

    void Decodifica() {
        if (t_.Trecho(0, 12) == "Inicio LOG: ") Cabeca();
        while (t_.Carrega(p_ + 1)) {
            t_.Solta(p_);
            if (Fronteira(p_)) {
                Registro();
            } else {
                Texto();
            }
        }
        Descarrega();
    }

private:
    // A record starts at p (just behind its line feed).
    bool ComecaRegistro(std::size_t p) {
        const std::string_view r = t_.Trecho(p, MaiorPrefixo);
        for (std::string_view prefixo : Prefixos)
            if (r.substr(0, prefixo.size()) == prefixo) return true;
        return false;
    }
    // The end of the text, or the line feed of the next record.
    bool Fronteira(std::size_t p) {
        if (!t_.Carrega(p + 1)) return p == t_.Fim();
        return t_.Em(p) == '\n' && ComecaRegistro(p + 1);
    }
    bool FimDeLinha(std::size_t p) {
        if (!t_.Carrega(p + 1)) return p == t_.Fim();
        return t_.Em(p) == '\n';
    }
    // The next record's line feed at p or behind it and before limite, or
    // the text's end when it comes first; npos when neither is before limite.
    // A damaged log has records whose length is unknown, each read up to the
    // next of these: what a search found is kept, so that no stretch is
    // searched twice.
    std::size_t ProximaFronteira(std::size_t p, std::size_t limite) {
        if (p < buscaDe_ || p > buscaAte_) {
            buscaDe_ = buscaAte_ = p;
            achada_ = false;
        }
        if (achada_) return buscaAte_;
        std::size_t q = buscaAte_;
        while (q < limite) {
            if (!t_.Carrega(q + 1)) return buscaAte_ = t_.Fim();  // the text ends first
            const std::size_t ate = std::min(t_.Fim(), limite);
            const std::string_view v = t_.Trecho(q, ate - q);
            const auto* nl = static_cast<const char*>(std::memchr(v.data(), '\n', v.size()));
            if (nl == nullptr) {
                q = ate;
                continue;
            }
            q += static_cast<std::size_t>(nl - v.data());
            if (ComecaRegistro(q + 1)) {
                achada_ = true;
                return buscaAte_ = q;
            }
            ++q;
        }
        buscaAte_ = std::max(buscaAte_, limite);
        return std::string_view::npos;
    }
    // The bytes from p to the next record (or the text's end), handed to
    // parte in pieces of at most Pedaco bytes: a short record in one piece.
    // Gives where they end.
    template <class Parte>
    std::size_t AteAFronteira(std::size_t p, Parte parte) {
        for (;;) {
            const std::size_t fim = ProximaFronteira(p, p + Pedaco);
            if (fim != std::string_view::npos) {
                parte(t_.Trecho(p, fim - p));
                return fim;
            }
            parte(t_.Trecho(p, Pedaco));
            p += Pedaco;
            t_.Solta(p);
        }
    }

    // The text out, gathered into larger pieces.
    void Escreve(std::string_view s) {
        if (saida_ == nullptr) return;
        pronto_.append(s);
        if (pronto_.size() >= SaidaJunta) Descarrega();
    }
    void Descarrega() {
        if (saida_ != nullptr && !pronto_.empty()) (*saida_)(pronto_);
        pronto_.clear();
    }
    void Linha(std::string_view s) {
        Escreve(s);
        Escreve("\n");
    }
    // A line whose middle may be long: head, body, tail.
    void Linha(const std::string& cabeca, TextoLongo& corpo, std::string_view cauda) {
        Escreve(cabeca);
        corpo.Despeja([this](std::string_view s) { Escreve(s); });
        Linha(cauda);
    }

    void Registra() {
        r_.Milissegundo = MilissegundoDoDia(r_.Hora);
        r_.Linha = ultimo_;
        (*registro_)(r_);
    }
    // The record being read, cleared for the next one.
    RegistroLog& Novo(RegistroLog::Tipos tipo, const std::string& hora) {
        r_.Tipo = tipo;
        r_.Hora = hora;
        r_.Status = -1;
        r_.Bytes = 0;
        r_.Codigo = 0;
        r_.Texto.clear();
        return r_;
    }

    // "hh:mm:ss.mmm" as milliseconds since midnight; -1 for anything else.
    static long MilissegundoDoDia(const std::string& hora) {
        if (hora.size() != 12 || hora[2] != ':' || hora[5] != ':' || hora[8] != '.') return -1;
        long partes[4] = {};
        for (int i = 0; i < 4; ++i) {
            for (int d = 0; d < (i == 3 ? 3 : 2); ++d) {
                const char c = hora[static_cast<std::size_t>(i * 3 + d)];
                if (c < '0' || c > '9') return -1;
                partes[i] = partes[i] * 10 + (c - '0');
            }
        }
        if (partes[0] > 23 || partes[1] > 59 || partes[2] > 59) return -1;
        return ((partes[0] * 60 + partes[1]) * 60 + partes[2]) * 1000 + partes[3];
    }

    // The head line "Inicio LOG: ...", as it is, up to its line feed.
    void Cabeca() {
        for (;;) {
            const std::string_view v = t_.Trecho(p_, Pedaco);
            const std::size_t nl = v.find('\n');
            if (registro_ == nullptr) Escreve(v.substr(0, nl));
            if (nl != std::string_view::npos) {
                p_ += nl;
                break;
            }
            p_ += v.size();
            t_.Solta(p_);
            if (v.empty()) break;
        }
        if (registro_ == nullptr) Escreve("\n");
    }

    // Text outside any record (empty lines, a torn record): line by line,
    // the empty lines left out.
    void Texto() {
        const std::size_t inicio = t_.Em(p_) == '\n' ? p_ + 1 : p_;
        bool cheia = false;  // the line so far has bytes
        p_ = AteAFronteira(inicio, [&](std::string_view resto) {
            if (registro_ != nullptr) return;
            while (!resto.empty()) {
                const std::size_t nl = resto.find('\n');
                const std::string_view linha = resto.substr(0, nl);
                if (!linha.empty()) Escreve(Legivel(linha));
                cheia = cheia || !linha.empty();
                if (nl == std::string_view::npos) break;
                if (cheia) Escreve("\n");
                cheia = false;
                resto.remove_prefix(nl + 1);
            }
        });
        if (cheia) Escreve("\n");
    }

    // "[hh:mm:ss mmmms] - " as "hh:mm:ss.mmm"; p moves behind it. A stamp
    // ends within 20 bytes: the search stops there, for a torn stamp must
    // not send it through the rest of the file.
    std::string Carimbo(std::size_t& p) {
        constexpr std::size_t Maximo = 20;
        const std::string_view perto = t_.Trecho(p, Maximo + 4);
        std::size_t fim = perto.find("] - ");
        if (fim == std::string_view::npos) return "??:??:??.???";
        std::string_view dentro = perto.substr(1, fim - 1);  // "hh:mm:ss mmmms"
        p += fim + 4;
        if (dentro.size() == 14 && dentro[8] == ' ' && dentro.substr(12) == "ms")
            return std::string(dentro.substr(0, 8)) + "." + std::string(dentro.substr(9, 3));
        return std::string(dentro);
    }

    void Registro() {
        const std::size_t inicio = p_ + 1;
        const std::string_view r = t_.Trecho(inicio, MaiorPrefixo);
        if (r.substr(0, 4) == "TX [") {
            std::size_t p = inicio + 3;
            const std::string hora = Carimbo(p);
            Envio(hora, p);
        } else if (r.substr(0, 4) == "RX [") {
            std::size_t p = inicio + 3;
            const std::string hora = Carimbo(p);
            Resposta(hora, p);
        } else if (r.substr(0, 12) == "Descartado [") {
            std::size_t p = inicio + 11;
            const std::string hora = Carimbo(p);
            Descarte(hora, p);
        } else if (r.substr(0, 10) == "Erro DLL [") {
            std::size_t p = inicio + 9;
            const std::string hora = Carimbo(p);
            ErroDll(hora, p);
        } else if (r.substr(0, 17) == "Erro de Sistema [") {
            ErroSistema(inicio + 17);
        } else {
            Ajustes(inicio);
        }
    }

    // The settings lines, as they are, the line feeds at the record's end
    // left out: a line feed goes out once bytes follow it.
    void Ajustes(std::size_t inicio) {
        bool algum = false;
        std::size_t quebras = 0;
        p_ = AteAFronteira(inicio, [&](std::string_view resto) {
            if (registro_ != nullptr) return;
            while (!resto.empty()) {
                const std::size_t nl = resto.find('\n');
                const std::string_view linha = resto.substr(0, nl);
                if (!linha.empty()) {
                    for (; quebras > 0; --quebras) Escreve("\n");
                    Escreve(Legivel(linha));
                    algum = true;
                }
                if (nl == std::string_view::npos) break;
                ++quebras;
                resto.remove_prefix(nl + 1);
            }
        });
        if (algum) Escreve("\n");
    }

    void ErroDll(const std::string& hora, std::size_t p) {
        Numero numero;
        if (registro_ == nullptr) Escreve(hora + " Erro DLL ");
        p_ = AteAFronteira(p, [&](std::string_view texto) {
            numero.Le(texto);
            if (registro_ == nullptr) Escreve(Legivel(texto));
        });
        const long codigo = numero.Valor();
        if (registro_ != nullptr) {
            Novo(RegistroLog::ErroDll, hora).Codigo = codigo;
            Registra();
            return;
        }
        const char* falha = FalhaDeLinha(static_cast<std::int32_t>(codigo));
        Linha(std::string(": ") + (falha != nullptr ? falha : "unknown code"));
    }

    // The frame's length comes from its row; the cheque's two rows are told
    // apart by where the next record starts.
    void Envio(const std::string& hora, std::size_t p) {
        const Comando* c = nullptr;
        std::size_t tamanho = 0;
        if (t_.Carrega(p + 4)) {
            const char codigo[2] = {t_.Em(p + 2), t_.Em(p + 3)};
            // The next record right behind the frame; else at least a line end.
            for (bool estrito : {true, false}) {
                for (const Comando& linha : tabela::Comandos) {
                    if (c != nullptr || linha.Codigo[0] != codigo[0] || linha.Codigo[1] != codigo[1]) continue;
                    if (estrito ? Fronteira(p + linha.TamanhoQuadro) : FimDeLinha(p + linha.TamanhoQuadro)) {
                        c = &linha;
                        tamanho = linha.TamanhoQuadro;
                    }
                }
            }
        }
        std::string esperado;
        std::string comeco;  // a frame's first bytes, all its fields among them
        TextoLongo desconhecido;  // a frame without a row, readable
        if (c == nullptr) {
            const std::size_t fim = AteAFronteira(p, [&](std::string_view parte) {
                if (comeco.size() < MaiorQuadroLido) comeco.append(parte.substr(0, MaiorQuadroLido - comeco.size()));
                if (registro_ == nullptr && (comeco.size() < 4 || ComandoPorCodigo(comeco.substr(2, 2).c_str()) == nullptr))
                    desconhecido.Acrescenta(Legivel(parte));
            });
            tamanho = fim - p;
            if (comeco.size() >= 4) c = LinhaDoQuadro(std::string_view(comeco).substr(2, 2), tamanho);
            if (c != nullptr) esperado = ", expected " + std::to_string(c->TamanhoQuadro);
        } else {
            comeco = t_.Trecho(p, tamanho);
        }
        p_ = p + tamanho;
        ultimo_ = c;
        primeiroCampo_ = comeco.size() > 4 ? comeco[4] : '\0';
        if (registro_ != nullptr) {
            Novo(RegistroLog::Envio, hora).Bytes = tamanho;
            Registra();
            return;
        }
        if (c == nullptr) {
            Linha(hora + " TX unknown frame, " + std::to_string(tamanho) + " bytes: ", desconhecido, "");
            return;
        }
        Linha(hora + " TX " + c->Codigo + " " + c->Descricao + " (" + c->Exportacao + "), " +
              std::to_string(tamanho) + " bytes" + esperado);
        Campos(*c, comeco);
    }

    void Campos(const Comando& c, std::string_view quadro) {
        std::vector<CampoLido> campos = LeCampos(c, quadro);
        std::size_t largura = 0;
        for (const CampoLido& f : campos) largura = std::max(largura, std::string_view(f.Nome).size());
        const std::string recuo(13, ' ');
        for (std::size_t i = 0; i < campos.size(); ++i) {
            const CampoLido& f = campos[i];
            std::string nome = f.Nome;
            nome.resize(largura, ' ');
            if (f.Bloco && f.Valor.size() > 40) {
                Linha(recuo + "  " + std::string(f.Nome));
                for (const std::string& l : QuebraLinhas(BytesDoCampo(c.Campos[i], quadro), 40))
                    Linha(l.empty() ? recuo + "    |" : recuo + "    | " + l);
            } else {
                Linha(f.Valor.empty() ? recuo + "  " + std::string(f.Nome) : recuo + "  " + nome + "  " + f.Valor);
            }
        }
    }

    // The reply's length comes from the last frame's row; without a row, or
    // when no line ends there, it is where the next record starts.
    void Resposta(const std::string& hora, std::size_t p) {
        std::size_t tamanho = 0;
        int primeiro = -1;
        TextoLongo legivel;
        if (ultimo_ != nullptr && FimDeLinha(p + ultimo_->TamanhoResposta)) {
            tamanho = ultimo_->TamanhoResposta;
            const std::string_view resposta = t_.Trecho(p, tamanho);
            if (!resposta.empty()) primeiro = static_cast<unsigned char>(resposta[0]);
            if (registro_ == nullptr && tamanho != 1) legivel.Acrescenta(Legivel(resposta));
        } else {
            tamanho = AteAFronteira(p, [&](std::string_view parte) {
                              if (primeiro < 0 && !parte.empty()) primeiro = static_cast<unsigned char>(parte[0]);
                              if (registro_ == nullptr) legivel.Acrescenta(Legivel(parte));
                          }) - p;
        }
        p_ = p + tamanho;
        if (registro_ != nullptr) {
            RegistroLog& r = Novo(RegistroLog::Resposta, hora);
            r.Bytes = tamanho;
            if (tamanho == 1) r.Status = primeiro;
            Registra();
            return;
        }
        if (tamanho == 1) {
            std::string linha = hora + " RX status " + std::to_string(primeiro);
            if (ultimo_ != nullptr) {
                if (const char* s = StatusDoContrato(ultimo_->Codigo, primeiroCampo_, primeiro))
                    linha += std::string(": ") + s;
            }
            Linha(linha);
        } else {
            Linha(hora + " RX " + std::to_string(tamanho) + " bytes \"", legivel, "\"");
        }
    }

    // What the driver took off the line after a failed exchange (a late
    // reply, the rest of a cut one): its length is where the next record
    // starts, and it is no reply to the frame before it.
    void Descarte(const std::string& hora, std::size_t p) {
        std::string comeco;  // for the summary, its first 40 bytes
        TextoLongo legivel;
        const std::size_t fim = AteAFronteira(p, [&](std::string_view parte) {
            if (registro_ != nullptr) {
                if (comeco.size() < 40) comeco.append(parte.substr(0, 40 - comeco.size()));
            } else {
                legivel.Acrescenta(Legivel(parte));
            }
        });
        const std::size_t tamanho = fim - p;
        p_ = fim;
        if (registro_ != nullptr) {
            RegistroLog& r = Novo(RegistroLog::Descarte, hora);
            r.Bytes = tamanho;
            r.Texto = Legivel(comeco);
            Registra();
            return;
        }
        Linha(hora + " Descartado " + std::to_string(tamanho) + (tamanho == 1 ? " byte" : " bytes") +
                  " discarded after a failed exchange \"",
              legivel, "\"");
    }

    // Why the system failed the call behind the failure before it:
    // "codigo]: chamada: NOME" after the record's name, shown as
    // "chamada: NOME (codigo)". A short record: its first piece is all of it.
    void ErroSistema(std::size_t p) {
        std::string registro;
        p_ = AteAFronteira(p, [&](std::string_view parte) {
            if (registro.size() < 200) registro.append(parte.substr(0, 200 - registro.size()));
        });
        while (!registro.empty() && registro.back() == '\n') registro.pop_back();
        const std::size_t fecha = registro.find("]: ");
        const std::string texto = fecha == std::string::npos
                                      ? Legivel(registro)
                                      : Legivel(std::string_view(registro).substr(fecha + 3)) + " (" +
                                            Legivel(std::string_view(registro).substr(0, fecha)) + ")";
        if (registro_ != nullptr) {
            Novo(RegistroLog::ErroSistema, "").Texto = texto;
            Registra();
            return;
        }
        Linha("             system: " + texto);
    }

    TextoDoArquivo t_;
    const EscritaLog* saida_;
    const std::function<void(const RegistroLog&)>* registro_;
    std::size_t p_ = 0;
    std::string pronto_;
    RegistroLog r_;
    const Comando* ultimo_ = nullptr;
    char primeiroCampo_ = '\0';  // the last frame's byte at offset 4
    // No record starts between buscaDe_ and buscaAte_; one does at
    // buscaAte_ when achada_.
    std::size_t buscaDe_ = 0, buscaAte_ = 0;
    bool achada_ = false;
};

}  // namespace

LeituraLog LeituraDeMemoria(std::string_view arquivo) {
    return [arquivo](char* destino, std::size_t n) mutable {
        n = std::min(n, arquivo.size());
        std::memcpy(destino, arquivo.data(), n);
        arquivo.remove_prefix(n);
        return n;
    };
}

void DecodificaLog(const LeituraLog& entrada, const EscritaLog& saida) {
    Leitor(entrada, &saida, nullptr).Decodifica();
}

std::string DecodificaLog(std::string_view arquivo) {
    std::string texto;
    DecodificaLog(LeituraDeMemoria(arquivo), [&](std::string_view s) { texto += s; });
    return texto;
}

void RegistrosDoLog(const LeituraLog& entrada, const std::function<void(const RegistroLog&)>& registro) {
    Leitor(entrada, nullptr, &registro).Decodifica();
}
