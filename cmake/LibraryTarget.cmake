# What the VqhwLib target carries beyond its code (src/ builds the code):
# its include directories as a usage requirement, the version in its
# SONAME, the version resource of the DLL, and the VqhwLib::VqhwLib name
# that add_subdirectory users and find_package users both link.

target_include_directories(VqhwLib PUBLIC
  $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/include>
  $<BUILD_INTERFACE:${PROJECT_BINARY_DIR}/include>
  $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
add_library(VqhwLib::VqhwLib ALIAS VqhwLib)

if(WIN32)
  enable_language(RC)
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(vqhw_rc_arch "32-bit, __stdcall")
  else()
    set(vqhw_rc_arch "64-bit")
  endif()
  configure_file(${CMAKE_CURRENT_LIST_DIR}/VqhwLib.rc.in ${PROJECT_BINARY_DIR}/VqhwLib.rc @ONLY)
  target_sources(VqhwLib PRIVATE ${PROJECT_BINARY_DIR}/VqhwLib.rc)
else()
  # libVqhwLib.so.0.2.0, its SONAME libVqhwLib.so.0 and the link libVqhwLib.so.
  set_target_properties(VqhwLib PROPERTIES
    VERSION ${PROJECT_VERSION} SOVERSION ${PROJECT_VERSION_MAJOR})
endif()
