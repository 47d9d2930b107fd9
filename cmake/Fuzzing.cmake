# VQHW_FUZZ: build the fuzz targets under libFuzzer (clang only); the whole
# tree gets coverage instrumentation and ASan+UBSan. Off, the targets are
# corpus replay programs and ctest tests (tests/fuzz).
option(VQHW_FUZZ "Build the libFuzzer targets (clang)" OFF)
if(VQHW_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "VQHW_FUZZ needs clang: -DCMAKE_CXX_COMPILER=clang++")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer
                      -fno-sanitize-recover=all)
  add_link_options(-fsanitize=address,undefined)
endif()
