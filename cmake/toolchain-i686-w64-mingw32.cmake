# Cross build of the Windows DLL with Debian's mingw-w64 (package
# g++-mingw-w64-i686). The posix thread model is needed for <thread> and
# <mutex>; the library links libgcc, libstdc++ and winpthreads statically
# (src/CMakeLists.txt), so it imports nothing beyond the system's DLLs.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(VQHW_MINGW_TRIPLET i686-w64-mingw32)
set(CMAKE_C_COMPILER ${VQHW_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VQHW_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${VQHW_MINGW_TRIPLET}-windres)
set(CMAKE_DLLTOOL ${VQHW_MINGW_TRIPLET}-dlltool)

set(CMAKE_FIND_ROOT_PATH /usr/${VQHW_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Test programs run under Wine, where no mingw runtime DLL is on the path.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
