#include "sim/simulador.h"

#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <pty.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>

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

std::int64_t AgoraMs() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<std::int64_t>(t.tv_sec) * 1000 + t.tv_nsec / 1000000;
}

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

Simulador::Simulador(const Opcoes& opcoes, Papel& papel) : opcoes_(opcoes), papel_(papel) {}

Simulador::~Simulador() {
    if (!opcoes_.Link.empty() && !caminho_.empty()) {
        // Only our own link: another simulator may have taken the name since.
        char destino[256] = {};
        ssize_t n = readlink(opcoes_.Link.c_str(), destino, sizeof destino - 1);
        if (n > 0 && caminho_ == std::string(destino, static_cast<std::size_t>(n))) unlink(opcoes_.Link.c_str());
    }
    if (mestre_ >= 0) close(mestre_);
    if (escravo_ >= 0) close(escravo_);
    if (ouvinte_ >= 0) close(ouvinte_);
}

bool Simulador::AbreTcp(const std::string& endereco, std::string& erro) {
    const std::size_t doisPontos = endereco.rfind(':');
    if (doisPontos == std::string::npos || doisPontos == 0) {
        erro = "--tcp needs HOST:PORT";
        return false;
    }
    std::string host = endereco.substr(0, doisPontos);
    if (host.size() > 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
    addrinfo dicas{};
    dicas.ai_socktype = SOCK_STREAM;
    dicas.ai_flags = AI_NUMERICSERV | AI_PASSIVE;
    addrinfo* a = nullptr;
    if (int r = getaddrinfo(host.c_str(), endereco.c_str() + doisPontos + 1, &dicas, &a); r != 0) {
        erro = endereco + ": " + gai_strerror(r);
        return false;
    }
    ouvinte_ = socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, a->ai_protocol);
    int um = 1;
    if (ouvinte_ >= 0) setsockopt(ouvinte_, SOL_SOCKET, SO_REUSEADDR, &um, sizeof um);
    const bool ok = ouvinte_ >= 0 && bind(ouvinte_, a->ai_addr, a->ai_addrlen) == 0 && listen(ouvinte_, 1) == 0;
    freeaddrinfo(a);
    if (!ok) {
        erro = "cannot listen on " + endereco + ": " + std::strerror(errno);
        return false;
    }
    sockaddr_storage local{};
    socklen_t tamanho = sizeof local;
    char nome[NI_MAXHOST], porta[NI_MAXSERV];
    getsockname(ouvinte_, reinterpret_cast<sockaddr*>(&local), &tamanho);
    getnameinfo(reinterpret_cast<sockaddr*>(&local), tamanho, nome, sizeof nome, porta, sizeof porta,
                NI_NUMERICHOST | NI_NUMERICSERV);
    caminho_ = (std::strchr(nome, ':') ? "[" + std::string(nome) + "]" : std::string(nome)) + ":" + porta;
    return true;
}

bool Simulador::Abre(std::string& erro) {
    char nome[256] = {};
    if (openpty(&mestre_, &escravo_, nome, nullptr, nullptr) != 0) {
        erro = std::string("openpty: ") + std::strerror(errno);
        return false;
    }
    fcntl(mestre_, F_SETFD, FD_CLOEXEC);
    fcntl(escravo_, F_SETFD, FD_CLOEXEC);
    // Raw from the start, and the slave stays open here so that the line
    // does not hang up each time the driver closes the port.
    termios t{};
    tcgetattr(escravo_, &t);
    cfmakeraw(&t);
    tcsetattr(escravo_, TCSANOW, &t);
    caminho_ = nome;
    if (!opcoes_.Link.empty()) {
        struct stat st {};
        if (lstat(opcoes_.Link.c_str(), &st) == 0) {
            if (!S_ISLNK(st.st_mode)) {
                erro = opcoes_.Link + " exists and is not a symbolic link";
                caminho_.clear();
                return false;
            }
            unlink(opcoes_.Link.c_str());  // a link left by an earlier run
        }
        if (symlink(nome, opcoes_.Link.c_str()) != 0) {
            erro = "cannot link " + opcoes_.Link + ": " + std::strerror(errno);
            caminho_.clear();
            return false;
        }
    }
    return true;
}

// Waits on the line (and on the stop signals, which ppoll lets in).
Simulador::Leitura Simulador::Le(std::size_t n, int ms) {
    const std::int64_t prazo = ms < 0 ? -1 : AgoraMs() + ms;
    while (entrada_.size() < n) {
        if (*parar_) return Leitura::Parar;
        timespec espera{};
        timespec* limite = nullptr;
        if (prazo >= 0) {
            std::int64_t resta = prazo - AgoraMs();
            if (resta <= 0) return Leitura::Curta;
            espera.tv_sec = static_cast<time_t>(resta / 1000);
            espera.tv_nsec = static_cast<long>(resta % 1000) * 1000000;
            limite = &espera;
        }
        sigset_t aberto;
        sigemptyset(&aberto);
        pollfd pf{mestre_, POLLIN, 0};
        int r = ppoll(&pf, 1, limite, &aberto);
        if (r < 0) {
            if (errno == EINTR) continue;
            return Leitura::Parar;
        }
        if (r == 0) continue;
        char buf[1024];
        ssize_t lidos = read(mestre_, buf, sizeof buf);
        if (lidos > 0) entrada_.append(buf, static_cast<std::size_t>(lidos));
        else if (lidos == 0 || (errno != EINTR && errno != EAGAIN)) return Leitura::Parar;  // 0: the client left
    }
    return Leitura::Ok;
}

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

bool Simulador::Escreve(std::string_view bytes) {
    while (!bytes.empty()) {
        pollfd pf{mestre_, POLLOUT, 0};
        // Nobody reading for five seconds: give the rest up.
        if (poll(&pf, 1, 5000) <= 0) return false;
        ssize_t n = write(mestre_, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

// Sleeps to a deadline; a stop signal cuts the sleep short.
void Simulador::Dorme(int ms) {
    const std::int64_t prazo = AgoraMs() + ms;
    sigset_t aberto;
    sigemptyset(&aberto);
    for (std::int64_t resta = ms; resta > 0 && !*parar_; resta = prazo - AgoraMs()) {
        timespec t{static_cast<time_t>(resta / 1000), static_cast<long>(resta % 1000) * 1000000L};
        ppoll(nullptr, 0, &t, &aberto);
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

void Simulador::Derruba() {
    papel_.Nota("line dropped (drill)");
    close(mestre_);
    mestre_ = -1;
    close(escravo_);
    escravo_ = -1;
    caiu_ = true;
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

void Simulador::Executa(volatile std::sig_atomic_t& parar) {
    parar_ = &parar;
    std::string quadro;
    if (ouvinte_ < 0) {
        while (!caiu_ && LeQuadro(quadro)) Atende(quadro);
        return;
    }
    // One client at a time; the printer's state outlives each connection.
    sigset_t aberto;
    sigemptyset(&aberto);
    while (!caiu_ && !*parar_) {
        pollfd pf{ouvinte_, POLLIN, 0};
        if (ppoll(&pf, 1, nullptr, &aberto) <= 0) continue;
        mestre_ = accept4(ouvinte_, nullptr, nullptr, SOCK_CLOEXEC);
        if (mestre_ < 0) continue;
        papel_.Nota("client connected");
        entrada_.clear();
        while (!caiu_ && LeQuadro(quadro)) Atende(quadro);
        if (mestre_ >= 0) close(mestre_);
        mestre_ = -1;
        if (!caiu_ && !*parar_) papel_.Nota("client left");
    }
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
