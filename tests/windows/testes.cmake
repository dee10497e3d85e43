# The Windows builds' tests (included by tests/CMakeLists.txt when
# cross-building): the DLL's export table, and the host program driving the
# DLL under Wine against the pseudo-terminal printer. The printer and the
# profile comparison's native side run on this machine: they are targets of
# the native build (impressora_pty, perfil_posix), found in VLTXDRV_NATIVOS.
set(VLTXDRV_NATIVOS ${VLTXDRV_RAIZ}/build/tests CACHE PATH
  "The native build's tests directory, with impressora_pty and perfil_posix")
find_program(BASH bash REQUIRED)
# The DLL, the host and the system's profile reader side by side, as Wine runs them.
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})

# The DLL as Windows' loader sees it: format, export table, imports.
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(FORMATO pei-i386)
else()
  set(FORMATO pei-x86-64)
endif()
add_test(NAME tabela_da_dll
  COMMAND ${BASH} ${VLTXDRV_RAIZ}/tests/windows/verifica-dll.sh
          ${VLTXDRV_OBJDUMP} $<TARGET_FILE:vltxdrv> ${SIMBOLOS} ${FORMATO})
set_tests_properties(tabela_da_dll PROPERTIES LABELS windows)

# The host program: loads the DLL by name and drives it like a point of sale.
set(NOMES_H ${CMAKE_CURRENT_BINARY_DIR}/host/nomes_exportados.h)
set(CONTEUDO "// Generated from src/exports/vltxdrv.sym.\n#pragma once\n")
string(APPEND CONTEUDO "static const char* const NomesExportados[] = {\n")
foreach(nome IN LISTS NOMES)
  string(APPEND CONTEUDO "    \"${nome}\",\n")
endforeach()
string(APPEND CONTEUDO "};\n")
# The exports a C identifier can name, for calls through their declared types.
string(APPEND CONTEUDO "#define EXPORTS_COM_NOME_C(X)")
foreach(nome IN LISTS NOMES)
  if(nome MATCHES "^[A-Za-z_][A-Za-z0-9_]*$")
    string(APPEND CONTEUDO " \\\n    X(${nome})")
  endif()
endforeach()
string(APPEND CONTEUDO "\n")
file(GENERATE OUTPUT ${NOMES_H} CONTENT "${CONTEUDO}")

add_executable(vltxdrv_host ${VLTXDRV_RAIZ}/tests/windows/host/host.cpp)
target_include_directories(vltxdrv_host PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/host ${VLTXDRV_RAIZ}/include)
target_link_options(vltxdrv_host PRIVATE -static -static-libgcc -static-libstdc++)
target_link_libraries(vltxdrv_host PRIVATE advapi32 kernel32)
add_dependencies(vltxdrv_host vltxdrv)

# The system's own profile reader answering the comparison's questions
# (tests/windows/perfil; roda-host.sh runs it next to the project's reader).
add_executable(leitor_windows ${VLTXDRV_RAIZ}/tests/windows/perfil/leitor_windows.cpp)
target_include_directories(leitor_windows PRIVATE ${VLTXDRV_RAIZ}/tests/windows/perfil)
target_link_options(leitor_windows PRIVATE -static -static-libgcc -static-libstdc++)
target_link_libraries(leitor_windows PRIVATE kernel32)

# Under wine64 for the x86_64 build, under 32-bit Wine for the i686 one
# (roda-host.sh says so, and keeps to the static check, where the kernel
# runs no 32-bit programs).
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(ARQUITETURA_WINE win64)
else()
  set(ARQUITETURA_WINE win32)
endif()
add_test(NAME host_no_wine
  COMMAND ${BASH} ${VLTXDRV_RAIZ}/tests/windows/roda-host.sh ${CMAKE_BINARY_DIR} ${ARQUITETURA_WINE} ${VLTXDRV_NATIVOS})
set_tests_properties(host_no_wine PROPERTIES LABELS "windows;wine" TIMEOUT 400)
