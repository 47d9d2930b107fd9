# Install rules, in three components that become the Debian packages:
#   runtime  the shared library and its SONAME link       (libvqhwlib0)
#   dev      header, link, VqhwLib.pc, CMake package, docs (libvqhwlib-dev)
#   tools    vqhw, vqhw-sim, their man pages, field files  (vqhw-tools)
include(CMakePackageConfigHelpers)

set(VQHW_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/VqhwLib)
set(vqhw_doc_root ${CMAKE_INSTALL_DATAROOTDIR}/doc)

install(TARGETS VqhwLib EXPORT VqhwLibTargets
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT dev
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT dev)
install(FILES ${PROJECT_SOURCE_DIR}/include/VqhwLib.h ${PROJECT_BINARY_DIR}/include/VqhwLibVersion.h
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT dev)

file(RELATIVE_PATH vqhw_pc_to_prefix /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
string(REGEX REPLACE "/$" "" vqhw_pc_to_prefix "${vqhw_pc_to_prefix}")
configure_file(${CMAKE_CURRENT_LIST_DIR}/VqhwLib.pc.in ${PROJECT_BINARY_DIR}/VqhwLib.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/VqhwLib.pc
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT dev)

install(EXPORT VqhwLibTargets NAMESPACE VqhwLib:: DESTINATION ${VQHW_CMAKE_DIR} COMPONENT dev)
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/VqhwLibConfig.cmake.in
  ${PROJECT_BINARY_DIR}/VqhwLibConfig.cmake INSTALL_DESTINATION ${VQHW_CMAKE_DIR})
# 0.x: a new minor version may change the interface.
write_basic_package_version_file(${PROJECT_BINARY_DIR}/VqhwLibConfigVersion.cmake
  COMPATIBILITY SameMinorVersion)
install(FILES ${PROJECT_BINARY_DIR}/VqhwLibConfig.cmake ${PROJECT_BINARY_DIR}/VqhwLibConfigVersion.cmake
  DESTINATION ${VQHW_CMAKE_DIR} COMPONENT dev)

# The HTML reference and the section 3 manual pages, when the docs target has built them.
install(DIRECTORY ${PROJECT_BINARY_DIR}/docs/html/
  DESTINATION ${vqhw_doc_root}/libvqhwlib-dev/html COMPONENT dev OPTIONAL)
install(DIRECTORY ${PROJECT_BINARY_DIR}/docs/man-installed/
  DESTINATION ${CMAKE_INSTALL_MANDIR}/man3 COMPONENT dev OPTIONAL)

# The licence and the change log beside every component's files; the change
# log in the Debian format, made from CHANGELOG.md.
include(${CMAKE_CURRENT_LIST_DIR}/DebianChangelog.cmake)
set(VQHW_MAINTAINER "VqhwLib developers <vqhwlib@vqhwlib.example.org>")
file(MAKE_DIRECTORY ${PROJECT_BINARY_DIR}/packaging)
vqhw_write_debian_changelog(${PROJECT_SOURCE_DIR}/CHANGELOG.md vqhwlib "${VQHW_MAINTAINER}"
  ${PROJECT_BINARY_DIR}/packaging/changelog)
execute_process(COMMAND gzip -9nc ${PROJECT_BINARY_DIR}/packaging/changelog
  OUTPUT_FILE ${PROJECT_BINARY_DIR}/packaging/changelog.gz COMMAND_ERROR_IS_FATAL ANY)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/CHANGELOG.md)
foreach(pair runtime:libvqhwlib0 dev:libvqhwlib-dev tools:vqhw-tools python:python3-vqhw)
  string(REPLACE ":" ";" pair ${pair})
  list(GET pair 0 component)
  list(GET pair 1 package)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright
    DESTINATION ${vqhw_doc_root}/${package} COMPONENT ${component})
  install(FILES ${PROJECT_BINARY_DIR}/packaging/changelog.gz
    DESTINATION ${vqhw_doc_root}/${package} COMPONENT ${component})
endforeach()

if(TARGET vqhw AND TARGET vqhw-sim)
  install(TARGETS vqhw vqhw-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tools)
  foreach(page vqhw.1 vqhw-sim.1)
    execute_process(COMMAND gzip -9nc ${PROJECT_SOURCE_DIR}/docs/man/${page}
      OUTPUT_FILE ${PROJECT_BINARY_DIR}/packaging/${page}.gz COMMAND_ERROR_IS_FATAL ANY)
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/docs/man/${page})
    install(FILES ${PROJECT_BINARY_DIR}/packaging/${page}.gz
      DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT tools)
  endforeach()
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/sim/examples/
    DESTINATION ${vqhw_doc_root}/vqhw-tools/examples COMPONENT tools)
endif()

# The Python binding: pure Python on ctypes, the same on every architecture.
# Its version is written once, in the package, and must be the library's.
file(STRINGS ${PROJECT_SOURCE_DIR}/bindings/python/vqhw/__init__.py vqhw_python_version
  REGEX "^__version__ = \"[^\"]*\"$")
string(REGEX REPLACE "^__version__ = \"([^\"]*)\"$" "\\1" vqhw_python_version "${vqhw_python_version}")
if(NOT vqhw_python_version STREQUAL PROJECT_VERSION)
  message(FATAL_ERROR "bindings/python/vqhw/__init__.py gives version '${vqhw_python_version}', "
    "the project ${PROJECT_VERSION}")
endif()
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/bindings/python/vqhw/__init__.py)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/bindings/python/vqhw
  DESTINATION lib/python3/dist-packages COMPONENT python
  PATTERN __pycache__ EXCLUDE)
