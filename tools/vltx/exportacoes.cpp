#include "vltx/exportacoes.h"

#include <strings.h>

#include <utility>

#include "comum/quadro.h"
#include "driver/campos.h"
#include "vltxdrv.h"

namespace {

// By the pointer type the header gives each export: stdcall on 32-bit
// Windows, so that the calls pop what the exports pop.
template <class F>
struct Chamador;

// Every argument a string.
template <class... A>
struct Chamador<int32_t(VLTX_CALL*)(A...)> {
    static_assert((std::is_same_v<A, const char*> && ...), "a shape of its own is missing");
    static constexpr int Aridade = sizeof...(A);
    static constexpr Forma Tipo = Forma::Textos;
    static Resultado Chama(void* s, const std::vector<std::string>& a) {
        auto f = reinterpret_cast<int32_t(VLTX_CALL*)(A...)>(s);
        return [&]<std::size_t... I>(std::index_sequence<I...>) {
            return Resultado{f(a[I].c_str()...), false, {}};
        }(std::index_sequence_for<A...>{});
    }
};

template <>
struct Chamador<int32_t(VLTX_CALL*)(int32_t)> {
    static constexpr int Aridade = 1;
    static constexpr Forma Tipo = Forma::Inteiro;
    static Resultado Chama(void* s, const std::vector<std::string>& a) {
        return {reinterpret_cast<int32_t(VLTX_CALL*)(int32_t)>(s)(TextoParaInteiro(a[0])), false, {}};
    }
};

template <>
struct Chamador<int32_t(VLTX_CALL*)(const char*, char*)> {
    static constexpr int Aridade = 1;
    static constexpr Forma Tipo = Forma::Registrador;
    static Resultado Chama(void* s, const std::vector<std::string>& a) {
        char resposta[31] = {};
        Resultado r{reinterpret_cast<int32_t(VLTX_CALL*)(const char*, char*)>(s)(a[0].c_str(), resposta), false, {}};
        r.Buffer.assign(resposta, 30);
        return r;
    }
};

template <>
struct Chamador<int32_t(VLTX_CALL*)(char*)> {
    static constexpr int Aridade = 0;
    static constexpr Forma Tipo = Forma::Versao;
    static Resultado Chama(void* s, const std::vector<std::string>&) {
        char versao[256] = {};
        Resultado r{reinterpret_cast<int32_t(VLTX_CALL*)(char*)>(s)(versao), false, {}};
        r.Buffer = versao;
        return r;
    }
};

template <>
struct Chamador<void(VLTX_CALL*)()> {
    static constexpr int Aridade = 0;
    static constexpr Forma Tipo = Forma::Nada;
    static Resultado Chama(void* s, const std::vector<std::string>&) {
        reinterpret_cast<void(VLTX_CALL*)()>(s)();
        return {0, true, {}};
    }
};

template <class F>
Exportacao Entrada(const char* nome) {
    using C = Chamador<F>;
    return {nome, C::Aridade, C::Tipo, &C::Chama};
}

#define VLTX_EXP(nome) Entrada<decltype(&nome)>(#nome)

// Parameters that no frame field names.
struct NomesProprios {
    const char* Exportacao;
    std::vector<std::string> Nomes;
};

const std::vector<NomesProprios>& Proprios() {
    static const std::vector<NomesProprios> proprios = {
        {"ecf_InicializaDLL", {"porta"}},
        {"ecf_LogSerial", {"ativa"}},
        {"ecf_ProximoTimeout", {"segundos"}},
        {"ecf_LeECF", {"tipo", "inicio", "fim", "opcao", "arquivo"}},
        {"ecf_LeCMC7", {"arquivo"}},
        {"ecf_ImprimeCheque",
         {"valor", "favorecido", "cidade", "mensagem", "data", "texto6", "texto7", "secao", "arquivo"}},
    };
    return proprios;
}

}  // namespace

