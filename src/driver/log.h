// The diagnostic log and the persisted log switch.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/plataforma.h"

// Opens the day's log file, renewing it when it is another day's.
plataforma::Arquivo AbreLog();
// Writes tamanho bytes (0: up to the NUL), each line feed as CR LF.
void EscreveLog(plataforma::Arquivo arquivo, const void* dados, std::size_t tamanho);
void FechaLog(plataforma::Arquivo arquivo);

// Logs a failed registry call with the system's text; returns codigo.
long RegistraErroRegistry(long codigo, const char* texto);

// Reads (modo 0) or writes (modo 1) a value of HKLM\Software\grupo\aplicacao\versao.
bool AcessaRegistry(const char* grupo, const char* aplicacao, const char* versao, const char* entrada, char* valor,
                    const char* padrao, std::uint32_t tamanho, int modo);

// Writes bytes to a text-mode stream: each line feed as carriage return and
// line feed. False when a write failed.
bool EscreveTexto(plataforma::Arquivo arquivo, const void* dados, std::size_t tamanho);

// A log record: its time stamp (prefixo is "TX", "RX", "Erro DLL" or
// "Descartado") and then up to TamanhoBuffer bytes of it, in one write.
void RegistraCarimbo(plataforma::Arquivo arquivo, const char* prefixo, const void* dados = nullptr,
                     std::size_t tamanho = 0);
