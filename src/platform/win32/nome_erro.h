// The names of the Windows errors a line meets (GetLastError,
// WSAGetLastError), for the log's record of why a line failed; null for a
// code not named here (the log then gives its number alone).
#pragma once

// winerror.h (through windows.h) names the Winsock errors too.
#include <windows.h>

#include "platform/plataforma.h"

namespace plataforma {

inline const char* NomeErroWindows(unsigned long codigo) {
    switch (codigo) {
#define VLTX_NOME(c) \
    case c: return #c;
        VLTX_NOME(ERROR_INVALID_FUNCTION)
        VLTX_NOME(ERROR_FILE_NOT_FOUND)
        VLTX_NOME(ERROR_PATH_NOT_FOUND)
        VLTX_NOME(ERROR_ACCESS_DENIED)
        VLTX_NOME(ERROR_INVALID_HANDLE)
        VLTX_NOME(ERROR_BAD_UNIT)
        VLTX_NOME(ERROR_NOT_READY)
        VLTX_NOME(ERROR_BAD_COMMAND)
        VLTX_NOME(ERROR_GEN_FAILURE)
        VLTX_NOME(ERROR_SHARING_VIOLATION)
        VLTX_NOME(ERROR_NOT_SUPPORTED)
        VLTX_NOME(ERROR_INVALID_PARAMETER)
        VLTX_NOME(ERROR_SEM_TIMEOUT)
        VLTX_NOME(ERROR_ALREADY_EXISTS)
        VLTX_NOME(ERROR_OPERATION_ABORTED)
        VLTX_NOME(ERROR_IO_DEVICE)
        VLTX_NOME(ERROR_DEVICE_NOT_CONNECTED)
        VLTX_NOME(WSAEINTR)
        VLTX_NOME(WSAEWOULDBLOCK)
        VLTX_NOME(WSAENOBUFS)
        VLTX_NOME(WSAENETDOWN)
        VLTX_NOME(WSAENETUNREACH)
        VLTX_NOME(WSAENETRESET)
        VLTX_NOME(WSAECONNABORTED)
        VLTX_NOME(WSAECONNRESET)
        VLTX_NOME(WSAETIMEDOUT)
        VLTX_NOME(WSAECONNREFUSED)
        VLTX_NOME(WSAEHOSTDOWN)
        VLTX_NOME(WSAEHOSTUNREACH)
        VLTX_NOME(WSANOTINITIALISED)
        VLTX_NOME(WSAHOST_NOT_FOUND)
        VLTX_NOME(WSATRY_AGAIN)
        VLTX_NOME(WSANO_RECOVERY)
        VLTX_NOME(WSANO_DATA)
#undef VLTX_NOME
        default: return nullptr;
    }
}

// Notes the failed call with the thread's last error (GetLastError).
inline void AnotaErroWindows(const char* chamada, unsigned long codigo) {
    AnotaFalhaSistema(chamada, static_cast<long>(codigo), NomeErroWindows(codigo));
}

}  // namespace plataforma
