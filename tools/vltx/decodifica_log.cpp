#include "vltx/decodifica_log.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "comum/quadro.h"
#include "vltx/significado.h"

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

// The file stores every line feed of the text, frame bytes included, as
// CR LF: drop the CR that the driver put in front of each one.
std::string TextoDoArquivo(std::string_view arquivo) {
    std::string texto;
    texto.reserve(arquivo.size());
    std::size_t de = 0;
    for (std::size_t nl = arquivo.find("\r\n"); nl != std::string_view::npos; nl = arquivo.find("\r\n", de)) {
        texto.append(arquivo.substr(de, nl - de));
        de = nl + 1;
    }
    texto.append(arquivo.substr(de));
    return texto;
}

class Leitor {
public:
    // registros, when given, gets the exchange records as they are read.
    Leitor(std::string_view texto, std::vector<RegistroLog>* registros) : t_(texto), registros_(registros) {
        AchaFronteiras();
    }

    std::string Decodifica() {
        if (t_.substr(0, 12) == "Inicio LOG: ") {
            std::size_t fim = t_.find('\n');
            Linha(t_.substr(0, fim));
            p_ = fim == std::string_view::npos ? t_.size() : fim;
        }
        while (p_ < t_.size()) {
            if (Fronteira(p_)) {
                Registro();
            } else {
                Texto();
            }
        }
        return saida_;
    }

private:
    // A record starts at p (just behind its line feed).
    bool ComecaRegistro(std::size_t p) const {
        for (std::string_view prefixo : Prefixos)
            if (t_.substr(p, prefixo.size()) == prefixo) return true;
        return false;
    }
    // Every line feed that starts a record, in one pass: a damaged log has
    // records whose length is unknown, each read up to the next of these,
    // and a scan from every such record to the next would be repeated.
    void AchaFronteiras() {
        for (const char* nl = static_cast<const char*>(std::memchr(t_.data(), '\n', t_.size())); nl != nullptr;) {
            const auto p = static_cast<std::size_t>(nl - t_.data());
            if (ComecaRegistro(p + 1)) fronteiras_.push_back(p);
            nl = static_cast<const char*>(std::memchr(nl + 1, '\n', t_.size() - p - 1));
        }
    }
    // The end of the text, or the line feed of the next record.
    bool Fronteira(std::size_t p) const {
        if (p >= t_.size()) return p == t_.size();
        return std::binary_search(fronteiras_.begin(), fronteiras_.end(), p);
    }
    bool FimDeLinha(std::size_t p) const { return p == t_.size() || (p < t_.size() && t_[p] == '\n'); }
    std::size_t ProximaFronteira(std::size_t p) const {
        auto i = std::lower_bound(fronteiras_.begin(), fronteiras_.end(), p);
        return i == fronteiras_.end() ? t_.size() : *i;
    }

    void Linha(std::string_view s) {
        if (registros_ != nullptr) return;  // the records are asked for, not the text
        saida_.append(s);
        saida_ += '\n';
    }

