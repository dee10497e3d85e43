# vltxdrv.dll: the driver and its Win32 platform, with the export table of
# src/exports/vltxdrv.def. Included by the top-level CMakeLists.txt when
# cross-building with cmake/toolchain-*-mingw.cmake.

set(VLTXDRV_RAIZ ${CMAKE_CURRENT_SOURCE_DIR})
set(SIMBOLOS ${VLTXDRV_RAIZ}/src/exports/vltxdrv.sym)
set(TABELA ${VLTXDRV_RAIZ}/src/exports/vltxdrv.def)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${SIMBOLOS} ${TABELA})

# The table must name every export of vltxdrv.sym under its own name, with
# its line number there as its ordinal: 1 for "@Log@C6_4" up to 54.
file(STRINGS ${SIMBOLOS} NOMES)
file(STRINGS ${TABELA} LINHAS_TABELA REGEX "@[0-9]+[ \t]*$")
list(LENGTH NOMES QUANTOS)
list(LENGTH LINHAS_TABELA QUANTAS_LINHAS)
if(NOT QUANTOS EQUAL QUANTAS_LINHAS)
  message(FATAL_ERROR "vltxdrv.def has ${QUANTAS_LINHAS} exports, vltxdrv.sym ${QUANTOS} names")
endif()
set(ORDINAL 0)
foreach(nome IN LISTS NOMES)
  list(GET LINHAS_TABELA ${ORDINAL} linha)
  math(EXPR ORDINAL "${ORDINAL} + 1")
  string(REGEX MATCH "^[ \t]*\"?([^\" \t]+)\"?.*@([0-9]+)[ \t]*$" _ "${linha}")
  if(NOT CMAKE_MATCH_1 STREQUAL nome OR NOT CMAKE_MATCH_2 EQUAL ORDINAL)
    message(FATAL_ERROR "vltxdrv.def, export ${ORDINAL}: \"${linha}\" should name ${nome} with @${ORDINAL}")
  endif()
endforeach()

add_library(vltxdrv SHARED
  $<TARGET_OBJECTS:vltxdrv_nucleo> $<TARGET_OBJECTS:vltxdrv_plataforma>
  src/exports/inicio_win32.cpp ${TABELA})
target_include_directories(vltxdrv PRIVATE src include)
target_compile_definitions(vltxdrv PRIVATE VLTXDRV_BUILD)
# vltxdrv.dll, not libvltxdrv.dll: hosts load it by that name, with
# GetProcAddress by export name.
set_target_properties(vltxdrv PROPERTIES PREFIX "")
# The C and C++ runtimes of the compiler go inside the DLL, so that it
# imports only from Windows itself. On 32-bit x86 the stdcall functions carry
# their @N decoration inside; the table exports them without it.
target_link_options(vltxdrv PRIVATE -static -static-libgcc -static-libstdc++)
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  target_link_options(vltxdrv PRIVATE -Wl,--enable-stdcall-fixup)
endif()
target_link_libraries(vltxdrv PRIVATE ws2_32 advapi32 kernel32)

if(VLTXDRV_TESTS)
  enable_testing()
  find_program(BASH bash REQUIRED)

  # The DLL as Windows' loader sees it: format, export table, imports.
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(FORMATO pei-i386)
  else()
    set(FORMATO pei-x86-64)
  endif()
  add_test(NAME tabela_da_dll
    COMMAND ${BASH} ${VLTXDRV_RAIZ}/windows/verifica-dll.sh
            ${VLTXDRV_OBJDUMP} $<TARGET_FILE:vltxdrv> ${SIMBOLOS} ${FORMATO})

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

  add_executable(vltxdrv_host windows/host/host.cpp)
  target_include_directories(vltxdrv_host PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/host include)
  target_link_options(vltxdrv_host PRIVATE -static -static-libgcc -static-libstdc++)
  target_link_libraries(vltxdrv_host PRIVATE advapi32 kernel32)
  add_dependencies(vltxdrv_host vltxdrv)

  # The system's own profile reader answering the comparison's questions
  # (windows/perfil; roda-host.sh runs it next to the project's reader).
  add_executable(leitor_windows windows/perfil/leitor_windows.cpp)
  target_include_directories(leitor_windows PRIVATE windows/perfil)
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
    COMMAND ${BASH} ${VLTXDRV_RAIZ}/windows/roda-host.sh ${CMAKE_CURRENT_BINARY_DIR} ${ARQUITETURA_WINE})
  set_tests_properties(host_no_wine PROPERTIES TIMEOUT 400)
endif()

# vltx.exe and vltx-sim.exe for the Windows kit (windows/kit). Their progress
# line runs on a std::thread, which the compiler's win32 thread model lacks:
# the kit builds them in a tree of their own with the posix flavour
# (i686-w64-mingw32-g++-posix), winpthread linked in.
option(VLTXDRV_FERRAMENTAS_WINDOWS "Build vltx.exe and vltx-sim.exe (needs the posix thread model)" OFF)
if(VLTXDRV_FERRAMENTAS_WINDOWS)
  set(FERRAMENTAS ${VLTXDRV_RAIZ}/tools)
  add_library(vltx_comum_win STATIC ${FERRAMENTAS}/comum/quadro.cpp)
  target_include_directories(vltx_comum_win PUBLIC ${FERRAMENTAS} ${VLTXDRV_RAIZ}/src ${VLTXDRV_RAIZ}/include)
  add_executable(vltx-sim ${FERRAMENTAS}/sim/main.cpp ${FERRAMENTAS}/sim/simulador.cpp ${FERRAMENTAS}/sim/papel.cpp
    ${FERRAMENTAS}/sim/linha_win32.cpp)
  add_executable(vltx ${FERRAMENTAS}/vltx/main.cpp ${FERRAMENTAS}/vltx/biblioteca_win32.cpp
    ${FERRAMENTAS}/vltx/exportacoes.cpp ${FERRAMENTAS}/vltx/significado.cpp ${FERRAMENTAS}/vltx/decodifica_log.cpp
    ${FERRAMENTAS}/vltx/resumo_log.cpp ${FERRAMENTAS}/vltx/texto_longo.cpp ${FERRAMENTAS}/vltx/roteiro.cpp ${FERRAMENTAS}/vltx/progresso.cpp
    ${FERRAMENTAS}/vltx/lugar_do_log_win32.cpp)
  foreach(alvo vltx vltx-sim)
    target_link_libraries(${alvo} PRIVATE vltx_comum_win ws2_32)
    target_link_options(${alvo} PRIVATE -static -static-libgcc -static-libstdc++)
  endforeach()
endif()
