// A point-of-sale host for the Windows run: loads vltxdrv.dll by name, as
// hosts do, and drives it against the printer on COM1 (the pseudo-terminal
// printer of tests/windows/impressora, run by tests/windows/roda-host.sh).
//
//   vltxdrv_host.exe LINHA [URL...]
//
// LINHA is the printer's directory as a Windows path: the printer appends
// every frame it receives to LINHA\quadros (a line of hex digits each), and
// answers the next frame as LINHA\roteiro says (see impressora_pty.cpp).
// Each URL (socket://127.0.0.1:PORT, rfc2217://127.0.0.1:PORT) is a serial
// server in front of the same printer, run by roda-host.sh so that the
// printer's "k" kills it and the file LINHA\religa starts it again;
// --roteirizado=URL, --recusa=URL and --calado=URL name the printer behind
// its own scripted RFC 2217 server (impressora_pty --rfc2217), taking every
// option, refusing the COM port option, or answering nothing.
// Prints PASS:/FAIL: per check and exits 1 when any check failed.
//
// Every export is called through a pointer of the type the header declares,
// stdcall as a Delphi or VB host declares it. In the 32-bit build each call
// goes through a thunk that measures how many bytes the export popped on
// return: a callee that pops more or fewer than its arguments' bytes (a
// cdecl function, a wrong argument count) is a failed check, and the thunk
// puts the stack pointer back so that the host can go on and say so.
#include <windows.h>

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <type_traits>
#include <vector>

#include "nomes_exportados.h"
#include "vltxdrv.h"

namespace {

int passou = 0, falhou = 0;

void Checa(bool ok, const char* formato, ...) {
    char texto[512];
    va_list args;
    va_start(args, formato);
    std::vsnprintf(texto, sizeof texto, formato, args);
    va_end(args);
    std::printf("%s: %s\n", ok ? "PASS" : "FAIL", texto);
    std::fflush(stdout);
    (ok ? passou : falhou)++;
}

std::string Visivel(const std::string& bytes) {
    std::string s;
    for (unsigned char c : bytes) {
        char b[8];
        if (c >= 32 && c < 127 && c != '\\') {
            s += static_cast<char>(c);
        } else {
            std::snprintf(b, sizeof b, "\\x%02x", c);
            s += b;
        }
    }
    return s;
}

// ------------------------------------------------------------ the DLL

HMODULE dll = nullptr;

FARPROC Endereco(const char* nome) { return dll != nullptr ? GetProcAddress(dll, nome) : nullptr; }

// ------------------------------------------------------------ the stdcall contract

#if defined(__i386__)
// One call at a time (the host has one thread): the thunk's state is global.
extern "C" {
volatile std::uintptr_t vltxAlvo, vltxRetorno, vltxPilhaNaEntrada, vltxBytesDosArgumentos, vltxBytesDesempilhados;
void vltxTrampolim();
}
// Entered by the host's stdcall call with the return address on top and the
// arguments above it: takes the return address, calls the export as if
// from here, and on its return measures how far the stack pointer moved
// past the return address (the bytes the export popped). It then sets the
// stack pointer where a correct export would have left it, and returns to
// the host.
asm(R"(
    .text
    .globl _vltxTrampolim
_vltxTrampolim:
    movl %esp, _vltxPilhaNaEntrada
    popl %ecx
    movl %ecx, _vltxRetorno
    pushl $1f
    jmp *_vltxAlvo
1:  movl %esp, %ecx
    subl _vltxPilhaNaEntrada, %ecx
    subl $4, %ecx
    movl %ecx, _vltxBytesDesempilhados
    movl _vltxPilhaNaEntrada, %esp
    addl $4, %esp
    addl _vltxBytesDosArgumentos, %esp
    jmp *_vltxRetorno
)");
#endif

struct ContratoStdcall {
    int chamadas = 0;
    std::string erradas;  // "name (popped N of M bytes)", one per wrong call
} contrato;

template <class F>
struct Exportada;

// An export as the header declares it; calling it counts the call and, on
// 32-bit x86, checks what the export popped.
template <class R, class... A>
struct Exportada<R(VLTX_CALL*)(A...)> {
    using Tipo = R(VLTX_CALL*)(A...);
    const char* nome;
    Tipo funcao;