    RegistroLog& Registra(RegistroLog::Tipos tipo, const std::string& hora) {
        registros_->push_back({});
        RegistroLog& r = registros_->back();
        r.Tipo = tipo;
        r.Hora = hora;
        r.Milissegundo = MilissegundoDoDia(hora);
        r.Linha = ultimo_;
        return r;
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

    // Text outside any record (empty lines, a torn record): line by line.
    void Texto() {
        std::size_t inicio = t_[p_] == '\n' ? p_ + 1 : p_;
        std::size_t fim = ProximaFronteira(inicio);
        std::string_view resto = t_.substr(inicio, fim - inicio);
        while (!resto.empty()) {
            std::size_t nl = resto.find('\n');
            std::string_view linha = resto.substr(0, nl);
            if (!linha.empty()) Linha(Legivel(linha));
            resto = nl == std::string_view::npos ? std::string_view() : resto.substr(nl + 1);
        }
        p_ = fim;
    }

    // "[hh:mm:ss mmmms] - " as "hh:mm:ss.mmm"; p moves behind it. A stamp
    // ends within 20 bytes: the search stops there, for a torn stamp must
    // not send it through the rest of the file.
    std::string Carimbo(std::size_t& p) {
        constexpr std::size_t Maximo = 20;
        std::size_t fim = t_.substr(p, Maximo + 4).find("] - ");
        if (fim == std::string_view::npos) return "??:??:??.???";
        fim += p;
        std::string_view dentro = t_.substr(p + 1, fim - p - 1);  // "hh:mm:ss mmmms"
        p = fim + 4;
        if (dentro.size() == 14 && dentro[8] == ' ' && dentro.substr(12) == "ms")
            return std::string(dentro.substr(0, 8)) + "." + std::string(dentro.substr(9, 3));
        return std::string(dentro);
    }

    void Registro() {
        const std::size_t inicio = p_ + 1;
        const std::string_view r = t_.substr(inicio);
        if (r.substr(0, 4) == "TX [") {
            std::size_t p = inicio + 3;
            std::string hora = Carimbo(p);
            Envio(hora, p);
        } else if (r.substr(0, 4) == "RX [") {
            std::size_t p = inicio + 3;
            std::string hora = Carimbo(p);
            Resposta(hora, p);
        } else if (r.substr(0, 12) == "Descartado [") {
            std::size_t p = inicio + 11;
            std::string hora = Carimbo(p);
            Descarte(hora, p);
        } else if (r.substr(0, 10) == "Erro DLL [") {
            std::size_t p = inicio + 9;
            std::string hora = Carimbo(p);
            std::size_t fim = ProximaFronteira(p);
            std::string_view numero = t_.substr(p, fim - p);
            long codigo = std::strtol(std::string(numero).c_str(), nullptr, 10);
            if (registros_ != nullptr) Registra(RegistroLog::ErroDll, hora).Codigo = codigo;
            const char* falha = FalhaDeLinha(static_cast<std::int32_t>(codigo));
            Linha(hora + " Erro DLL " + Legivel(numero) + ": " + (falha != nullptr ? falha : "unknown code"));
            p_ = fim;
        } else if (r.substr(0, 17) == "Erro de Sistema [") {
            ErroSistema(inicio + 17);
        } else {
            // The settings lines, as they are.
            std::size_t fim = ProximaFronteira(inicio);
            std::string_view registro = t_.substr(inicio, fim - inicio);
            while (!registro.empty() && registro.back() == '\n') registro.remove_suffix(1);
            while (!registro.empty()) {
                std::size_t nl = registro.find('\n');
                Linha(Legivel(registro.substr(0, nl)));
                registro = nl == std::string_view::npos ? std::string_view() : registro.substr(nl + 1);
            }
            p_ = fim;
        }
    }

    // The frame's length comes from its row; the cheque's two rows are told
    // apart by where the next record starts.
    void Envio(const std::string& hora, std::size_t p) {
        const Comando* c = nullptr;
        std::size_t tamanho = 0;
        if (t_.size() - p >= 4) {
            const char codigo[3] = {t_[p + 2], t_[p + 3], 0};
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
        if (c == nullptr) {
            tamanho = ProximaFronteira(p) - p;
            c = LinhaDoQuadro(t_.substr(p, tamanho));
            if (c != nullptr) esperado = ", expected " + std::to_string(c->TamanhoQuadro);
        }
        const std::string_view quadro = t_.substr(p, tamanho);
        p_ = p + tamanho;
        ultimo_ = c;
        ultimoQuadro_ = quadro;
        if (registros_ != nullptr) {
            Registra(RegistroLog::Envio, hora).Bytes = tamanho;
            return;
        }
        if (c == nullptr) {
            Linha(hora + " TX unknown frame, " + std::to_string(tamanho) + " bytes: " + Legivel(quadro));
            return;
        }
        Linha(hora + " TX " + c->Codigo + " " + c->Descricao + " (" + c->Exportacao + "), " +
              std::to_string(tamanho) + " bytes" + esperado);
        Campos(*c, quadro);
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

    void Resposta(const std::string& hora, std::size_t p) {
        std::size_t tamanho = 0;
        if (ultimo_ != nullptr && FimDeLinha(p + ultimo_->TamanhoResposta)) {
            tamanho = ultimo_->TamanhoResposta;
        } else {
            tamanho = ProximaFronteira(p) - p;
        }
        const std::string_view resposta = t_.substr(p, tamanho);
        p_ = p + tamanho;
        if (registros_ != nullptr) {
            RegistroLog& r = Registra(RegistroLog::Resposta, hora);
            r.Bytes = resposta.size();
            if (resposta.size() == 1) r.Status = static_cast<unsigned char>(resposta[0]);
            return;
        }
        if (resposta.size() == 1) {
            const int status = static_cast<unsigned char>(resposta[0]);
            std::string linha = hora + " RX status " + std::to_string(status);
            if (ultimo_ != nullptr) {
                const char primeiro = ultimoQuadro_.size() > 4 ? ultimoQuadro_[4] : '\0';
                if (const char* s = StatusDoContrato(ultimo_->Codigo, primeiro, status)) linha += std::string(": ") + s;
            }
            Linha(linha);
        } else {
            Linha(hora + " RX " + std::to_string(resposta.size()) + " bytes \"" + Legivel(resposta) + "\"");
        }
    }

    // What the driver took off the line after a failed exchange (a late
    // reply, the rest of a cut one): its length is where the next record
    // starts, and it is no reply to the frame before it.
    void Descarte(const std::string& hora, std::size_t p) {
        const std::size_t fim = ProximaFronteira(p);
        const std::string_view bytes = t_.substr(p, fim - p);
        p_ = fim;
        if (registros_ != nullptr) {
            RegistroLog& r = Registra(RegistroLog::Descarte, hora);
            r.Bytes = bytes.size();
            r.Texto = Legivel(bytes.substr(0, 40));
            return;
        }
        Linha(hora + " Descartado " + std::to_string(bytes.size()) + (bytes.size() == 1 ? " byte" : " bytes") +
              " discarded after a failed exchange \"" + Legivel(bytes) + "\"");
    }

    // Why the system failed the call behind the failure before it:
    // "codigo]: chamada: NOME" after the record's name, shown as
    // "chamada: NOME (codigo)".
    void ErroSistema(std::size_t p) {
        const std::size_t fim = ProximaFronteira(p);
        std::string_view registro = t_.substr(p, fim - p);
        while (!registro.empty() && registro.back() == '\n') registro.remove_suffix(1);
        const std::size_t fecha = registro.find("]: ");
        const std::string texto = fecha == std::string_view::npos
                                      ? Legivel(registro)
                                      : Legivel(registro.substr(fecha + 3)) + " (" + Legivel(registro.substr(0, fecha)) + ")";
        p_ = fim;
        if (registros_ != nullptr) Registra(RegistroLog::ErroSistema, "").Texto = texto;
        Linha("             system: " + texto);
    }

    std::string_view t_;
    std::vector<RegistroLog>* registros_;
    std::vector<std::size_t> fronteiras_;
    std::size_t p_ = 0;
    std::string saida_;
    const Comando* ultimo_ = nullptr;
    std::string_view ultimoQuadro_;
};

}  // namespace

std::string DecodificaLog(std::string_view arquivo) {
    const std::string texto = TextoDoArquivo(arquivo);
    return Leitor(texto, nullptr).Decodifica();
}

std::vector<RegistroLog> RegistrosDoLog(std::string_view arquivo) {
    const std::string texto = TextoDoArquivo(arquivo);
    std::vector<RegistroLog> registros;
    Leitor(texto, &registros).Decodifica();
    return registros;
}
