// The driver's one door to the operating system.
//
// Every operation here stands for one call of the Windows API or C runtime
// that the driver was written against (named beside it), in the driver's own
// vocabulary. One implementation per system is chosen at build time
// (posix/ or win32/); tests may link a scripted fake instead. No virtual
// dispatch, no state visible to the caller beyond the handles handed out.
#pragma once

#include <cstddef>
#include <cstdint>

namespace plataforma {

// ---------------------------------------------------------------- serial line

// A device handle; 0 means none (the driver tests the handle against 0).
using Dispositivo = std::intptr_t;

// The members of the line settings record (DCB) the driver changes. The rest
// of the record, as read from the device, rides along in Nativo untouched.
struct ConfigLinha {
    std::uint32_t BaudRate;
    std::uint8_t ByteSize;
    std::uint8_t Parity;    // 0 none
    std::uint8_t StopBits;  // 0 one stop bit
    bool fParity;
    bool fOutxCtsFlow;
    alignas(8) unsigned char Nativo[96];
};

// COMMTIMEOUTS, in milliseconds.
struct TemposLinha {
    std::uint32_t ReadIntervalTimeout;
    std::uint32_t ReadTotalTimeoutMultiplier;
    std::uint32_t ReadTotalTimeoutConstant;
    std::uint32_t WriteTotalTimeoutMultiplier;
    std::uint32_t WriteTotalTimeoutConstant;
};

// The part of COMSTAT the driver looks at.
struct EstadoLinha {
    std::uint32_t cbInQue;
    std::uint32_t cbOutQue;
    bool fCtsHold;
};

// Line error bits, as ClearCommError reports them.
constexpr std::uint32_t CE_RXOVER = 0x0001;
constexpr std::uint32_t CE_OVERRUN = 0x0002;
constexpr std::uint32_t CE_RXPARITY = 0x0004;
constexpr std::uint32_t CE_FRAME = 0x0008;
constexpr std::uint32_t CE_BREAK = 0x0010;
constexpr std::uint32_t CE_TXFULL = 0x0100;
constexpr std::uint32_t CE_IOE = 0x0400;

constexpr std::uint32_t PURGE_TXCLEAR = 0x0004;
constexpr std::uint32_t PURGE_RXCLEAR = 0x0008;

// CreateFileA(nome, read|write, no sharing, OPEN_EXISTING): 0 when it fails.
Dispositivo AbreDispositivo(const char* nome);
// GetCommState.
bool LeConfigLinha(Dispositivo d, ConfigLinha& config);
// SetCommState.
bool AplicaConfigLinha(Dispositivo d, const ConfigLinha& config);
// SetCommTimeouts.
bool AplicaTemposLinha(Dispositivo d, const TemposLinha& tempos);
// PurgeComm.
bool PurgaLinha(Dispositivo d, std::uint32_t filas);
// ClearCommError: the error bits since the last call, and the queue state.
bool LeErrosLinha(Dispositivo d, std::uint32_t* erros, EstadoLinha* estado);
// ReadFile under the time-outs last applied; *lidos is set on failure too.
bool LeLinha(Dispositivo d, void* destino, std::uint32_t quantidade, std::uint32_t* lidos);
// WriteFile, with no time-out of its own.
bool EscreveLinha(Dispositivo d, const void* dados, std::uint32_t quantidade,
                  std::uint32_t* escritos);
// CloseHandle.
bool FechaDispositivo(Dispositivo d);
// Blocks until bytes wait in the input queue or the milliseconds run out:
// true when bytes wait. Lets a readout wait without spinning on the queue.
// A line that has dropped returns false at once.
bool EsperaEntrada(Dispositivo d, std::uint32_t milissegundos);
// True once the line has dropped (hung up, the device gone, an I/O error):
// it stays so until the device is closed. Costs no system call.
bool LinhaCaiu(Dispositivo d);

// Why a line operation failed, as the system said it: the call that failed
// and its error (errno; GetLastError or WSAGetLastError on Windows), with
// the error's name ("EIO", "ERROR_INVALID_HANDLE"), null where it has none.
// Only the system's own files see the error: each notes it right where its
// call failed, and the driver takes it after an operation that failed.
struct FalhaSistema {
    const char* chamada = nullptr;  // null: no system call failed
    long codigo = 0;
    const char* nome = nullptr;
};
// The failure last noted, cleared: a line operation's own when taken right
// after it failed.
FalhaSistema TiraFalhaSistema();
// Notes a failed call (for the system's files; chamada and nome are static).
void AnotaFalhaSistema(const char* chamada, long codigo, const char* nome);

// ---------------------------------------------------------------- clocks

// Every duration the driver measures (the report wait, the readouts' idle
// limits, the read time-outs) runs on a monotonic clock, so that setting the
// wall clock (an NTP step at boot, a technician) neither stretches nor cuts
// a wait. Only the log's time stamps and file names read the wall clock.

// A monotonic clock in whole seconds (the driver's waits count whole seconds).
std::int64_t RelogioSegundos();
// The same clock in milliseconds.
std::int64_t RelogioMilissegundos();
// Local time of day for the log stamps (_ftime + localtime).
struct Instante {
    int ano, mes, dia, diaSemana, hora, minuto, segundo, milissegundo;  // mes 0-11, diaSemana 0 = Sunday
};
Instante AgoraLocal();
// Sleeps until RelogioSegundos() gives at least alvo. Never spins.
void DormeAte(std::int64_t alvo);

// ---------------------------------------------------------------- files

// Low-level handles as _open gives them: positive when open, 0 or negative when not.
using Arquivo = int;
// The driver's own files (the log) are regular files it owns: no link is
// followed, no second name of another file is written through, and nothing
// at the path (a FIFO, a device) can block the open. A path that fails
// these tests cannot be opened.
// _open(caminho, O_RDWR|O_APPEND) of an existing file only.
Arquivo AbreArquivoExistente(const char* caminho);
// _open(caminho, O_RDWR|O_CREAT), writable by its owner; truncated when trunca
// (else an existing file keeps its bytes).
Arquivo CriaArquivo(const char* caminho, bool trunca);
// Whether an output file for the host can be made at the path, tested
// without creating or changing anything: an existing regular file that may
// be written, or a free name in a directory that may be written.
bool ArquivoSaidaUtilizavel(const char* caminho);
// A regular file for the host, created or truncated (fopen "w+"); refuses
// anything that is not a regular file; 0600 and no symlink when exclusivo.
Arquivo CriaArquivoSaida(const char* caminho, bool exclusivo);
// fopen(caminho, "r+") for reading: 0 or negative when it cannot be opened
// for reading and writing (absent, or not writable).
Arquivo AbreArquivoLeituraEscrita(const char* caminho);
// _write, raw bytes; false when not all of them went.
bool EscreveArquivo(Arquivo a, const void* dados, std::size_t tamanho);
// _read; the count read, 0 at the end, negative on error.
long LeArquivo(Arquivo a, void* destino, std::size_t tamanho);
// The day of the month of the file's last write, in local time; -1 when unknown.
int DiaModificacao(Arquivo a);
// _close; false when the close reported an error.
bool FechaArquivo(Arquivo a);
// remove().
bool ApagaArquivo(const char* caminho);

// The directory that stands for "c:\": its path with a trailing separator,
// created on first use.
const char* DiretorioC();

// ---------------------------------------------------------------- registry

using Chave = std::intptr_t;
constexpr Chave HKEY_LOCAL_MACHINE = 1;
constexpr std::uint32_t REG_CREATED_NEW_KEY = 1;
constexpr std::uint32_t REG_OPENED_EXISTING_KEY = 2;

// RegOpenKeyExA. Results are the system's error codes, 0 for success.
long RegistroAbreChave(Chave pai, const char* nome, Chave* chave);
// RegCreateKeyExA, asking for the disposition.
long RegistroCriaChave(Chave pai, const char* nome, Chave* chave, std::uint32_t* disposicao);
// RegQueryValueExA into valor, at most *tamanho bytes; *tamanho gets the size.
long RegistroLeValor(Chave chave, const char* nome, char* valor, std::uint32_t* tamanho);
// RegSetValueExA as REG_SZ, tamanho bytes including the NUL.
long RegistroGravaValor(Chave chave, const char* nome, const char* texto, std::uint32_t tamanho);
// RegCloseKey.
long RegistroFechaChave(Chave chave);
// FormatMessageA(FROM_SYSTEM|ALLOCATE_BUFFER): the system's text for a code,
// or null when it has none. Released with LiberaMensagemSistema (LocalFree).
char* MensagemSistema(long codigo);
void LiberaMensagemSistema(char* mensagem);

// ---------------------------------------------------------------- profile

// GetPrivateProfileStringA: with a null chave, the names of the section's
// keys; else the key's value or padrao. Returns the characters copied.
std::uint32_t LePerfil(const char* secao, const char* chave, const char* padrao, char* destino,
                       std::uint32_t tamanho, const char* arquivo);

// ---------------------------------------------------------------- lock

// One process-wide recursive lock held by every export for its whole call.
void Trava();
void Destrava();

// A lock shared by every process of the machine that uses the driver's
// files, named by nome (a flock'ed file beside the driver's files, a named
// mutex on Windows). Blocks until taken; 0 when it cannot be had.
using TravaGlobal = std::intptr_t;
TravaGlobal TomaTravaGlobal(const char* nome);
// The same lock named by nome, taken only if no other holder has it, and
// held until released or its holder ends (a flock'ed file; on Windows a
// named object that lives while a handle to it is open, so that no thread
// owns it). False when another holder (another process, or another
// opening in this one) has it; else *trava is the lock, or 0 when none
// could be made (a directory that cannot be written).
bool TentaTravaGlobal(const char* nome, TravaGlobal* trava);
void SoltaTravaGlobal(TravaGlobal trava);

}  // namespace plataforma
