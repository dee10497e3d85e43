#include "modelo.h"

#include <algorithm>
#include <cstring>

#include "driver/campos.h"
#include "driver/estado.h"

namespace {

bool CampoDeTexto(const Campo& c) {
    return c.Tipo != TipoCampo::Fixo && c.Tipo != TipoCampo::NumeroLayout && c.Tipo != TipoCampo::ByteLayout;
}

std::vector<const Comando*> LinhasDe(const std::string& nome) {
    std::vector<const Comando*> linhas;
    for (const Comando& c : tabela::Comandos)
        if (nome == c.Exportacao) linhas.push_back(&c);
    return linhas;
}

const ParametroProprio* ProprioEm(const Descricao& d, int posicao) {
    for (int i = 0; i < d.NumProprios; ++i)
        if (d.Proprios[i].Posicao == posicao) return &d.Proprios[i];
    return nullptr;
}

Papel PapelDoProprio(TipoProprio t) {
    switch (t) {
        case TipoProprio::Texto: return Papel::Texto;
        case TipoProprio::Caminho: return Papel::Caminho;
        case TipoProprio::Dispositivo: return Papel::Dispositivo;
        case TipoProprio::Buffer: return Papel::Buffer;
    }
    return Papel::Texto;
}

const char* SignificadoDoCodigo(std::int32_t codigo) {
    for (const CodigoDriver& c : descricao::Codigos)
        if (c.Codigo == codigo) return c.Significado;
    return nullptr;
}

// The results of an export, one line per driver code so that each says
// what it means; the status byte is one line for its whole range.
std::vector<ResultadoModelo> Resultados(const Descricao& d, std::vector<std::string>& erros) {
    std::vector<ResultadoModelo> r;
    namespace res = resultado;
    if (d.Resultados & res::Status) r.push_back({0, 255, descricao::TextoStatus, res::Status});
    for (const descricao::FaixaResultado& f : descricao::Faixas) {
        if ((d.Resultados & f.Tipo) == 0) continue;
        for (std::int32_t c = f.De; c <= f.Ate; ++c) {
            const char* s = SignificadoDoCodigo(c);
            if (s == nullptr) {
                erros.push_back(std::string(d.Exportacao) + ": code " + std::to_string(c) + " has no meaning");
                continue;
            }
            const bool dito = std::any_of(r.begin(), r.end(), [c](const ResultadoModelo& x) {
                return x.De == c && x.Ate == c;
            });
            if (!dito) r.push_back({c, c, s, f.Tipo});
        }
    }
    if (d.Resultados & res::Caracteres) r.push_back({0, 2147483647, "the number of characters written", res::Caracteres});
    if (d.Resultados & res::Chave) {
        r.push_back({1, 1, "the switch is now on", res::Chave});
        r.push_back({0, 0, "the switch is now off", res::Chave});
    }
    if (d.Resultados & res::Segundos) r.push_back({-2147483648LL, 2147483647, "the value stored", res::Segundos});
    return r;
}

// The example call, through the driver's own frame builder.
void MontaExemplo(ExportacaoModelo& e) {
    if (e.Linhas.empty()) return;
    const Descricao& d = *e.Desc;
    std::vector<const char*> textos;
    for (int i = 0; i < d.NumExemplo; ++i) textos.push_back(d.Exemplo[i]);
    std::int32_t numeros[25] = {};
    for (std::size_t l = 0; l < e.Linhas.size(); ++l) {
        const Comando& linha = *e.Linhas[l];
        std::memset(EstadoDriver.BufComando, 0, sizeof EstadoDriver.BufComando);
        Argumentos a;
        a.NumerosLayout = numeros;
        // The builder takes an initializer_list; rebuild one of the right size.
        const std::string quadro = [&] {
            auto monta = [&](std::initializer_list<const char*> t) {
                a.Textos = t;
                for (const ParametroModelo& p : e.Parametros)
                    if (p.Tipo == Papel::Inteiro) a.Inteiro = ConverteDecimal(p.Exemplo.c_str());
                MontaQuadro(linha, a);
            };
            auto t = [&](std::size_t i) { return i < textos.size() ? textos[i] : ""; };
            monta({t(0), t(1), t(2), t(3), t(4), t(5), t(6), t(7), t(8)});
            return std::string(reinterpret_cast<const char*>(EstadoDriver.BufComando), linha.TamanhoQuadro);
        }();
        if (l == 0) e.QuadroExemplo = quadro;
        for (ParametroModelo& p : e.Parametros) {
            if (l >= p.Campos.size() || p.Campos[l] == nullptr) continue;
            const Campo& c = *p.Campos[l];
            p.BytesExemplo.push_back(quadro.substr(c.Deslocamento, std::min<std::size_t>(c.Largura, quadro.size() - c.Deslocamento)));
        }
    }
}

}  // namespace

