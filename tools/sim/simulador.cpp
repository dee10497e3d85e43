#include "sim/simulador.h"

#include <cstdio>
#include <cstring>

#include "comum/quadro.h"

namespace {

constexpr char Esc = 27;
constexpr char Etx = 3;
constexpr int LimiteCmc7 = 5;
constexpr int LimiteLeitura = 600;

// The status bytes of this printer. The contract names 33, 10 and 2; the
// others are this simulator's, documented in the manual.
constexpr int Aceito = 0;
constexpr int Desconhecido = 1;
constexpr int SegueCmc7 = 2;
constexpr int Ocupada = 10;
constexpr int RelatorioAceito = 33;

std::string Numero(int n, int digitos) {
    char s[32];
    std::snprintf(s, sizeof s, "%0*d", digitos, n);
    return s;
}

std::string Aparado(std::string_view s) {
    while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
    return std::string(s);
}

}  // namespace

bool SeparaHostPorta(const std::string& endereco, std::string& host, std::string& porta, std::string& erro) {
    const std::size_t doisPontos = endereco.rfind(':');
    if (doisPontos == std::string::npos || doisPontos == 0) {
        erro = "--tcp needs HOST:PORT";
        return false;
    }
    host = endereco.substr(0, doisPontos);
    if (host.size() > 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
    porta = endereco.substr(doisPontos + 1);
    return true;
}

std::string HostPorta(const char* host, const char* porta) {
    return (std::strchr(host, ':') ? "[" + std::string(host) + "]" : std::string(host)) + ":" + porta;
}

Simulador::Simulador(const Opcoes& opcoes, Papel& papel) : opcoes_(opcoes), papel_(papel) {}

// One frame into quadro: the header names the command and the table its
// length; false when the simulator is to stop.
bool Simulador::LeQuadro(std::string& quadro) {
    for (;;) {
        if (Le(1, -1) != Leitura::Ok) return false;
        std::size_t esc = entrada_.find(Esc);
        if (esc != 0) {
            const std::size_t lixo = esc == std::string::npos ? entrada_.size() : esc;
            papel_.Nota(std::to_string(lixo) + " bytes without a frame header discarded: " +
                        Legivel(std::string_view(entrada_).substr(0, lixo)));
            entrada_.erase(0, lixo);
            continue;
        }
        Leitura r = Le(4, 1000);
        if (r == Leitura::Parar) return false;
        if (r == Leitura::Curta || entrada_[1] != 'f') {
            papel_.Nota("broken frame header discarded: " + Legivel(std::string_view(entrada_).substr(0, 4)));
            entrada_.erase(0, 1);
            continue;
        }
        const char codigo[3] = {entrada_[2], entrada_[3], 0};
        const Comando* c = ComandoPorCodigo(codigo);
        if (c == nullptr) {
            // No length to go by: whatever follows at once belongs to it.
            Le(4096, 100);
            quadro = entrada_;
            entrada_.clear();
            return true;
        }
        std::size_t tamanho = c->TamanhoQuadro;
        r = Le(tamanho, 2000);
        if (r == Leitura::Parar) return false;
        // The cheque's two layouts share the code: the longer one is what
        // follows without a pause.
        const std::size_t maior = static_cast<std::size_t>(MaiorQuadro(codigo));
        if (r == Leitura::Ok && maior > tamanho) {
            Le(tamanho + 1, 50);
            if (entrada_.size() > tamanho) {
                tamanho = maior;
                r = Le(tamanho, 2000);
                if (r == Leitura::Parar) return false;
            }
        }
        if (r == Leitura::Curta) {
            papel_.Nota(std::string("incomplete frame [") + codigo + "]: " + std::to_string(entrada_.size()) + " of " +
                        std::to_string(tamanho) + " bytes, not answered");
            entrada_.clear();
            continue;
        }
        quadro = entrada_.substr(0, tamanho);
        entrada_.erase(0, tamanho);
        return true;
    }
}

// The drill for a frame: one named for its command before one for every
// command; a stall only for a frame that starts a stream.
const Exercicio* Simulador::ExercicioPara(const std::string& quadro) const {
    if (quadros_ < opcoes_.APartirDe) return nullptr;
    const std::string_view codigo = std::string_view(quadro).substr(2, 2);
    const char tipo = quadro.size() > 4 ? quadro[4] : '\0';
    const bool fluxo = codigo == "53" || (codigo == "16" && tipo >= '4' && tipo <= '7');
    const Exercicio* geral = nullptr;
    for (const Exercicio& e : opcoes_.Exercicios) {
        if (e.Tipo == Exercicio::Pausa && !fluxo) continue;
        if (e.Codigo == codigo) return &e;
        if (e.Codigo.empty() && geral == nullptr) geral = &e;
    }
    return geral;
}

// A stream in chunks with pauses. A partial drill leaves out the end byte;
// a stall drill pauses past the idle limit after the first chunk and stops.
void Simulador::Transmite(const std::string& dados, const Exercicio* e, int limite, std::vector<std::string>& notas) {
    std::string corpo = dados;
    if (e != nullptr && e->Tipo == Exercicio::Parcial) {
        corpo.pop_back();
        notas.push_back("drill: the stream ends without its end byte");
    }
    const std::size_t pedaco = static_cast<std::size_t>(opcoes_.Pedaco > 0 ? opcoes_.Pedaco : 256);
    std::size_t enviados = 0;
    for (std::size_t i = 0; i < corpo.size() && !*parar_; i += pedaco) {
        if (i > 0) Dorme(opcoes_.PausaMs);
        const std::string_view parte = std::string_view(corpo).substr(i, pedaco);
        if (!Escreve(parte)) {
            notas.push_back("nobody read the stream: stopped");
            break;
        }
        enviados += parte.size();
        if (e != nullptr && e->Tipo == Exercicio::Pausa) {
            const int segundos = e->Segundos >= 0 ? e->Segundos : limite + 2;
            notas.push_back("drill: stream paused " + std::to_string(segundos) +
                            " s after the first chunk, then stopped");
            Dorme(segundos * 1000);
            break;
        }
    }
    notas.push_back(std::to_string(enviados) + " of " + std::to_string(dados.size()) + " bytes streamed");
}

void Simulador::Atende(const std::string& quadro) {
    ++quadros_;
    const Comando* c = LinhaDoQuadro(quadro);
    const char codigo[3] = {quadro[2], quadro[3], 0};
    const std::string_view cod(codigo, 2);
    const char primeiro = quadro.size() > 4 ? quadro[4] : '\0';
    const Exercicio* e = ExercicioPara(quadro);
    std::vector<std::string> notas;

    if (e != nullptr && e->Tipo == Exercicio::Queda) {
        papel_.Comando(c, quadro, notas, "no answer");
        Derruba();
        return;
    }

    // What the printer answers and does, when nothing goes wrong.
    std::string resposta(1, static_cast<char>(Aceito));
    std::string rotulo;
    std::string fluxo;
    int limite = 0;
    const bool executa = e == nullptr || e->Tipo == Exercicio::Parcial || e->Tipo == Exercicio::Pausa;
    if (c == nullptr) {
        resposta[0] = static_cast<char>(Desconhecido);
        rotulo = " unknown command";
    } else if (cod == "00") {
        if (ocupado_ > 0) {
            resposta[0] = static_cast<char>(Ocupada);
            rotulo = " busy";
            if (executa) --ocupado_;
        }
    } else if (cod == "04") {
        const int numero = std::atoi(Aparado(quadro.substr(4, 3)).c_str());
        resposta = RespostaRegistrador(numero);
        rotulo = "";
    } else if (cod == "08") {
        if (primeiro == '1') {
            resposta[0] = static_cast<char>(RelatorioAceito);
            rotulo = " accepted";
        }
    } else if (cod == "16" && primeiro >= '4' && primeiro <= '7') {
        fluxo = GeraLeitura(primeiro, Aparado(quadro.substr(5, 8)), Aparado(quadro.substr(13, 8)));
        limite = LimiteLeitura;
    } else if (cod == "53") {
        resposta[0] = static_cast<char>(SegueCmc7);
        rotulo = " CMC-7 follows";
        fluxo = GeraCmc7();
        limite = LimiteCmc7;
    }

    if (e != nullptr && e->Tipo == Exercicio::Status) {
        resposta[0] = static_cast<char>(e->Byte);
        rotulo = " (drill)";
        // A CMC-7 line follows only the byte that announces it.
        if (cod == "53" && e->Byte != SegueCmc7) fluxo.clear();
    }

    // The printer's own lines, for what it carried out.
    if (executa && c != nullptr) {
        if (cod == "11") {
            cupomAberto_ = true;
            itensCupom_ = 0;
            notas.push_back("CUPOM FISCAL " + Numero(++cupons_, 6));
        } else if (cod == "05") {
            ++itens_;
            notas.push_back("item " + Numero(++itensCupom_, 3) + (cupomAberto_ ? "" : " (no receipt open)"));
        } else if (cod == "17") {
            ++cancelados_;
            notas.push_back("item " + Aparado(quadro.substr(4, 3)) + " cancelled");
        } else if (cod == "10") {
            ++pagamentos_;
        } else if (cod == "09" || cod == "07") {
            notas.push_back(cod == "09" ? "receipt closed" : "receipt cancelled");
            cupomAberto_ = false;
        } else if (cod == "08" && primeiro == '1') {
            ++leiturasX_;
            notas.push_back("LEITURA X " + Numero(leiturasX_, 4) + ": " + std::to_string(cupons_) + " receipts, " +
                            std::to_string(itens_) + " items, " + std::to_string(cancelados_) + " cancelled, " +
                            std::to_string(pagamentos_) + " payments");
            if (resposta[0] == static_cast<char>(RelatorioAceito)) {
                ocupado_ = opcoes_.Consultas;
                notas.push_back("printing: " + std::to_string(ocupado_) + " status polls will answer 10");
            }
        } else if (cod == "08" && primeiro == '0') {
            ++reducoesZ_;
            notas.push_back("REDUCAO Z " + Numero(reducoesZ_, 4));
        } else if (cod == "08") {
            notas.push_back(std::string("report type ") + Legivel(std::string_view(&primeiro, 1)));
        } else if (cod == "34") {
            notas.push_back("CHEQUE " + Numero(++cheques_, 4));
        } else if (cod == "04") {
            notas.push_back("answer " + Legivel(resposta));
        }
    }
    if (e != nullptr && e->Tipo == Exercicio::Silencio) {
        papel_.Comando(c, quadro, notas, "no answer (drill)");
        return;
    }
    if (e != nullptr && e->Tipo == Exercicio::Parcial && fluxo.empty()) {
        resposta.pop_back();
        rotulo = " (drill: reply cut)";
    }

    // The roll gets the entry before the host gets the answer: whoever
    // reads the roll after an answer finds the command on it.
    const std::string textoResposta =
        resposta.empty() ? "nothing" : (resposta.size() == 1 ? std::to_string(static_cast<unsigned char>(resposta[0]))
                                                             : std::to_string(resposta.size()) + " bytes");
    papel_.Comando(c, quadro, notas, textoResposta + rotulo);
    Dorme(opcoes_.AtrasoMs);
    if (!Escreve(resposta)) {
        papel_.Linhas({"nobody read the answer"});
        return;
    }
    if (!fluxo.empty()) {
        std::vector<std::string> linhas;
        Dorme(opcoes_.PausaMs);
        Transmite(fluxo, (e != nullptr && e->Tipo != Exercicio::Status) ? e : nullptr, limite, linhas);
        if (cod == "53") linhas.push_back("CMC-7 " + Legivel(std::string_view(fluxo).substr(0, fluxo.size() - 1)));
        papel_.Linhas(linhas);
    }
}

// A fiscal readout of the given type over the given range: text lines, no
// zero byte, ending with ETX.
std::string Simulador::GeraLeitura(char tipo, const std::string& inicio, const std::string& fim) const {
    std::string s;
    s += std::string("VELTRIX ECF SIMULADO - LEITURA TIPO ") + tipo + "\n";
    s += "DE " + (inicio.empty() ? std::string("-") : inicio) + " A " + (fim.empty() ? std::string("-") : fim) + "\n";
    s += "----------------------------------------\n";
    for (int i = 1; i <= opcoes_.LinhasLeitura; ++i) {
        char linha[96];
        std::snprintf(linha, sizeof linha, "CRZ %04d COO %06d VENDA BRUTA %10d,%02d\n", i, i * 37,
                      (i * 7919) % 100000, (i * 13) % 100);
        s += linha;
    }
    s += "----------------------------------------\n";
    s += "FIM DA LEITURA\n";
    s += Etx;
    return s;
}

// A CMC-7 line (bank, branch, account fields between its separators),
// then ETX.
std::string Simulador::GeraCmc7() const {
    char linha[64];
    std::snprintf(linha, sizeof linha, "<%08d<%010d>%012d:", 23790001 + cheques_, 180000000 + quadros_,
                  123456789 + quadros_);
    return std::string(linha) + Etx;
}

// 30 digits: the register's number, then its value.
std::string Simulador::RespostaRegistrador(int numero) const {
    long long valor = 0;
    switch (numero) {
        case 1: valor = cupons_; break;
        case 2: valor = itens_; break;
        case 3: valor = cancelados_; break;
        case 4: valor = leiturasX_; break;
        case 5: valor = reducoesZ_; break;
        case 6: valor = pagamentos_; break;
        default: break;
    }
    char s[40];
    std::snprintf(s, sizeof s, "%03d%027lld", numero % 1000, valor);
    return std::string(s, 30);
}
