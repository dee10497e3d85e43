// vltx log --summary: what the decoder read, counted. An exchange is a TX
// record and what follows it: its RX (the reply) or its Erro DLL (the
// failure); its time is from the TX stamp to that record's stamp.
#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "comum/quadro.h"
#include "vltx/decodifica_log.h"
#include "vltx/significado.h"

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

}  // namespace

std::string ResumoDoLog(std::string_view arquivo) {
    const std::vector<RegistroLog> registros = RegistrosDoLog(arquivo);
    std::vector<PorComando> comandos;  // in the order of their first frame
    std::vector<std::string> falhas;
    std::vector<Troca> trocas;
    std::vector<std::string> descartes;
    std::size_t bytesDescartados = 0;
    int enviados = 0;
    const RegistroLog* pendente = nullptr;  // the TX still waiting for its RX or Erro DLL
    PorComando* doPendente = nullptr;

    for (const RegistroLog& r : registros) {
        switch (r.Tipo) {
            case RegistroLog::Envio: {
                ++enviados;
                auto i = std::find_if(comandos.begin(), comandos.end(),
                                      [&](const PorComando& p) { return p.Linha == r.Linha; });
                if (i == comandos.end()) {
                    comandos.push_back({});
                    comandos.back().Linha = r.Linha;
                    i = comandos.end() - 1;
                }
                ++i->Enviados;
                pendente = &r;
                doPendente = &*i;
                break;
            }
            case RegistroLog::Resposta: {
                if (pendente == nullptr) break;  // no frame waits for it
                const long ms = Intervalo(pendente->Milissegundo, r.Milissegundo);
                ++doPendente->Respostas;
                if (ms >= 0) {
                    doPendente->Total += ms;
                    ++doPendente->Medidas;
                    doPendente->Maximo = std::max(doPendente->Maximo, ms);
                    trocas.push_back({pendente->Hora, pendente->Linha, ms});
                }
                if (r.Status > 0) ++doPendente->Status[r.Status];
                pendente = nullptr;
                break;
            }
            case RegistroLog::ErroDll: {
                const char* falha = FalhaDeLinha(static_cast<std::int32_t>(r.Codigo));
                std::string linha = "  " + r.Hora + "  ";
                if (pendente != nullptr) {
                    ++doPendente->Falhas;
                    linha += NomeDo(pendente->Linha) + ", " + Ms(Intervalo(pendente->Milissegundo, r.Milissegundo)) +
                             " after its TX";
                } else {
                    linha += "no frame pending (opening or closing the port)";
                }
                falhas.push_back(linha + ": " + std::to_string(r.Codigo) + " " +
                                 (falha != nullptr ? falha : "unknown code"));
                pendente = nullptr;
                break;
            }
            case RegistroLog::ErroSistema:  // the system's reason, under its failure
                if (!falhas.empty()) falhas.back() += "\n      system: " + r.Texto;
                break;
            case RegistroLog::Descarte:
                bytesDescartados += r.Bytes;
                descartes.push_back("  " + r.Hora + "  " + std::to_string(r.Bytes) + (r.Bytes == 1 ? " byte" : " bytes") +
                                    " after " + NomeDo(r.Linha) + ": \"" + r.Texto +
                                    (r.Bytes > 40 ? "\"..." : "\""));
                break;
        }
    }

    std::string s = Quantos(static_cast<std::size_t>(enviados), "frame") + " sent, " + Quantos(falhas.size(), "failure") + ", " +
                    Quantos(descartes.size(), "discarded record") + "\n";
    if (comandos.empty()) return s;

    std::size_t largura = 8;
    for (const PorComando& c : comandos) largura = std::max(largura, NomeDo(c.Linha).size());
    s += "\n" + Coluna("Command", largura + 2) + "   sent replied  failed   mean TX-RX    max TX-RX\n";
    for (const PorComando& c : comandos) {
        s += "  " + Coluna(NomeDo(c.Linha), largura) + Direita(std::to_string(c.Enviados), 7) +
             Direita(std::to_string(c.Respostas), 8) + Direita(std::to_string(c.Falhas), 8) +
             Direita(c.Medidas > 0 ? Ms(c.Total / c.Medidas) : "-", 13) +
             Direita(c.Medidas > 0 ? Ms(c.Maximo) : "-", 13) + "\n";
    }

    s += "\nFailures\n";
    if (falhas.empty()) s += "  none\n";
    for (const std::string& f : falhas) s += f + "\n";

    s += "\nSlowest exchanges (TX to RX)\n";
    std::stable_sort(trocas.begin(), trocas.end(), [](const Troca& a, const Troca& b) { return a.Ms > b.Ms; });
    if (trocas.size() > Lentas) trocas.resize(Lentas);
    if (trocas.empty()) s += "  none\n";
    for (const Troca& t : trocas) s += "  " + t.Hora + "  " + Direita(Ms(t.Ms), 9) + "  " + NomeDo(t.Linha) + "\n";

    std::string status;
    for (const PorComando& c : comandos)
        for (const auto& [byte, vezes] : c.Status)
            status += "  " + NomeDo(c.Linha) + ": " + std::to_string(byte) + " x" + std::to_string(vezes) + "\n";
    if (!status.empty()) s += "\nStatus bytes other than 0\n" + status;

    s += "\nDiscarded bytes (late or cut replies)\n";
    if (descartes.empty()) s += "  none\n";
    for (const std::string& d : descartes) s += d + "\n";
    if (!descartes.empty())
        s += "  " + Quantos(bytesDescartados, "byte") + " in " + Quantos(descartes.size(), "record") + "\n";
    return s;
}
