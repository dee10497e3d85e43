// Start-up and shutdown of the DLL. The C++ runtime has constructed the
// driver's state (the port closed) before the loader calls this, and
// destroys it (closing a port still open) after the last call.
#include <windows.h>

#include "vltxdrv.h"

extern "C" void VLTX_CALL vLog_C6_4(void);
extern "C" void VLTX_CALL vLog_C6_5(void);

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD motivo, LPVOID) {
    if (motivo == DLL_PROCESS_ATTACH) vLog_C6_4();
    else if (motivo == DLL_PROCESS_DETACH) vLog_C6_5();
    return TRUE;
}
