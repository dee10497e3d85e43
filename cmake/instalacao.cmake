# What `cmake --install` and the Debian packages put where. Everything lands
# under the prefix given at install time (cmake --install --prefix DIR), so a
# tree installed anywhere works from there alone.
include(CMakePackageConfigHelpers)

set(VLTXDRV_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/vltxdrv)

install(TARGETS vltxdrv EXPORT vltxdrvTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT Runtime NAMELINK_COMPONENT Development)
install(FILES include/vltxdrv.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT Development)

# CMake hosts: find_package(vltxdrv 2.60) and vltxdrv::vltxdrv.
install(EXPORT vltxdrvTargets NAMESPACE vltxdrv:: DESTINATION ${VLTXDRV_CMAKEDIR} COMPONENT Development)
configure_package_config_file(cmake/vltxdrvConfig.cmake.in ${CMAKE_CURRENT_BINARY_DIR}/vltxdrvConfig.cmake
  INSTALL_DESTINATION ${VLTXDRV_CMAKEDIR})
# A host asking for 2.60 takes any 2.x from 2.60 on: the major is the SONAME's.
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/vltxdrvConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/vltxdrvConfig.cmake ${CMAKE_CURRENT_BINARY_DIR}/vltxdrvConfigVersion.cmake
  DESTINATION ${VLTXDRV_CMAKEDIR} COMPONENT Development)

# pkg-config: written at install time, so that it names the prefix the tree
# is installed under, not the one the build was configured for.
set(VLTXDRV_PC ${CMAKE_CURRENT_BINARY_DIR}/pkgconfig/vltxdrv.pc)
foreach(dir LIBDIR INCLUDEDIR)
  if(IS_ABSOLUTE "${CMAKE_INSTALL_${dir}}")
    set(PC_${dir} "${CMAKE_INSTALL_${dir}}")
  else()
    set(PC_${dir} "\${prefix}/${CMAKE_INSTALL_${dir}}")
  endif()
endforeach()
install(CODE "
  set(prefix \"\${CMAKE_INSTALL_PREFIX}\")
  set(libdir [=[${PC_LIBDIR}]=])
  set(includedir [=[${PC_INCLUDEDIR}]=])
  set(PROJECT_VERSION \"${PROJECT_VERSION}\")
  configure_file(\"${CMAKE_CURRENT_SOURCE_DIR}/cmake/vltxdrv.pc.in\" \"${VLTXDRV_PC}\" @ONLY)
  " COMPONENT Development)
install(FILES ${VLTXDRV_PC} DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT Development)

install(FILES README.md NEWS LICENSE tools/MANUAL.md tools/exemplo/cheque.ini
  DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT Runtime)

# The reference, as Markdown and rendered to HTML with pandoc, and the
# examples of every language (with the Pascal unit they compile against),
# with the development files: where the
# header's comments point (share/doc/libvltxdrv-dev, as the Debian package).
set(VLTXDRV_DOCS AUTO CACHE STRING "Render the reference to HTML with pandoc: ON, OFF or AUTO (when pandoc is found)")
set(VLTXDRV_DOCDIR_DEV ${CMAKE_INSTALL_DATADIR}/doc/libvltxdrv-dev)
install(FILES docs/reference.md DESTINATION ${VLTXDRV_DOCDIR_DEV} COMPONENT Development)
if(NOT VLTXDRV_DOCS STREQUAL "OFF")
  if(VLTXDRV_DOCS STREQUAL "ON")
    find_program(PANDOC pandoc REQUIRED)
  else()
    find_program(PANDOC pandoc)
  endif()
  if(PANDOC)
    # The reference names its anchors itself: no second id from the headings.
    set(REFERENCIA_HTML ${CMAKE_CURRENT_BINARY_DIR}/docs/reference.html)
    add_custom_command(OUTPUT ${REFERENCIA_HTML}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/docs
      COMMAND ${PANDOC} --standalone --from gfm-gfm_auto_identifiers --to html5 --metadata title=vltxdrv\ reference
              --output ${REFERENCIA_HTML} ${CMAKE_CURRENT_SOURCE_DIR}/docs/reference.md
      DEPENDS docs/reference.md VERBATIM)
    add_custom_target(referencia_html ALL DEPENDS ${REFERENCIA_HTML})
    install(FILES ${REFERENCIA_HTML} DESTINATION ${VLTXDRV_DOCDIR_DEV} COMPONENT Development)
  else()
    message(STATUS "pandoc not found: the reference is installed as Markdown only")
  endif()
endif()
foreach(exemplo
    c:examples/recibo.c vltx:examples/recibo.vltx python:bindings/python/examples/recibo.py
    java:bindings/java/exemplos/Recibo.java csharp:bindings/dotnet/exemplos/Recibo.cs
    pascal:bindings/pascal/exemplos/recibo.pas pascal:bindings/pascal/vltxdrv.pas)
  string(REPLACE ":" ";" partes ${exemplo})
  list(GET partes 0 linguagem)
  list(GET partes 1 arquivo)
  install(FILES ${arquivo} DESTINATION ${VLTXDRV_DOCDIR_DEV}/examples/${linguagem} COMPONENT Development)
endforeach()

if(TARGET vltx)
  install(TARGETS vltx vltx-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT Tools)
  # USB-serial adapters for the dialout group, out of ModemManager's reach.
  install(FILES udev/60-vltxdrv.rules DESTINATION lib/udev/rules.d COMPONENT Tools)
endif()

# vltxd, its example configuration and systemd unit.
if(TARGET vltxd)
  install(TARGETS vltxd RUNTIME DESTINATION ${CMAKE_INSTALL_SBINDIR} COMPONENT Service)
  install(FILES service/examples/vltxd.toml service/examples/vltxd.service
    DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples COMPONENT Service)
endif()

# Man pages from their scdoc sources.
if(NOT VLTXDRV_MANPAGES STREQUAL "OFF")
  if(VLTXDRV_MANPAGES STREQUAL "ON")
    find_program(SCDOC scdoc REQUIRED)
  else()
    find_program(SCDOC scdoc)
  endif()
  if(SCDOC)
    set(PAGINAS)
    set(LISTA_PAGINAS vltxdrv.3 vltx.1 vltx-sim.1)
    if(TARGET vltxd)
      list(APPEND LISTA_PAGINAS vltxd.8)
    endif()
    foreach(pagina ${LISTA_PAGINAS})
      string(REGEX REPLACE ".*\\." "" secao ${pagina})
      set(saida ${CMAKE_CURRENT_BINARY_DIR}/man/${pagina})
      add_custom_command(OUTPUT ${saida}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/man
        COMMAND ${SCDOC} < ${CMAKE_CURRENT_SOURCE_DIR}/man/${pagina}.scd > ${saida}
        DEPENDS man/${pagina}.scd VERBATIM)
      list(APPEND PAGINAS ${saida})
      set(componente Tools)
      if(secao STREQUAL "3")
        set(componente Development)
      elseif(secao STREQUAL "8")
        set(componente Service)
      endif()
      if(secao STREQUAL "3" OR TARGET vltx)
        install(FILES ${saida} DESTINATION ${CMAKE_INSTALL_MANDIR}/man${secao} COMPONENT ${componente})
      endif()
    endforeach()
    add_custom_target(man ALL DEPENDS ${PAGINAS})
  else()
    message(STATUS "scdoc not found: the man pages are not built")
  endif()
endif()
