# Cross build of the 64-bit Windows DLL and its host program with Debian's
# mingw-w64 (packages g++-mingw-w64-x86-64 and binutils-mingw-w64-x86-64).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(VLTXDRV_MINGW x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-comum.cmake)
