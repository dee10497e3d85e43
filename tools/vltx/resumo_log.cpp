// vltx log --summary: what the decoder read, counted. An exchange is a TX
// record and what follows it: its RX (the reply) or its Erro DLL (the
// failure); its time is from the TX stamp to that record's stamp. The
// records are counted as the decoder reads them; the lists of failures and
// discarded bytes, which grow with the log, wait in TextoLongo.
#include <algorithm>
#include <cstdio>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "comum/quadro.h"
#include "vltx/decodifica_log.h"
#include "vltx/significado.h"
#include "vltx/texto_longo.h"

namespace {

constexpr long Dia = 24L * 60 * 60 * 1000;
constexpr std::size_t Lentas = 5;

std::string NomeDo(const Comando* c) {
    if (c == nullptr) return "unknown frame";
    return std::string(c->Codigo) + " " + c->Descricao + " (" + c->Exportacao + ")";
}

// From one stamp to the next; a log runs past midnight into the same file.
long Intervalo(long de, long ate) {
    if (de < 0 || ate < 0) return -1;
    return ate >= de ? ate - de : ate + Dia - de;
}

struct PorComando {
    const Comando* Linha = nullptr;
    int Enviados = 0;
    int Respostas = 0;
    int Falhas = 0;
    long Total = 0;  // ms over the timed replies
    int Medidas = 0;
    long Maximo = -1;
    std::map<int, int> Status;  // status bytes other than 0, and how often
};

struct Troca {
    std::string Hora;
    const Comando* Linha;
    long Ms;
};

// The TX still waiting for its RX or Erro DLL.
struct Pendente {
    std::string Hora;
    long Milissegundo;
    const Comando* Linha;
    std::size_t Indice;  // its command's in the table of commands
};

std::string Quantos(std::size_t n, const char* nome) {
    return std::to_string(n) + " " + nome + (n == 1 ? "" : "s");
}

std::string Ms(long ms) { return ms < 0 ? "?" : std::to_string(ms) + " ms"; }

std::string Coluna(std::string s, std::size_t largura) {
    if (s.size() < largura) s.resize(largura, ' ');
    return s;
}

std::string Direita(const std::string& s, std::size_t largura) {
    return s.size() >= largura ? s : std::string(largura - s.size(), ' ') + s;
}

class Resumo {
public:
    void Registra(const RegistroLog& r) {
        switch (r.Tipo) {
            case RegistroLog::Envio: Envio(r); break;
            case RegistroLog::Resposta: Resposta(r); break;
            case RegistroLog::ErroDll: ErroDll(r); break;
            case RegistroLog::Descarte: Descarte(r); break;
            case RegistroLog::ErroSistema:  // the system's reason, under its failure
                if (falhas_ > 0) textoFalhas_.Acrescenta("      system: " + r.Texto + "\n");
                break;
        }
    }

    void Escreve(const EscritaLog& saida) {
        saida(Quantos(static_cast<std::size_t>(enviados_), "frame") + " sent, " + Quantos(falhas_, "failure") + ", " +
              Quantos(descartes_, "discarded record") + "\n");
        if (comandos_.empty()) return;

        std::size_t largura = 8;
        for (const PorComando& c : comandos_) largura = std::max(largura, NomeDo(c.Linha).size());
        std::string s = "\n" + Coluna("Command", largura + 2) + "   sent replied  failed   mean TX-RX    max TX-RX\n";
        for (const PorComando& c : comandos_) {
            s += "  " + Coluna(NomeDo(c.Linha), largura) + Direita(std::to_string(c.Enviados), 7) +
                 Direita(std::to_string(c.Respostas), 8) + Direita(std::to_string(c.Falhas), 8) +
                 Direita(c.Medidas > 0 ? Ms(c.Total / c.Medidas) : "-", 13) +
                 Direita(c.Medidas > 0 ? Ms(c.Maximo) : "-", 13) + "\n";
        }
        saida(s + "\nFailures\n");
        if (falhas_ == 0) saida("  none\n");
        textoFalhas_.Despeja(saida);

        s = "\nSlowest exchanges (TX to RX)\n";
        if (lentas_.empty()) s += "  none\n";
        for (const Troca& t : lentas_) s += "  " + t.Hora + "  " + Direita(Ms(t.Ms), 9) + "  " + NomeDo(t.Linha) + "\n";

        std::string status;
        for (const PorComando& c : comandos_)
            for (const auto& [byte, vezes] : c.Status)
                status += "  " + NomeDo(c.Linha) + ": " + std::to_string(byte) + " x" + std::to_string(vezes) + "\n";
        if (!status.empty()) s += "\nStatus bytes other than 0\n" + status;

        s += "\nDiscarded bytes (late or cut replies)\n";
        if (descartes_ == 0) s += "  none\n";
        saida(s);
        textoDescartes_.Despeja(saida);
        if (descartes_ > 0) saida("  " + Quantos(bytesDescartados_, "byte") + " in " + Quantos(descartes_, "record") + "\n");
    }

private:
    void Envio(const RegistroLog& r) {
        ++enviados_;
        auto i = std::find_if(comandos_.begin(), comandos_.end(), [&](const PorComando& p) { return p.Linha == r.Linha; });
        if (i == comandos_.end()) {
            comandos_.push_back({});
            comandos_.back().Linha = r.Linha;
            i = comandos_.end() - 1;
        }
        ++i->Enviados;
        pendente_ = Pendente{r.Hora, r.Milissegundo, r.Linha, static_cast<std::size_t>(i - comandos_.begin())};
    }