Modelo ConstroiModelo() {
    Modelo m;
    for (const Descricao& d : descricao::Exportacoes) {
        ExportacaoModelo e;
        e.Desc = &d;
        e.Nome = d.Exportacao;
        e.Linhas = LinhasDe(e.Nome);
        e.SemRetorno = (d.Resultados & resultado::Nenhum) != 0;

        int n = 0;
        for (int i = 0; i < d.NumProprios; ++i) n = std::max(n, int(d.Proprios[i].Posicao));
        for (const Comando* c : e.Linhas)
            for (int i = 0; i < c->NumCampos; ++i)
                if (CampoDeTexto(c->Campos[i])) n = std::max(n, int(c->Campos[i].Parametro));

        for (int p = 1; p <= n; ++p) {
            ParametroModelo pm;
            pm.Posicao = p;
            pm.Proprio = ProprioEm(d, p);
            for (const Comando* c : e.Linhas) {
                const Campo* achado = nullptr;
                for (int i = 0; i < c->NumCampos; ++i)
                    if (CampoDeTexto(c->Campos[i]) && c->Campos[i].Parametro == p) {
                        if (achado != nullptr)
                            m.Erros.push_back(e.Nome + ": two fields take parameter " + std::to_string(p));
                        achado = &c->Campos[i];
                    }
                if (pm.Proprio != nullptr) {
                    if (achado != nullptr) e.CamposDoDriver.push_back(achado);
                } else {
                    pm.Campos.push_back(achado);
                }
            }
            if (pm.Proprio != nullptr) {
                pm.Nome = pm.Proprio->Nome;
                pm.Tipo = PapelDoProprio(pm.Proprio->Tipo);
            } else if (pm.Campos.empty() || pm.Campos.front() == nullptr) {
                m.Erros.push_back(e.Nome + ": parameter " + std::to_string(p) + " is in no field and not described");
                continue;
            } else {
                pm.Nome = pm.Campos.front()->Nome;
                pm.Tipo = pm.Campos.front()->Tipo == TipoCampo::Inteiro ? Papel::Inteiro : Papel::Campo;
                for (const Campo* c : pm.Campos)
                    if (c == nullptr || std::string(c->Nome) != pm.Nome || c->Tipo != pm.Campos.front()->Tipo)
                        m.Erros.push_back(e.Nome + ": the rows disagree on parameter " + std::to_string(p));
            }
            if (p <= d.NumExemplo) pm.Exemplo = d.Exemplo[p - 1];
            e.Parametros.push_back(std::move(pm));
        }
        if (d.NumExemplo != n)
            m.Erros.push_back(e.Nome + ": the example has " + std::to_string(d.NumExemplo) + " arguments, the export " +
                              std::to_string(n));
        if (e.Linhas.empty() && (d.Resultados & resultado::Status))
            m.Erros.push_back(e.Nome + ": a status byte from an export that sends no frame");
        e.Resultados = Resultados(d, m.Erros);
        MontaExemplo(e);
        m.Exportacoes.push_back(std::move(e));
    }
    // Every row belongs to a described export.
    for (const Comando& c : tabela::Comandos)
        if (descricao::DescricaoPorExportacao(c.Exportacao) == nullptr)
            m.Erros.push_back(std::string("frame row ") + c.Codigo + " (" + c.Exportacao + ") has no description");
    return m;
}

std::string TipoC(Papel p) {
    switch (p) {
        case Papel::Inteiro: return "int32_t";
        case Papel::Buffer: return "char*";
        default: return "const char*";
    }
}

std::string Prototipo(const ExportacaoModelo& e) {
    std::string s = std::string(e.SemRetorno ? "void" : "int32_t") + " " + e.Nome + "(";
    if (e.Parametros.empty()) s += "void";
    for (std::size_t i = 0; i < e.Parametros.size(); ++i) {
        if (i > 0) s += ", ";
        s += TipoC(e.Parametros[i].Tipo) + " " + e.Parametros[i].Nome;
    }
    return s + ")";
}

std::string Ancora(const std::string& nome) {
    std::string a;
    for (char c : nome) {
        if (c >= 'A' && c <= 'Z') a += char(c - 'A' + 'a');
        else if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '-') a += c;
    }
    return a;
}

std::vector<const ExportacaoModelo*> PorOrdemDeBytes(const Modelo& m) {
    std::vector<const ExportacaoModelo*> v;
    for (const ExportacaoModelo& e : m.Exportacoes) v.push_back(&e);
    std::sort(v.begin(), v.end(), [](const ExportacaoModelo* a, const ExportacaoModelo* b) {
        return std::strcmp(a->Nome.c_str(), b->Nome.c_str()) < 0;
    });
    return v;
}

const char* TituloDoGrupo(Grupo g) {
    switch (g) {
        case Grupo::Controle: return "Driver control";
        case Grupo::Impressora: return "Printer control and status";
        case Grupo::Cupom: return "Fiscal receipt";
        case Grupo::Configuracao: return "Configuration";
        case Grupo::Relatorios: return "Reports, linked and non-fiscal documents";
        case Grupo::Cheque: return "Cheque printing, cheque handling and CMC-7";
        case Grupo::Leituras: return "Register and fiscal data readout";
    }
    return "";
}

