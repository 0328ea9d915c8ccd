# SPDX-License-Identifier: Apache-2.0
# What `cmake --install` puts under the prefix: the headers, both shared libraries with
# their SONAME links, a CMake package (find_package(kestrune-pdfsanitize CONFIG) gives
# kestrune::pdfsanitize and kestrune::pdfsanitize-ext), pkg-config files, the program
# (linked statically: it needs no library at run time) and its man page.
include(CMakePackageConfigHelpers)

set(PDFSANITIZE_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/kestrune-pdfsanitize)

install(TARGETS kestrune-pdfsanitize kestrune-pdfsanitize-ext
  EXPORT kestrune-pdfsanitize-targets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} NAMELINK_COMPONENT Development
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PDFSANITIZE_PUBLIC_HEADERS} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(EXPORT kestrune-pdfsanitize-targets
  NAMESPACE kestrune::
  FILE kestrune-pdfsanitize-targets.cmake
  DESTINATION ${PDFSANITIZE_CMAKE_DIR})
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/kestrune-pdfsanitize-config.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/kestrune-pdfsanitize-config.cmake
  INSTALL_DESTINATION ${PDFSANITIZE_CMAKE_DIR})
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/kestrune-pdfsanitize-config-version.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/kestrune-pdfsanitize-config.cmake
              ${CMAKE_CURRENT_BINARY_DIR}/kestrune-pdfsanitize-config-version.cmake
        DESTINATION ${PDFSANITIZE_CMAKE_DIR})

# pkg-config: the paths relative to the .pc file, so that a moved prefix still works.
foreach(pc IN ITEMS kestrune-pdfsanitize kestrune-pdfsanitize-ext)
  if(pc STREQUAL "kestrune-pdfsanitize")
    set(PC_DESCRIPTION "Scan PDF files for active content and write sanitised copies")
  else()
    set(PC_DESCRIPTION "The pdfsanitize scan, modes, audit and verifier on buffers in memory")
  endif()
  set(PC_NAME ${pc})
  file(RELATIVE_PATH PC_PREFIX_FROM_PCDIR "/p/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/p")
  configure_file(${CMAKE_CURRENT_LIST_DIR}/pdfsanitize.pc.in ${CMAKE_CURRENT_BINARY_DIR}/${pc}.pc @ONLY)
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/${pc}.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
endforeach()

install(TARGETS pdfsanitize RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
configure_file(${PROJECT_SOURCE_DIR}/man/pdfsanitize.1.in ${CMAKE_CURRENT_BINARY_DIR}/pdfsanitize.1 @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/pdfsanitize.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