    R operator()(A... a) const {
        ++contrato.chamadas;
#if defined(__i386__)
        // Each argument takes a whole number of 4-byte slots.
        constexpr std::uintptr_t bytes = (0u + ... + ((sizeof(A) + 3u) & ~3u));
        vltxAlvo = reinterpret_cast<std::uintptr_t>(funcao);
        vltxBytesDosArgumentos = bytes;
        vltxBytesDesempilhados = ~std::uintptr_t{0};
        const auto trampolim = reinterpret_cast<Tipo>(reinterpret_cast<void (*)()>(&vltxTrampolim));
        struct Confere {
            const char* nome;
            ~Confere() {
                if (vltxBytesDesempilhados == bytes) return;
                char texto[160];
                std::snprintf(texto, sizeof texto, " %s (popped %ld of %u bytes)", nome,
                              static_cast<long>(vltxBytesDesempilhados), static_cast<unsigned>(bytes));
                contrato.erradas += texto;
                std::printf("FAIL: %s popped %ld bytes on return, its arguments take %u\n", nome,
                            static_cast<long>(vltxBytesDesempilhados), static_cast<unsigned>(bytes));
            }
        } confere{nome};
        return trampolim(a...);
#else
        return funcao(a...);
#endif
    }
    static constexpr std::size_t Argumentos = sizeof...(A);
};

// The export of that name, with the type the header gives it.
#define EXPORT(nome) \
    (Exportada<decltype(&nome)>{#nome, reinterpret_cast<decltype(&nome)>(reinterpret_cast<void (*)()>(Endereco(#nome)))})

// ------------------------------------------------------------ the printer

std::string linha;  // the printer's directory

std::vector<std::string> Quadros() {
    std::vector<std::string> quadros;
    FILE* f = std::fopen((linha + "\\quadros").c_str(), "rb");
    if (f == nullptr) return quadros;
    char texto[4096];
    while (std::fgets(texto, sizeof texto, f) != nullptr) {
        std::string q;
        for (const char* h = texto; h[0] != '\0' && h[1] != '\0' && h[0] != '\n'; h += 2) {
            char par[3] = {h[0], h[1], 0};
            q += static_cast<char>(std::strtoul(par, nullptr, 16));
        }
        quadros.push_back(q);
    }
    std::fclose(f);
    return quadros;
}

void GravaRoteiro(const std::string& texto) {
    FILE* f = std::fopen((linha + "\\roteiro").c_str(), "wb");
    if (f == nullptr) return;
    std::fwrite(texto.data(), 1, texto.size(), f);
    std::fclose(f);
}

// What the printer does with the next frame: bytes to send and pauses, in order.
void Roteiro(const std::vector<std::pair<int, std::string>>& passos) {
    std::string texto;
    for (const auto& [pausa, bytes] : passos) {
        if (pausa > 0) texto += "p " + std::to_string(pausa) + "\n";
        if (!bytes.empty()) {
            texto += "b ";
            for (unsigned char c : bytes) {
                char h[3];
                std::snprintf(h, sizeof h, "%02x", c);
                texto += h;
            }
            texto += "\n";
        }
    }
    if (texto.empty()) texto = "silencio\n";
    GravaRoteiro(texto);
}
void Responde(const std::string& bytes) { Roteiro({{0, bytes}}); }

// The frames the printer received since the count `antes`.
std::vector<std::string> Novos(std::size_t antes) {
    std::vector<std::string> q = Quadros();
    return q.size() > antes ? std::vector<std::string>(q.begin() + static_cast<std::ptrdiff_t>(antes), q.end())
                            : std::vector<std::string>{};
}

// ------------------------------------------------------------ files, registry, time

std::string LeArquivo(const char* caminho) {
    std::string dados;
    FILE* f = std::fopen(caminho, "rb");
    if (f == nullptr) return dados;
    char bloco[4096];
    std::size_t n;
    while ((n = std::fread(bloco, 1, sizeof bloco, f)) > 0) dados.append(bloco, n);
    std::fclose(f);
    return dados;
}

bool Existe(const char* caminho) { return GetFileAttributesA(caminho) != INVALID_FILE_ATTRIBUTES; }

void Grava(const char* caminho, const std::string& dados) {
    FILE* f = std::fopen(caminho, "wb");
    if (f == nullptr) return;
    std::fwrite(dados.data(), 1, dados.size(), f);
    std::fclose(f);
}

const char* const Dias[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
const char* const Meses[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

std::string CaminhoLog() {
    SYSTEMTIME agora;
    GetLocalTime(&agora);
    return std::string("c:\\") + Dias[agora.wDayOfWeek] + ".log";
}

std::string Log() { return LeArquivo(CaminhoLog().c_str()); }

const char* const ChaveDriver = "Software\\Corvane\\Veltrix\\V2.60";

// The value "Gerar Log" as stored: its type and its bytes; false when absent.
bool LeChaveLog(DWORD* tipo, std::string* dados) {
    HKEY chave;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, ChaveDriver, 0, KEY_QUERY_VALUE, &chave) != ERROR_SUCCESS) return false;
    char valor[64] = {};
    DWORD tamanho = sizeof valor;
    LONG r = RegQueryValueExA(chave, "Gerar Log", nullptr, tipo, reinterpret_cast<BYTE*>(valor), &tamanho);
    RegCloseKey(chave);
    if (r != ERROR_SUCCESS) return false;
    dados->assign(valor, tamanho);
    return true;
}

bool ChaveExiste(const char* caminho) {
    HKEY chave;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, caminho, 0, KEY_READ, &chave) != ERROR_SUCCESS) return false;
    RegCloseKey(chave);
    return true;
}

// A text-mode file holds each line feed as CR LF.
std::string ComoTexto(const std::string& s) {
    std::string t;
    for (char c : s) {
        if (c == '\n') t += '\r';
        t += c;
    }
    return t;
}

ULONGLONG Ms() { return GetTickCount64(); }

// CPU time of this process (all threads), in milliseconds.
double CpuMs() {
    FILETIME criado, fim, nucleo, usuario;
    if (!GetProcessTimes(GetCurrentProcess(), &criado, &fim, &nucleo, &usuario)) return 0;
    auto ms = [](const FILETIME& f) {
        return static_cast<double>((static_cast<std::uint64_t>(f.dwHighDateTime) << 32) | f.dwLowDateTime) / 1e4;
    };
    return ms(nucleo) + ms(usuario);
}

// ------------------------------------------------------------ the checks

void Carga() {
    dll = LoadLibraryA("vltxdrv.dll");
    Checa(dll != nullptr, "LoadLibraryA(\"vltxdrv.dll\") (error %lu)", dll ? 0ul : GetLastError());
    if (dll == nullptr) return;
    int achados = 0, porOrdinal = 0;
    std::string faltam;
    int ordinal = 0;
    for (const char* nome : NomesExportados) {
        ++ordinal;
        FARPROC p = GetProcAddress(dll, nome);
        if (p != nullptr) {
            ++achados;
        } else {
            faltam += std::string(" ") + nome;
        }
        if (p != nullptr && GetProcAddress(dll, MAKEINTRESOURCEA(ordinal)) == p) ++porOrdinal;
    }
    const int total = static_cast<int>(sizeof NomesExportados / sizeof NomesExportados[0]);
    Checa(achados == total, "GetProcAddress finds all %d exports by name (%d found;%s)", total, achados,
          faltam.c_str());
    Checa(porOrdinal == total, "each export's ordinal (1 to %d, in byte order) leads to it (%d do)", total,
          porOrdinal);
    auto c64 = reinterpret_cast<vltx_LogC6_fn>(reinterpret_cast<void (*)()>(Endereco(VLTX_LOG_C6_4)));
    auto c65 = reinterpret_cast<vltx_LogC6_fn>(reinterpret_cast<void (*)()>(Endereco(VLTX_LOG_C6_5)));
    Checa(c64 != nullptr && c65 != nullptr && reinterpret_cast<void*>(c64) != reinterpret_cast<void*>(c65),
          "\"@Log@C6_4\" and \"@Log@C6_5\" are two functions");
    if (c64 != nullptr && c65 != nullptr) {
        Exportada<vltx_LogC6_fn>{VLTX_LOG_C6_4, c64}();
        Exportada<vltx_LogC6_fn>{VLTX_LOG_C6_5, c65}();
    }
}

// Every export once with the port closed, each string argument an empty
// string in a zeroed buffer (room for any answer), each number 0.
char vazio[1024];

template <class A>
A Vazio() {
    if constexpr (std::is_pointer_v<A>) {
        return vazio;
    } else {
        return A{0};
    }
}

template <class R, class... A>
R ComVazios(const Exportada<R(VLTX_CALL*)(A...)>& e) {
    std::memset(vazio, 0, sizeof vazio);
    return e(Vazio<A>()...);
}

void TodasAsExportacoes() {
    int chamadas = 0, nulas = 0;
#define CHAMA_COM_VAZIOS(nome)                 \
    if (Endereco(#nome) != nullptr) {          \
        ComVazios(EXPORT(nome));               \
        ++chamadas;                            \
    } else {                                   \
        ++nulas;                               \
    }
    EXPORTS_COM_NOME_C(CHAMA_COM_VAZIOS)
#undef CHAMA_COM_VAZIOS
    Checa(nulas == 0, "every export with a C name called through its declared stdcall type (%d called, %d missing)",
          chamadas, nulas);
}

void Versao() {
    char texto[64];
    std::memset(texto, 'x', sizeof texto);
    int32_t n = EXPORT(ecf_VersaoDLL)(texto);
    Checa(n == 15 && std::strcmp(texto, "Veltrix - V2.60") == 0, "ecf_VersaoDLL gives \"Veltrix - V2.60\" (%d, \"%s\")",
          n, texto);
}

void Limpa() {
    // A host run leaves the registry and drive C as the driver made them;
    // each run starts from a machine that has never seen the driver.
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, "Software\\Corvane");
    for (const char* dia : Dias) DeleteFileA((std::string("c:\\") + dia + ".log").c_str());
    DeleteFileA("c:\\chqlay.ini");
    DeleteFileA("c:\\layout.ini");
    DeleteFileA("c:\\cmc7.txt");
    DeleteFileA("c:\\outro.txt");
}

// A path that opens but is no serial line: CreateFileA takes the file,
// GetCommState refuses it, and the file is closed again untouched (else the
// deletion below would fail: it was opened without sharing).
void NaoSerial() {
    const char* caminho = "c:\\naoserial.txt";
    HANDLE h = CreateFileA(caminho, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD escritos = 0;
    bool criado = h != INVALID_HANDLE_VALUE && WriteFile(h, "abc", 3, &escritos, nullptr) && escritos == 3;
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    int32_t r = EXPORT(ecf_InicializaDLL)(caminho);
    WIN32_FILE_ATTRIBUTE_DATA dados{};
    bool intacto = GetFileAttributesExA(caminho, GetFileExInfoStandard, &dados) && dados.nFileSizeLow == 3;
    Checa(criado && r == 4 && intacto && DeleteFileA(caminho) != 0,
          "ecf_InicializaDLL of a regular file gives 4 and closes it again untouched (%d)", r);
    Checa(EXPORT(ecf_EstadoImpressora)() == 2, "... and leaves the port closed");
}

void PortaFechada() {
    std::size_t antes = Quadros().size();
    Checa(EXPORT(ecf_FinalizaDLL)() == 2, "ecf_FinalizaDLL with the port closed gives 2");
    Checa(!ChaveExiste("Software\\Corvane"), "... and writes nothing to the registry");
    Checa(EXPORT(ecf_EstadoImpressora)() == 2 && Novos(antes).empty(),
          "a command with the port closed gives 2 and sends nothing");
    Checa(EXPORT(ecf_InicializaDLL)("COM42") == 3, "ecf_InicializaDLL of a port that does not exist gives 3");
    NaoSerial();
}

void PrimeiraAbertura() {
    int32_t r = EXPORT(ecf_InicializaDLL)("COM1");
    Checa(r == 33, "ecf_InicializaDLL(\"COM1\") gives 33 (%d)", r);
    Checa(EXPORT(ecf_InicializaDLL)("COM1") == 1, "a second ecf_InicializaDLL gives 1");

    DWORD tipo = 0;
    std::string dados;
    bool lido = LeChaveLog(&tipo, &dados);
    Checa(lido && tipo == REG_SZ && dados == std::string("0", 2),
          "HKLM\\%s holds \"Gerar Log\" = \"0\" as REG_SZ with its NUL (type %lu, \"%s\")", ChaveDriver, tipo,
          Visivel(dados).c_str());

    const std::string log = Log();
    SYSTEMTIME agora;
    GetLocalTime(&agora);
    char cabeca[64];
    std::snprintf(cabeca, sizeof cabeca, "Inicio LOG: %s %s %02d ", Dias[agora.wDayOfWeek], Meses[agora.wMonth - 1],
                  agora.wDay);
    Checa(log.rfind(cabeca, 0) == 0 && log.size() > 40 && log.compare(36, 6, "\r\n\r\n\r\n") == 0,
          "%s starts with its head line \"%s...\" and two empty lines", CaminhoLog().c_str(), cabeca);

    // The system's own text for "file not found", as a text stream stores it.
    char* sistema = nullptr;
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS,
                   nullptr, ERROR_FILE_NOT_FOUND, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                   reinterpret_cast<char*>(&sistema), 0, nullptr);
    const std::string textoSistema = sistema != nullptr ? ComoTexto(sistema) : std::string();
    if (sistema != nullptr) LocalFree(sistema);
    const std::string esperado = "\r\nCriada Chave Registry: [Corvane]\r\nCriada Chave Registry: [Veltrix]"
                                 "\r\nCriada Chave Registry: [V2.60]"
                                 "\r\nErro de Acesso ao Registry [2]: RegQueryValueEx [Gerar Log]\r\n" +
                                 textoSistema + "\r\nAtualizada Entrada Registry: [Gerar Log=0]";
    Checa(!textoSistema.empty() && log.size() >= 42 + esperado.size() && log.compare(42, esperado.size(), esperado) == 0,
          "first opening logs the three new keys, the missing value with the system's text, and \"0\" stored: %s",
          Visivel(log.substr(42)).c_str());
}

void Trocas() {
    std::size_t antes = Quadros().size();
    Responde("\xc5");
    int32_t r = EXPORT(ecf_EstadoImpressora)();
    std::vector<std::string> q = Novos(antes);
    Checa(r == 197 && q.size() == 1 && q[0] == "\x1b" "f00",
          "ecf_EstadoImpressora sends ESC f 00 and gives the status byte 197 as it came (%d)", r);

    // A frame with a line feed, a carriage return, XON/XOFF and a byte above
    // 127 goes out byte for byte: the line is raw.
    antes = Quadros().size();
    r = EXPORT(ecf_VendaItem)("7891234\n\r", "Caf\xe9 \x11\x13", "1,000", "4,50", "T1", "UN", "2");
    q = Novos(antes);
    std::string venda = "\x1b" "f05";
    char campo[128];
    std::snprintf(campo, sizeof campo, "%-13.13s%-62.62s%7.7s%9.9s%2.2s%-2.2s%c", "7891234\n\r", "Caf\xe9 \x11\x13",
                  "1,000", "4,50", "T1", "UN", '2');
    venda += campo;
    Checa(r == 0 && q.size() == 1 && q[0] == venda, "ecf_VendaItem's 100-byte frame arrives unchanged (%d, %zu bytes: %s)",
          r, q.empty() ? 0 : q[0].size(), q.empty() ? "" : Visivel(q[0].substr(0, 24)).c_str());

    // The largest frame, 856 bytes.
    antes = Quadros().size();
    std::string texto(800, 'z');
    texto[0] = 'a';
    texto[799] = 'b';
    r = EXPORT(ecf_Vinculado)("3", "tef", "12,34", "via", "S", texto.c_str(), "1", "2");
    q = Novos(antes);
    Checa(r == 0 && q.size() == 1 && q[0].size() == 856 && q[0].compare(0, 4, "\x1b" "f50") == 0 &&
              q[0].compare(52, 800, texto) == 0 && q[0].compare(852, 4, "0102") == 0,
          "ecf_Vinculado's 856-byte frame arrives whole (%zu bytes)", q.empty() ? 0 : q[0].size());

    // The 30-byte register answer, with every byte the tty layer could eat.
    std::string registro("\x00\x01\x03\x0a\x0d\x11\x13\x1a\x1b\x7f\x80\xff" "0123456789abcdefgh", 30);
    Responde(registro);
    char resposta[31];
    std::memset(resposta, 'x', sizeof resposta);
    r = EXPORT(ecf_LeRegistrador)("12", resposta);
    Checa(r == 33 && std::memcmp(resposta, registro.data(), 30) == 0 && resposta[30] == 0,
          "ecf_LeRegistrador gives 33 and the 30 bytes as the printer sent them (%d, %s)", r,
          Visivel(std::string(resposta, 30)).c_str());

    // A reply cut short ends 100 ms after its last byte, not at the time-out.
    Responde("0123456789");
    ULONGLONG t0 = Ms();
    r = EXPORT(ecf_LeRegistrador)("12", resposta);
    ULONGLONG ms = Ms() - t0;
    Checa(r == 10 && ms < 2500, "a register answer of 10 bytes of 30 gives 10 once the line falls silent (%d, %llu ms)",
          r, ms);

    // A reply that comes late but within the time-out (2 s for "00").
    Roteiro({{1200, "\x07"}});
    t0 = Ms();
    r = EXPORT(ecf_EstadoImpressora)();
    ms = Ms() - t0;
    Checa(r == 7 && ms >= 1100, "a status byte 1.2 s late, within the 2 s time-out, is read (%d, %llu ms)", r, ms);

    // A printer that stays silent: the one-shot override of 1 s replaces
    // the 5 s of ecf_AbreGaveta.
    Checa(EXPORT(ecf_ProximoTimeout)("1") == 1, "ecf_ProximoTimeout(\"1\") gives 1");
    Roteiro({});
    t0 = Ms();
    r = EXPORT(ecf_AbreGaveta)();
    ms = Ms() - t0;
    Checa(r == 10 && ms >= 1000 && ms < 4000, "a silent printer gives 10 after the 1 s override, not 5 s (%d, %llu ms)",
          r, ms);
}

void LogLigado() {
    Checa(EXPORT(ecf_LogSerial)("1") == 1, "ecf_LogSerial(\"1\") gives 1");
    std::size_t antes = Log().size();
    Responde("A");
    int32_t r = EXPORT(ecf_Autentica)("um\ndois");
    const std::string novo = Log().substr(antes);
    // "\r\nTX [hh:mm:ss mmmms] - " then the frame, its line feed stored as CR LF.
    const std::string quadro = ComoTexto(std::string("\x1b" "f29") + "um\ndois" + std::string(13, ' '));
    bool tx = novo.size() > 24 && novo.compare(0, 6, "\r\nTX [") == 0 && novo.compare(18, 6, "ms] - ") == 0 &&
              novo[8] == ':' && novo[11] == ':' && novo.compare(24, quadro.size(), quadro) == 0;
    std::size_t rx = novo.find("\r\nRX [");
    Checa(r == 65 && tx && rx != std::string::npos && novo.compare(rx + 24, std::string::npos, "A") == 0,
          "with the log on, the frame (its line feed as CR LF) and the reply are logged: %s", Visivel(novo).c_str());

    antes = Log().size();
    EXPORT(ecf_ProximoTimeout)("1");
    Roteiro({});
    r = EXPORT(ecf_CortaPapel)();
    const std::string erro = Log().substr(antes);
    std::size_t e = erro.find("\r\nErro DLL [");
    Checa(r == 10 && e != std::string::npos && erro.compare(e + 30, std::string::npos, "10") == 0,
          "a silent printer logs \"Erro DLL [...] - 10\": %s", Visivel(erro).c_str());

    std::size_t depois = Log().size();
    r = EXPORT(ecf_FinalizaDLL)();
    DWORD tipo = 0;
    std::string dados;
    const bool lido = LeChaveLog(&tipo, &dados);
    Checa(r == 33 && lido && dados == std::string("1", 2),
          "ecf_FinalizaDLL gives 33 and stores \"Gerar Log\" = \"1\" (%d, \"%s\")", r, Visivel(dados).c_str());
    Checa(Log().find("\r\nAtualizada Entrada Registry: [Gerar Log=1]", depois) != std::string::npos,
          "... and logs the value stored");

    depois = Log().size();
    r = EXPORT(ecf_InicializaDLL)("COM1");
    EXPORT(ecf_EstadoImpressora)();
    const std::string reaberto = Log().substr(depois);
    Checa(r == 33 && reaberto.find("\r\nLeitura Entrada Registry: [Gerar Log=1]") != std::string::npos &&
              reaberto.find("\r\nTX [") != std::string::npos,
          "the next opening reads \"1\" and logs frames from the first command on");
    EXPORT(ecf_LogSerial)("0");
}

void Cheque() {
    Grava("c:\\layout.ini",
          "; two layouts\r\n"
          "   [Banco1]\r\n"
          "Valor=10,20\r\nExtenso=1,2,3,4\r\nFavorecido=5,6\r\nCidade=7,8\r\nMensagem=9,10\r\nData=11,12,13\r\n"
          "eSpacamento=2\r\n"
          "[Banco2]\r\n"
          "Valor=5,12,1,0\r\nExtenso=100,2,3,4,5,6\r\nFavorecido=1,2,3,4\r\nCidade=1,2,3,4\r\nMensagem=1,2,3,4\r\n"
          "Data=1,2,3\r\neSpacamento=12345\r\n");
    std::size_t antes = Quadros().size();
    Responde(std::string(1, '\0'));
    int32_t r = EXPORT(ecf_ImprimeCheque)("1234,56", "Fulano", "Sao Paulo", "Obrigado", "010203", "t6", "t7", "Banco1",
                                          "c:\\layout.ini");
    std::vector<std::string> q = Novos(antes);
    Checa(r == 0 && q.size() == 1 && q[0].size() == 169 &&
              q[0].compare(0, 34, "\x1b" "f34102001020304050607080910111213") == 0 &&
              q[0].compare(34, 14, "       1234,56") == 0 && q[0].compare(166, 3, "  2") == 0,
          "an indented basic section read by GetPrivateProfileStringA gives the 169-byte frame (%d, %s)", r,
          q.empty() ? "" : Visivel(q[0].substr(0, 48)).c_str());
    Checa(!Existe("c:\\chqlay.ini"), "... and the copy c:\\chqlay.ini is deleted");

    antes = Quadros().size();
    r = EXPORT(ecf_ImprimeCheque)("1", "2", "3", "4", "5", "6", "7", "Banco2", "c:\\layout.ini");
    q = Novos(antes);
    Checa(r == 0 && q.size() == 1 && q[0].size() == 189 && q[0].compare(4, 10, std::string("05\0" "1210100", 10)) == 0 &&
              q[0].compare(185, 4, "1230") == 0,
          "an extended section gives the 189-byte frame (%d, %s)", r,
          q.empty() ? "" : Visivel(q[0].substr(0, 24)).c_str());

    antes = Quadros().size();
    r = EXPORT(ecf_ImprimeCheque)("1", "2", "3", "4", "5", "6", "7", "Banco9", "c:\\layout.ini");
    Checa(r == 21 && Novos(antes).empty() && Existe("c:\\chqlay.ini"),
          "a missing section gives 21, sends nothing and leaves the copy (%d)", r);
    // The copy is never written through a second name of another file.
    DeleteFileA("c:\\chqlay.ini");
    Grava("c:\\outro.txt", "de outro programa");
    const bool ligado = CreateHardLinkA("c:\\chqlay.ini", "c:\\outro.txt", nullptr) != FALSE;
    antes = Quadros().size();
    r = EXPORT(ecf_ImprimeCheque)("1", "2", "3", "4", "5", "6", "7", "Banco1", "c:\\layout.ini");
    Checa(ligado && r == 20 && Novos(antes).empty() && LeArquivo("c:\\outro.txt") == "de outro programa",
          "a hard link at c:\\chqlay.ini gives 20 and leaves the other file alone (%d)", r);
    DeleteFileA("c:\\chqlay.ini");
    DeleteFileA("c:\\outro.txt");

    SetFileAttributesA("c:\\layout.ini", FILE_ATTRIBUTE_READONLY);
    r = EXPORT(ecf_ImprimeCheque)("1", "2", "3", "4", "5", "6", "7", "Banco1", "c:\\layout.ini");
    Checa(r == 20, "a layout file marked read-only gives 20 (%d)", r);
    SetFileAttributesA("c:\\layout.ini", FILE_ATTRIBUTE_NORMAL);
}

void LeituraCmc7() {
    // The printer answers 2, then sends the line in pieces with pauses
    // longer than the read interval: the readout waits for each, and a
    // chunk of ETX alone ends it.
    // A piece of one byte, the last one among them, is read on its own.
    Roteiro({{0, "\x02"}, {300, "<1234"}, {400, "5"}, {300, "6\n78X\x1b\x1b"}, {300, "\x03"}});
    const double cpu0 = CpuMs();
    const ULONGLONG t0 = Ms();
    int32_t r = EXPORT(ecf_LeCMC7)("c:\\cmc7.txt");
    const ULONGLONG ms = Ms() - t0;
    const double cpu = CpuMs() - cpu0;
    const std::string dados = LeArquivo("c:\\cmc7.txt");
    const std::string esperado = std::string("\x02<123456\r\n78X\x1b\x1b\x03");
    Checa(r == 33 && dados == esperado && ms < 4000,
          "ecf_LeCMC7 writes the reply byte and the pieces, each line feed as CR LF, and ends at a lone ETX "
          "(%d, %llu ms, \"%s\")",
          r, ms, Visivel(dados).c_str());
    std::printf("measured: the readout took %llu ms of wall time and %.0f ms of CPU time\n", ms, cpu);
    // Waiting in the system costs next to nothing; polling the queue through
    // Wine's server costs this process about a third of the time.
    Checa(cpu < ms / 10.0, "waiting for the pieces does not spin (%.0f ms of CPU in %llu ms)", cpu, ms);
    // The host's path must name a regular file: a directory or a device is
    // refused before anything is written.
    Responde("\x02");
    r = EXPORT(ecf_LeCMC7)("c:\\windows");
    Checa(r == 20, "a readout into a directory gives 20 (%d)", r);
    Responde("\x02");
    r = EXPORT(ecf_LeCMC7)("NUL");
    Checa(r == 20, "a readout into the device NUL gives 20 (%d)", r);
}

void Descarga() {
    // The port open and the switch changed in memory only: unloading
    // releases the device and writes nothing to the registry.
    EXPORT(ecf_LogSerial)("1");
    EXPORT(ecf_FinalizaDLL)();
    EXPORT(ecf_InicializaDLL)("COM1");
    EXPORT(ecf_LogSerial)("0");
    Checa(FreeLibrary(dll) != FALSE, "FreeLibrary with the port open");
    dll = nullptr;
    DWORD tipo = 0;
    std::string dados;
    const bool lido = LeChaveLog(&tipo, &dados);
    Checa(lido && dados == std::string("1", 2),
          "unloading leaves \"Gerar Log\" as it was (\"%s\")", Visivel(dados).c_str());
    HANDLE h = CreateFileA("COM1", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    Checa(h != INVALID_HANDLE_VALUE, "the device is free again after unloading (error %lu)",
          h == INVALID_HANDLE_VALUE ? GetLastError() : 0ul);
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);

    dll = LoadLibraryA("vltxdrv.dll");
    Checa(dll != nullptr && EXPORT(ecf_FinalizaDLL)() == 2, "loaded again, the driver starts closed");
    if (dll != nullptr) FreeLibrary(dll);
}


// ------------------------------------------------------------ network lines

// Opens url, at most for segundos, while the server may still be starting
// (3: nothing listens yet) or still letting the printer's device go after
// its previous client (4: it drops the connection before taking the option).
int32_t AbreRede(const char* url, int segundos) {
    const ULONGLONG fim = Ms() + static_cast<ULONGLONG>(segundos) * 1000;
    int32_t r;
    int tentativas = 1;
    while (((r = EXPORT(ecf_InicializaDLL)(url)) == 3 || r == 4) && Ms() < fim) {
        Sleep(50);
        ++tentativas;
    }
    if (tentativas > 1) std::printf("%s: opened after %d tries (%d)\n", url, tentativas, r);
    return r;
}

// The printer behind a serial server, through the DLL's Winsock line: the
// same codes as the port on COM1 and as the network lines on Linux.
void Rede(const char* url) {
    std::printf("== %s\n", url);
    EXPORT(ecf_FinalizaDLL)();
    int32_t r = AbreRede(url, 10);
    Checa(r == 33, "ecf_InicializaDLL(\"%s\") gives 33 (%d)", url, r);
    if (r != 33) return;

    // A frame with 255 and CR NUL goes out byte for byte (the unit "X\r"
    // and an empty flag put CR and NUL together at its end).
    std::size_t antes = Quadros().size();
    Responde("\xff");
    r = EXPORT(ecf_VendaItem)("7891234", "Caf\xe9 \xff\xff fim", "1,000", "4,50", "T1", "X\r", "");
    std::vector<std::string> q = Novos(antes);
    char campo[128];
    std::snprintf(campo, sizeof campo, "%-13.13s%-62.62s%7.7s%9.9s%2.2s%-2.2s", "7891234", "Caf\xe9 \xff\xff fim",
                  "1,000", "4,50", "T1", "X\r");
    const std::string venda = std::string("\x1b" "f05") + campo + std::string(1, '\0');
    Checa(r == 255 && q.size() == 1 && q[0] == venda,
          "%s: a 100-byte frame with 255 and CR NUL arrives unchanged, and the status byte 255 comes back (%d, %s)",
          url, r, q.empty() ? "nothing" : Visivel(q[0].substr(80)).c_str());

    // A 30-byte answer with 255, CR NUL and every control byte.
    const std::string registro("\xff\xff\x0d\x00\x00\x0d\x01\x03\x0a\x11\x13\x1a\x1b\x7f\x80\xfe" "0123456789abcd", 30);
    Responde(registro);
    char resposta[31];
    std::memset(resposta, 'x', sizeof resposta);
    r = EXPORT(ecf_LeRegistrador)("12", resposta);
    Checa(r == 33 && std::memcmp(resposta, registro.data(), 30) == 0,
          "%s: ecf_LeRegistrador gives 33 and the 30 bytes as the printer sent them (%d, %s)", url, r,
          Visivel(std::string(resposta, 30)).c_str());

    // A silent printer: the one-shot override of 1 s, as on a port.
    EXPORT(ecf_ProximoTimeout)("1");
    Roteiro({});
    ULONGLONG t0 = Ms();
    r = EXPORT(ecf_AbreGaveta)();
    ULONGLONG ms = Ms() - t0;
    Checa(r == 10 && ms >= 1000 && ms < 4000, "%s: a silent printer gives 10 after the 1 s override (%d, %llu ms)",
          url, r, ms);

    // The server goes away in the middle of an exchange: 16 for it and for
    // every later call, until the port is closed and opened again.
    GravaRoteiro("k\n");
    t0 = Ms();
    r = EXPORT(ecf_AbreGaveta)();
    ms = Ms() - t0;
    const int32_t depois = EXPORT(ecf_EstadoImpressora)();
    Checa(r == 16 && depois == 16 && ms < 3000,
          "%s: the server killed mid-exchange gives 16 (in %llu ms), and 16 again for the next command (%d, %d)", url,
          ms, r, depois);
    Checa(EXPORT(ecf_FinalizaDLL)() == 33, "%s: ecf_FinalizaDLL of the dropped line gives 33", url);
    t0 = Ms();
    r = EXPORT(ecf_InicializaDLL)(url);
    ms = Ms() - t0;
    Checa(r == 3 && ms < 3500, "%s: with nothing listening ecf_InicializaDLL gives 3 within the 3 s bound (%d, %llu ms)",
          url, r, ms);
    Grava((linha + "\\religa").c_str(), "");
    r = AbreRede(url, 10);
    Responde("\x07");
    const int32_t estado = r == 33 ? EXPORT(ecf_AbreGaveta)() : -1;
    Checa(r == 33 && estado == 7, "%s: the server started again, the port opens and the printer answers (%d, %d)",
          url, r, estado);
    EXPORT(ecf_FinalizaDLL)();
}

// Back to COM1 as the readout left it, with "Gerar Log" = "1" stored as the
// log's checks stored it (the network lines' closings stored "0").
void VoltaAoCom1() {
    EXPORT(ecf_InicializaDLL)("COM1");
    EXPORT(ecf_LogSerial)("1");
    EXPORT(ecf_FinalizaDLL)();
    EXPORT(ecf_InicializaDLL)("COM1");
    EXPORT(ecf_LogSerial)("0");
}

// The scripted RFC 2217 server (impressora_pty --rfc2217): CTS comes from
// NOTIFY-MODEMSTATE, which ser2net on a pseudo-terminal never reports up.
std::string Modem(int estado) {
    return std::string("\xff\xfa\x2c\x6b", 4) + static_cast<char>(estado) + std::string("\xff\xf0", 2);
}

void Roteirizado(const char* url) {
    std::printf("== %s (scripted)\n", url);
    EXPORT(ecf_FinalizaDLL)();
    int32_t r = AbreRede(url, 10);
    Checa(r == 33, "ecf_InicializaDLL(\"%s\") of the scripted server gives 33 (%d)", url, r);
    if (r != 33) return;
    // CTS and DSR up, then CTS down: ecf_AbreGaveta (sent with CTS flow
    // control) is refused with 8 and writes nothing; ecf_EstadoImpressora
    // (without) goes; CTS up again, ecf_AbreGaveta goes.
    Roteiro({{0, Modem(0x30) + "\x05"}});
    const int32_t a = EXPORT(ecf_AbreGaveta)();
    Roteiro({{0, Modem(0x21) + "\x05"}});
    const int32_t b = EXPORT(ecf_AbreGaveta)();
    const std::size_t antes = Quadros().size();
    const int32_t c = EXPORT(ecf_AbreGaveta)();
    const bool nada = Quadros().size() == antes;
    Roteiro({{0, Modem(0x31) + "\x05"}});
    const int32_t d = EXPORT(ecf_EstadoImpressora)();
    Roteiro({{0, "\x05"}});
    const int32_t e = EXPORT(ecf_AbreGaveta)();
    Checa(a == 5 && b == 5 && c == 8 && nada && d == 5 && e == 5,
          "%s: CTS held by NOTIFY-MODEMSTATE gives 8 to a send with CTS and writes nothing, a send without "
          "goes, CTS up again lets it through (%d %d %d %d %d)",
          url, a, b, c, d, e);
    EXPORT(ecf_FinalizaDLL)();
}

void SemOpcao(const char* url, bool calado) {
    EXPORT(ecf_FinalizaDLL)();
    const ULONGLONG t0 = Ms();
    const int32_t r = EXPORT(ecf_InicializaDLL)(url);
    const ULONGLONG ms = Ms() - t0;
    const int32_t f = EXPORT(ecf_FinalizaDLL)();
    if (calado)
        Checa(r == 4 && f == 2 && ms >= 2500 && ms < 5000,
              "%s: a server that never negotiates gives 4 after the 3 s bound (%d in %llu ms), the port closed", url,
              r, ms);
    else
        Checa(r == 4 && f == 2, "%s: a server that refuses the COM port option gives 4, the port closed (%d, %d)",
              url, r, f);
}

void EnderecosRuins() {
    EXPORT(ecf_FinalizaDLL)();
    const char* const ruins[] = {"socket://127.0.0.1", "socket://127.0.0.1:0", "socket://127.0.0.1:70000",
                                 "rfc2217://:4000", "socket://[::1:4000", "socket://127.0.0.1:12ab"};
    std::string abriram;
    for (const char* u : ruins)
        if (EXPORT(ecf_InicializaDLL)(u) != 3) {
            abriram += std::string(" ") + u;
            EXPORT(ecf_FinalizaDLL)();
        }
    Checa(abriram.empty(), "malformed network port names give 3 (not:%s)", abriram.c_str());
}

// Last, as the printer ends with it: the printer hangs up (the master side
// of its pseudo-terminal closed) in the middle of a CMC-7 readout. The
// driver ends the readout with 16 once the line reports the hang-up, not at
// the 5 s idle limit.
void QuedaNaLeitura() {
    dll = LoadLibraryA("vltxdrv.dll");
    if (dll == nullptr) return;
    EXPORT(ecf_FinalizaDLL)();
    int32_t r = EXPORT(ecf_InicializaDLL)("COM1");
    GravaRoteiro("b 02\nb 3c31323334\np 400\nh\n");
    const ULONGLONG t0 = Ms();
    const int32_t leitura = r == 33 ? EXPORT(ecf_LeCMC7)("c:\\cmc7.txt") : -1;
    const ULONGLONG ms = Ms() - t0;
    const int32_t depois = EXPORT(ecf_EstadoImpressora)();
    Checa(r == 33 && leitura == 16 && ms < 2000 && depois == 16 && LeArquivo("c:\\cmc7.txt") == "\x02<1234",
          "the printer hanging up mid-readout ends ecf_LeCMC7 with 16 in %llu ms, the file keeping what came, "
          "and the next command gives 16 (%d, %d, %d)",
          ms, r, leitura, depois);
    EXPORT(ecf_FinalizaDLL)();
    FreeLibrary(dll);
    dll = nullptr;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: vltxdrv_host LINHA [URL...]\n");
        return 2;
    }
    linha = argv[1];
    Carga();
    if (dll != nullptr) {
        Versao();
        TodasAsExportacoes();
        Limpa();
        PortaFechada();
        PrimeiraAbertura();
        Trocas();
        LogLigado();
        Cheque();
        LeituraCmc7();
        if (argc > 2) EnderecosRuins();
        for (int i = 2; i < argc; ++i) {
            const std::string a = argv[i];
            if (a.rfind("--roteirizado=", 0) == 0) Roteirizado(argv[i] + 14);
            else if (a.rfind("--recusa=", 0) == 0) SemOpcao(argv[i] + 9, false);
            else if (a.rfind("--calado=", 0) == 0) SemOpcao(argv[i] + 9, true);
            else Rede(argv[i]);
        }
        if (argc > 2) VoltaAoCom1();
        Descarga();
        QuedaNaLeitura();
    }
#if defined(__i386__)
    Checa(contrato.chamadas >= 54 && contrato.erradas.empty(),
          "each of the %d calls left the stack pointer where the host's stdcall call expects it "
          "(the export popped its arguments' bytes)%s",
          contrato.chamadas, contrato.erradas.c_str());
#endif
    std::printf("host: %d passed, %d failed\n", passou, falhou);
    return falhou == 0 ? 0 : 1;
}
