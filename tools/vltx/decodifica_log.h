// The diagnostic log made readable: each frame sent named by its command
// and split into its fields, each reply with its status byte, the bytes
// discarded from the line after a failed exchange, each driver error with
// its meaning, the settings lines as they are.
//
// The log is read as a stream, a block at a time, and the text goes out as
// it is made: the memory a decoding takes does not grow with the file.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

struct Comando;

// Where the decoder takes the file's bytes from, as the file holds them
// (each line feed stored as CR LF): fills destino with up to n bytes and
// gives their count, 0 at the end.
using LeituraLog = std::function<std::size_t(char* destino, std::size_t n)>;
// Where the text goes, a piece at a time.
using EscritaLog = std::function<void(std::string_view)>;

// vltx log. Throws std::system_error only when a temporary file that holds
// an overlong record cannot be written or read back.
void DecodificaLog(const LeituraLog& entrada, const EscritaLog& saida);
std::string DecodificaLog(std::string_view arquivo);

// One exchange record as the decoder read it, for the summary.
struct RegistroLog {
    enum Tipos { Envio, Resposta, ErroDll, Descarte, ErroSistema };
    Tipos Tipo = Envio;
    std::string Hora;            // "hh:mm:ss.mmm", or what a torn stamp holds
    long Milissegundo = -1;      // of the day; -1 when the stamp is torn
    const Comando* Linha = nullptr;  // the frame's row (Envio), or the last frame sent's
    int Status = -1;             // a one-byte reply
    std::size_t Bytes = 0;       // the reply's or the discarded bytes' length
    long Codigo = 0;             // Erro DLL
    std::string Texto;           // the first 40 discarded bytes, readable; ErroSistema: "read: EIO (5)"
};

// The log's TX, RX, Erro DLL, Descartado and Erro de Sistema records, read by the same
// decoder as DecodificaLog, handed over one at a time as they are read.
void RegistrosDoLog(const LeituraLog& entrada, const std::function<void(const RegistroLog&)>& registro);

// vltx log --summary: the frames sent per command with their failures and
// reply times, every failure with its code and meaning, the slowest
// exchanges, the status bytes other than 0, the discarded bytes.
void ResumoDoLog(const LeituraLog& entrada, const EscritaLog& saida);
std::string ResumoDoLog(std::string_view arquivo);

// A LeituraLog over bytes in memory.
LeituraLog LeituraDeMemoria(std::string_view arquivo);