    void Resposta(const RegistroLog& r) {
        if (!pendente_) return;  // no frame waits for it
        PorComando& c = comandos_[pendente_->Indice];
        const long ms = Intervalo(pendente_->Milissegundo, r.Milissegundo);
        ++c.Respostas;
        if (ms >= 0) {
            c.Total += ms;
            ++c.Medidas;
            c.Maximo = std::max(c.Maximo, ms);
            Lenta({pendente_->Hora, pendente_->Linha, ms});
        }
        if (r.Status > 0) ++c.Status[r.Status];
        pendente_.reset();
    }

    // Among the slowest so far, behind those as slow or slower: the first
    // of equal exchanges stays ahead.
    void Lenta(Troca t) {
        auto i = std::upper_bound(lentas_.begin(), lentas_.end(), t,
                                  [](const Troca& a, const Troca& b) { return a.Ms > b.Ms; });
        if (i == lentas_.end() && lentas_.size() >= Lentas) return;
        lentas_.insert(i, std::move(t));
        if (lentas_.size() > Lentas) lentas_.pop_back();
    }

    void ErroDll(const RegistroLog& r) {
        const char* falha = FalhaDeLinha(static_cast<std::int32_t>(r.Codigo));
        std::string linha = "  " + r.Hora + "  ";
        if (pendente_) {
            ++comandos_[pendente_->Indice].Falhas;
            linha += NomeDo(pendente_->Linha) + ", " + Ms(Intervalo(pendente_->Milissegundo, r.Milissegundo)) +
                     " after its TX";
        } else {
            linha += "no frame pending (opening or closing the port)";
        }
        ++falhas_;
        textoFalhas_.Acrescenta(linha + ": " + std::to_string(r.Codigo) + " " + (falha != nullptr ? falha : "unknown code") +
                                "\n");
        pendente_.reset();
    }

    void Descarte(const RegistroLog& r) {
        bytesDescartados_ += r.Bytes;
        ++descartes_;
        textoDescartes_.Acrescenta("  " + r.Hora + "  " + std::to_string(r.Bytes) + (r.Bytes == 1 ? " byte" : " bytes") +
                                   " after " + NomeDo(r.Linha) + ": \"" + r.Texto + (r.Bytes > 40 ? "\"...\n" : "\"\n"));
    }

    std::vector<PorComando> comandos_;  // in the order of their first frame
    std::optional<Pendente> pendente_;
    int enviados_ = 0;
    std::size_t falhas_ = 0;
    std::size_t descartes_ = 0;
    std::size_t bytesDescartados_ = 0;
    std::vector<Troca> lentas_;  // the slowest exchanges, slowest first
    TextoLongo textoFalhas_;
    TextoLongo textoDescartes_;
};

}  // namespace

void ResumoDoLog(const LeituraLog& entrada, const EscritaLog& saida) {
    Resumo resumo;
    RegistrosDoLog(entrada, [&](const RegistroLog& r) { resumo.Registra(r); });
    resumo.Escreve(saida);
}

std::string ResumoDoLog(std::string_view arquivo) {
    std::string texto;
    ResumoDoLog(LeituraDeMemoria(arquivo), [&](std::string_view s) { texto += s; });
    return texto;
}
