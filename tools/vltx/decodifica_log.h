// The diagnostic log made readable: each frame sent named by its command
// and split into its fields, each reply with its status byte, the bytes
// discarded from the line after a failed exchange, each driver error with
// its meaning, the settings lines as they are.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

struct Comando;

// The bytes as the file holds them (each line feed stored as CR LF).
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
    std::string Texto;           // the discarded bytes, readable
};

// The log's TX, RX, Erro DLL, Descartado and Erro de Sistema records (Texto:
// "read: EIO (5)"), read by the same decoder as DecodificaLog.
std::vector<RegistroLog> RegistrosDoLog(std::string_view arquivo);

// vltx log --summary: the frames sent per command with their failures and
// reply times, every failure with its code and meaning, the slowest
// exchanges, the status bytes other than 0, the discarded bytes.
std::string ResumoDoLog(std::string_view arquivo);
