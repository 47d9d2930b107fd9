# Debian packages by CPack (cpack -G DEB in a native build tree): the
# library, its development files and the tools, one package per install
# component, with their dependencies found by dpkg-shlibdeps.
if(CMAKE_CROSSCOMPILING OR NOT PROJECT_IS_TOP_LEVEL)
  return()
endif()

set(CPACK_PACKAGE_NAME vqhwlib)
set(CPACK_PACKAGE_VENDOR "VqhwLib developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${VQHW_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY ${PROJECT_DESCRIPTION})
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/packages)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# vqhw links the library of this build, which is not installed yet.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${PROJECT_BINARY_DIR}/src)

# The library package runs ldconfig by trigger, with no maintainer scripts.
# CPack writes scripts that call ldconfig into every package in which it
# finds a shared library, and it looks for one only to run dpkg-shlibdeps
# or to write the shlibs file. So for this package neither is left to it:
# the shlibs file is written here, and the dependencies are found with
# dpkg-shlibdeps when cpack runs (cmake/CPackProject.cmake.in).
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS OFF)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SHLIBDEPS OFF)
file(WRITE ${PROJECT_BINARY_DIR}/packaging/shlibs
  "libVqhwLib ${PROJECT_VERSION_MAJOR} libvqhwlib0 (= ${PROJECT_VERSION})\n")
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA
  ${PROJECT_SOURCE_DIR}/packaging/triggers ${PROJECT_BINARY_DIR}/packaging/shlibs)
configure_file(${CMAKE_CURRENT_LIST_DIR}/CPackProject.cmake.in
  ${PROJECT_BINARY_DIR}/CPackProject.cmake.in @ONLY)
file(GENERATE OUTPUT ${PROJECT_BINARY_DIR}/CPackProject.cmake
  INPUT ${PROJECT_BINARY_DIR}/CPackProject.cmake.in)
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_BINARY_DIR}/CPackProject.cmake)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)

set(CPACK_COMPONENTS_ALL runtime dev python)
if(TARGET vqhw AND TARGET vqhw-sim)
  list(APPEND CPACK_COMPONENTS_ALL tools)
endif()

set(vqhw_deb_common
  "The library drives one contactless card reader on one RS-232 line at\n115200 baud: MIFARE ONE cards (activation, keys, blocks, trailers, card\nfiles), the CPU user card and the PSAM by APDU, status texts, hex and\ndate codecs, through 47 exported C functions.")

set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME libvqhwlib0)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_RUNTIME_DESCRIPTION
  "${vqhw_deb_common}\n.\nThis package holds the shared library.")

set(CPACK_DEBIAN_DEV_PACKAGE_NAME libvqhwlib-dev)
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS "libvqhwlib0 (= ${PROJECT_VERSION})")
set(CPACK_DEBIAN_DEV_DESCRIPTION
  "${vqhw_deb_common}\n.\nThis package holds the header, the link, the pkg-config file, the CMake\npackage files, the HTML reference and the section 3 manual pages.")

set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME vqhw-tools)
set(CPACK_DEBIAN_TOOLS_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_TOOLS_DESCRIPTION
  "${vqhw_deb_common}\n.\nThis package holds vqhw, which asks the reader what lane engineers ask\nit and shows every frame on the line, and vqhw-sim, a virtual reader on a\npseudo-terminal or a serial device, with example field files.")
set(CPACK_COMPONENT_TOOLS_DEPENDS runtime)

set(CPACK_DEBIAN_PYTHON_PACKAGE_NAME python3-vqhw)
set(CPACK_DEBIAN_PYTHON_PACKAGE_SECTION python)
set(CPACK_DEBIAN_PYTHON_PACKAGE_ARCHITECTURE all)
set(CPACK_DEBIAN_PYTHON_PACKAGE_DEPENDS "python3")
set(CPACK_DEBIAN_PYTHON_PACKAGE_SUGGESTS "vqhw-tools, python3-pytest")
set(CPACK_DEBIAN_PYTHON_DESCRIPTION
  "${vqhw_deb_common}\n.\nThis package holds the Python binding: the module vqhw on ctypes, with a\nvirtual-reader fixture for pytest.")
set(CPACK_COMPONENT_PYTHON_DEPENDS runtime)
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)

include(CPack)
