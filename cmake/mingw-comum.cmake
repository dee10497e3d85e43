# What both mingw-w64 toolchains share; VLTXDRV_MINGW is the target triplet.
#
# Debian ships each compiler in two thread models. The win32 one needs no
# winpthread DLL, so it is taken when present; the DLL links its runtime
# statically either way (cmake/windows.cmake).
find_program(CMAKE_C_COMPILER NAMES ${VLTXDRV_MINGW}-gcc-win32 ${VLTXDRV_MINGW}-gcc REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${VLTXDRV_MINGW}-g++-win32 ${VLTXDRV_MINGW}-g++ REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${VLTXDRV_MINGW}-windres)
find_program(VLTXDRV_OBJDUMP NAMES ${VLTXDRV_MINGW}-objdump)

set(CMAKE_FIND_ROOT_PATH /usr/${VLTXDRV_MINGW})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
