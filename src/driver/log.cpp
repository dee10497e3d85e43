#include "driver/log.h"

#include <cstdio>
#include <cstring>

#include "driver/estado.h"

namespace {

// The runtime's date-time text, "Www Mmm dd hh:mm:ss yyyy\n", in English
// whatever the locale.
void TextoDataHora(const plataforma::Instante& t, char (&texto)[32]) {
    static const char* const Dias[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const Meses[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    std::snprintf(texto, sizeof texto, "%.3s %.3s %02d %02d:%02d:%02d %04d\n", Dias[t.diaSemana % 7],
                  Meses[t.mes % 12], t.dia % 100, t.hora % 100, t.minuto % 100, t.segundo % 100, t.ano % 10000);
}

}  // namespace

bool EscreveTexto(plataforma::Arquivo arquivo, const void* dados, std::size_t tamanho) {
    const auto* origem = static_cast<const unsigned char*>(dados);
    // Room for a log record (a time stamp and a whole frame) and for a
    // readout chunk, every byte doubled: each goes out in one write, so that
    // a file that cannot take it all (at its size limit) drops it whole.
    unsigned char bloco[2 * (80 + TamanhoBuffer)];
    std::size_t usados = 0;
    bool ok = true;
    for (std::size_t i = 0; i < tamanho; ++i) {
        if (usados + 2 > sizeof bloco) {
            ok = plataforma::EscreveArquivo(arquivo, bloco, usados) && ok;
            usados = 0;
        }
        if (origem[i] == '\n') bloco[usados++] = '\r';
        bloco[usados++] = origem[i];
    }
    if (usados > 0) ok = plataforma::EscreveArquivo(arquivo, bloco, usados) && ok;
    return ok;
}

plataforma::Arquivo AbreLog() {
    const plataforma::Instante agora = plataforma::AgoraLocal();
    char dataHora[32];
    TextoDataHora(agora, dataHora);
    std::snprintf(EstadoDriver.ArqLog, sizeof EstadoDriver.ArqLog, "%s%.3s.log", plataforma::DiretorioC(), dataHora);

    plataforma::Arquivo arquivo = plataforma::AbreArquivoExistente(EstadoDriver.ArqLog);
    bool renova = false;
    if (arquivo > 0) {
        // Only the day of the month tells last week's file from today's.
        int dia = plataforma::DiaModificacao(arquivo);
        if (dia < 0 || dia == agora.dia) return arquivo;
        plataforma::FechaArquivo(arquivo);
        // Last week's file that cannot be deleted is emptied instead: the new
        // day's records must not overwrite its start and leave its tail.
        renova = !plataforma::ApagaArquivo(EstadoDriver.ArqLog);
    }
    arquivo = plataforma::CriaArquivo(EstadoDriver.ArqLog, renova);
    if (arquivo <= 0) return arquivo;
    char cabeca[80];
    std::snprintf(cabeca, sizeof cabeca, "Inicio LOG: %s\n\n", dataHora);
    EscreveLog(arquivo, cabeca, 0);
    return arquivo;
}

void EscreveLog(plataforma::Arquivo arquivo, const void* dados, std::size_t tamanho) {
    if (arquivo <= 0) return;
    if (tamanho == 0) tamanho = std::strlen(static_cast<const char*>(dados));
    EscreveTexto(arquivo, dados, tamanho);
}

void FechaLog(plataforma::Arquivo arquivo) {
    if (arquivo <= 0) return;
    plataforma::FechaArquivo(arquivo);
}

void RegistraCarimbo(plataforma::Arquivo arquivo, const char* prefixo, const void* dados, std::size_t tamanho) {
    if (arquivo <= 0) return;
    const plataforma::Instante t = plataforma::AgoraLocal();
    char hora[16];
    std::snprintf(hora, sizeof hora, "%02d:%02d:%02d", t.hora % 100, t.minuto % 100, t.segundo % 100);
    // The stamp and the bytes together, written at once.
    unsigned char registro[80 + TamanhoBuffer];
    const int n = std::snprintf(reinterpret_cast<char*>(registro), 80, "\n%s [%.8s %03dms] - ", prefixo, hora,
                                t.milissegundo % 1000);
    const auto usados = static_cast<std::size_t>(n < 0 ? 0 : n >= 80 ? 79 : n);
    if (tamanho > sizeof registro - usados) {
        EscreveTexto(arquivo, registro, usados);
        EscreveTexto(arquivo, dados, tamanho);
        return;
    }
    if (tamanho > 0) std::memcpy(registro + usados, dados, tamanho);
    EscreveTexto(arquivo, registro, usados + tamanho);
}

long RegistraErroRegistry(long codigo, const char* texto) {
    if (codigo == 0) return 0;
    plataforma::Arquivo arquivo = AbreLog();
    char linha[80];
    std::snprintf(linha, sizeof linha, "\nErro de Acesso ao Registry [%ld]: %s\n", codigo, texto);
    EscreveLog(arquivo, linha, 0);
    if (char* mensagem = plataforma::MensagemSistema(codigo)) {
        EscreveLog(arquivo, mensagem, 0);
        plataforma::LiberaMensagemSistema(mensagem);
    }
    FechaLog(arquivo);
    return codigo;
}

namespace {

void RegistraLinha(const char* formato, const char* a, const char* b) {
    char linha[80];
    std::snprintf(linha, sizeof linha, formato, a, b);
    plataforma::Arquivo arquivo = AbreLog();
    EscreveLog(arquivo, linha, 0);
    FechaLog(arquivo);
}

// Opens or creates one level of the key, logging a new one. 0 on success.
long CriaNivel(plataforma::Chave pai, const char* nome, plataforma::Chave* chave) {
    std::uint32_t disposicao = 0;
    char texto[80];
    std::snprintf(texto, sizeof texto, "RegCreateKeyEx %s", nome);
    long r = RegistraErroRegistry(plataforma::RegistroCriaChave(pai, nome, chave, &disposicao), texto);
    if (r == 0 && disposicao == plataforma::REG_CREATED_NEW_KEY)
        RegistraLinha("\nCriada Chave Registry: [%s]%s", nome, "");
    return r;
}

void FechaSemRegistrar(const plataforma::Chave* chaves, int quantas) {
    for (int i = quantas - 1; i >= 0; --i) plataforma::RegistroFechaChave(chaves[i]);
}

}  // namespace

bool AcessaRegistry(const char* grupo, const char* aplicacao, const char* versao, const char* entrada, char* valor,
                    const char* padrao, std::uint32_t tamanho, int modo) {
    // chaves[0] is the root, then Software, the group, the application, the version.
    plataforma::Chave chaves[5] = {plataforma::HKEY_LOCAL_MACHINE, 0, 0, 0, 0};
    if (RegistraErroRegistry(plataforma::RegistroAbreChave(chaves[0], "Software", &chaves[1]),
                             "RegOpenKeyEx Software") != 0)
        return false;
    const char* niveis[3] = {grupo, aplicacao, versao};
    for (int i = 0; i < 3; ++i) {
        if (CriaNivel(chaves[i + 1], niveis[i], &chaves[i + 2]) != 0) {
            FechaSemRegistrar(chaves, i + 2);
            return false;
        }
    }
    char texto[80];
    bool grava = modo != 0;
    if (!grava) {
        std::snprintf(texto, sizeof texto, "RegQueryValueEx [%s]", entrada);
        std::uint32_t lido = tamanho;
        if (RegistraErroRegistry(plataforma::RegistroLeValor(chaves[4], entrada, valor, &lido), texto) == 0) {
            RegistraLinha("\nLeitura Entrada Registry: [%s=%s]", entrada, valor);
        } else {
            std::snprintf(valor, tamanho, "%s", padrao);
            grava = true;
        }
    }
    if (grava) {
        std::snprintf(texto, sizeof texto, "RegSetValueEx [%s=%s]", entrada, valor);
        auto bytes = static_cast<std::uint32_t>(std::strlen(valor) + 1);
        if (RegistraErroRegistry(plataforma::RegistroGravaValor(chaves[4], entrada, valor, bytes), texto) != 0) {
            FechaSemRegistrar(chaves, 5);
            return false;
        }
        RegistraLinha("\nAtualizada Entrada Registry: [%s=%s]", entrada, valor);
    }
    RegistraErroRegistry(plataforma::RegistroFechaChave(chaves[4]), "RegCloseKey Versao");
    RegistraErroRegistry(plataforma::RegistroFechaChave(chaves[3]), "RegCloseKey Aplica\xe7\xe3o");
    RegistraErroRegistry(plataforma::RegistroFechaChave(chaves[2]), "RegCloseKey Grupo");
    RegistraErroRegistry(plataforma::RegistroFechaChave(chaves[1]), "RegCloseKey Software");
    RegistraErroRegistry(plataforma::RegistroFechaChave(chaves[0]), "RegCloseKey HKEY_LOCAL_MACHINE");
    return true;
}