const std::vector<Exportacao>& Exportacoes() {
    static const std::vector<Exportacao> todas = {
        Entrada<vltx_LogC6_fn>(VLTX_LOG_C6_4),  Entrada<vltx_LogC6_fn>(VLTX_LOG_C6_5),
        VLTX_EXP(ecf_AbreGaveta),        VLTX_EXP(ecf_AcrescimoSubtotal),  VLTX_EXP(ecf_Autentica),
        VLTX_EXP(ecf_AvancaLinhas),      VLTX_EXP(ecf_CMC7ToECF),          VLTX_EXP(ecf_CancelaCupom),
        VLTX_EXP(ecf_CancelaItem),       VLTX_EXP(ecf_CancelaVenda),       VLTX_EXP(ecf_CargaAliquota),
        VLTX_EXP(ecf_CargaCliche),       VLTX_EXP(ecf_CargaNaoVinculado),  VLTX_EXP(ecf_ChancelarCheque),
        VLTX_EXP(ecf_CodigoBarras),      VLTX_EXP(ecf_ContrasteTermico),   VLTX_EXP(ecf_CortaPapel),
        VLTX_EXP(ecf_CruzarCheque),      VLTX_EXP(ecf_CupomStub),          VLTX_EXP(ecf_DefineAliquota),
        VLTX_EXP(ecf_DescontoItem),      VLTX_EXP(ecf_DescontoSubtotal),   VLTX_EXP(ecf_EjetarCheque),
        VLTX_EXP(ecf_EmiteNaoVinculado), VLTX_EXP(ecf_EspacamentoLinhas),  VLTX_EXP(ecf_EstadoImpressora),
        VLTX_EXP(ecf_FechaCupom),        VLTX_EXP(ecf_FinalizaDLL),        VLTX_EXP(ecf_FinalizaRelatorio),
        VLTX_EXP(ecf_FormaPagamento),    VLTX_EXP(ecf_IdComprador),        VLTX_EXP(ecf_ImprimeCabecalho),
        VLTX_EXP(ecf_ImprimeCheque),     VLTX_EXP(ecf_InicializaDLL),      VLTX_EXP(ecf_LeCMC7),
        VLTX_EXP(ecf_LeECF),             VLTX_EXP(ecf_LeRegistrador),      VLTX_EXP(ecf_LeSensor),
        VLTX_EXP(ecf_LinhasLivres),      VLTX_EXP(ecf_LogSerial),          VLTX_EXP(ecf_Mecanismo),
        VLTX_EXP(ecf_NovoEstabelecimento), VLTX_EXP(ecf_Pagamento),        VLTX_EXP(ecf_ProgramaRelogio),
        VLTX_EXP(ecf_Propaganda),        VLTX_EXP(ecf_ProximoTimeout),     VLTX_EXP(ecf_Rascunho),
        VLTX_EXP(ecf_Relatorio_XZ),      VLTX_EXP(ecf_VendaItem),          VLTX_EXP(ecf_VersaoDLL),
        VLTX_EXP(ecf_Vinculado),         VLTX_EXP(ecf_VinculadoCartao),    VLTX_EXP(ecf_VinculadoNSeq),
        VLTX_EXP(ecf_VinculadoTEF),
    };
    return todas;
}

const Exportacao* ProcuraExportacao(std::string_view nome) {
    if (nome.size() >= 4 && strncasecmp(nome.data(), "ecf_", 4) == 0) nome.remove_prefix(4);
    for (const Exportacao& e : Exportacoes()) {
        std::string_view curto = NomeCurto(e);
        if (curto.size() == nome.size() && strncasecmp(curto.data(), nome.data(), nome.size()) == 0) return &e;
    }
    return nullptr;
}

std::string_view NomeCurto(const Exportacao& e) {
    std::string_view nome = e.Nome;
    if (nome.substr(0, 4) == "ecf_") nome.remove_prefix(4);
    return nome;
}

std::vector<std::string> NomesParametros(const Exportacao& e) {
    for (const NomesProprios& p : Proprios())
        if (std::string_view(p.Exportacao) == e.Nome) return p.Nomes;
    std::vector<std::string> nomes(static_cast<std::size_t>(e.Aridade));
    if (const Comando* c = LinhaDaExportacao(e.Nome)) {
        for (int i = 0; i < c->NumCampos; ++i) {
            const Campo& campo = c->Campos[i];
            const bool texto = campo.Tipo != TipoCampo::Fixo && campo.Tipo != TipoCampo::NumeroLayout &&
                               campo.Tipo != TipoCampo::ByteLayout;
            if (texto && campo.Parametro >= 1 && campo.Parametro <= e.Aridade)
                nomes[campo.Parametro - 1U] = campo.Nome;
        }
    }
    for (std::size_t i = 0; i < nomes.size(); ++i)
        if (nomes[i].empty()) nomes[i] = "arg" + std::to_string(i + 1);
    return nomes;
}

std::int32_t TextoParaInteiro(const std::string& texto) { return ConverteDecimal(texto.c_str()); }