std::string NomeDoTipo(const Campo& c) {
    const std::string w = std::to_string(c.Largura);
    switch (c.Tipo) {
        case TipoCampo::Caractere: return "character";
        case TipoCampo::Fixo: return "constant byte";
        case TipoCampo::Esquerda: return "left-aligned text of " + w;
        case TipoCampo::Direita: return "right-aligned text of " + w;
        case TipoCampo::Numero: return "number of " + w + " digits";
        case TipoCampo::Inteiro: return "integer, " + w + " digits";
        case TipoCampo::TextoLivre: return "free text, up to " + w;
        case TipoCampo::NumeroLayout: return "layout number, " + w + "-byte slot";
        case TipoCampo::ByteLayout: return "layout number, one byte";
    }
    return "";
}

std::string RegraDoCampo(const Campo& c) {
    const std::string w = std::to_string(c.Largura);
    switch (c.Tipo) {
        case TipoCampo::Caractere: return "its first byte; an empty text sends the byte 0";
        case TipoCampo::Fixo: return std::string("always the byte \"") + char(c.Parametro) + "\"";
        case TipoCampo::Esquerda:
            return "the first " + w + " bytes; a shorter text is padded with blanks on the right";
        case TipoCampo::Direita:
            return "the first " + w + " bytes (a longer text loses its end, not its start); a shorter text is "
                   "padded with blanks on the left";
        case TipoCampo::Numero:
            return "decimal text, read by the decimal text rule (\"12,90\" reads 12) and written with " + w +
                   " digits, zeros on the left; a longer value (or a minus sign) leaves the first " + w +
                   " characters of its decimal text";
        case TipoCampo::Inteiro:
            return "written with " + w + " digits, zeros on the left; a negative value or one of more digits "
                   "leaves the first " + w + " characters of its decimal text";
        case TipoCampo::TextoLivre:
            return "as many bytes as the count before it says, at most " + w +
                   ": the text, then zero bytes up to the count; the field's bytes past the count are sent as the "
                   "previous frame left them";
        case TipoCampo::NumeroLayout:
            return "a number of the layout file's section, written \"%02d\" at the start of its slot";
        case TipoCampo::ByteLayout: return "a number of the layout file's section plus 48, one byte";
    }
    return "";
}

std::string UsoDoParametro(const ParametroModelo& p) {
    if (p.Proprio != nullptr) return p.Proprio->Uso;
    if (p.Campos.empty() || p.Campos.front() == nullptr) return "";
    return RegraDoCampo(*p.Campos.front());
}

std::vector<LinhaDeResultado> ResultadosAgrupados(const ExportacaoModelo& e) {
    std::vector<LinhaDeResultado> linhas;
    auto faixa = [](const ResultadoModelo& r) {
        if (r.De == r.Ate) return std::to_string(r.De);
        if (r.De == 0 && r.Ate == 255) return std::string("0 to 255");
        if (r.De == 0) return std::string("0 or more");
        return std::string("any value");
    };
    for (std::size_t i = 0; i < e.Resultados.size();) {
        const ResultadoModelo& r = e.Resultados[i];
        if (r.Tipo != resultado::Linha && r.Tipo != resultado::Layout) {
            linhas.push_back({faixa(r), r.Texto});
            ++i;
            continue;
        }
        // A run of codes of one kind: "4, 6 to 19, 29".
        std::string codigos;
        std::size_t j = i;
        while (j < e.Resultados.size() && e.Resultados[j].Tipo == r.Tipo) {
            std::size_t k = j;
            while (k + 1 < e.Resultados.size() && e.Resultados[k + 1].Tipo == r.Tipo &&
                   e.Resultados[k + 1].De == e.Resultados[k].De + 1)
                ++k;
            if (!codigos.empty()) codigos += ", ";
            codigos += std::to_string(e.Resultados[j].De);
            if (k > j) codigos += " to " + std::to_string(e.Resultados[k].De);
            j = k + 1;
        }
        linhas.push_back({codigos, r.Tipo == resultado::Linha
                                       ? "a failed send or receive (each code under Result codes)"
                                       : "the cheque layout's section or one of its keys (each code under Result codes)"});
        i = j;
    }
    return linhas;
}

std::string Visivel(const std::string& bytes) {
    std::string s;
    static const char* hex = "0123456789abcdef";
    for (std::size_t i = 0; i < bytes.size();) {
        const unsigned char c = static_cast<unsigned char>(bytes[i]);
        if (c == ' ') {
            std::size_t j = i;
            while (j < bytes.size() && bytes[j] == ' ') ++j;
            const std::size_t n = j - i;
            if (n >= 4) {
                s += "␣{" + std::to_string(n) + "}";
            } else {
                for (std::size_t k = 0; k < n; ++k) s += "␣";
            }
            i = j;
            continue;
        }
        if (c == 0) {
            std::size_t j = i;
            while (j < bytes.size() && bytes[j] == 0) ++j;
            if (j - i >= 4) {
                s += "\\0{" + std::to_string(j - i) + "}";
                i = j;
                continue;
            }
            s += "\\0";
        }
        else if (c == 27) s += "ESC";
        else if (c < 32 || c >= 127 || c == '`' || c == '|') {
            s += "\\x";
            s += hex[c >> 4];
            s += hex[c & 15];
        } else {
            s += char(c);
        }
        ++i;
    }
    return s;
}
