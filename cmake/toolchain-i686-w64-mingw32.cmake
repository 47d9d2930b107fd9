# Cross build of the Windows DLL with Debian's mingw-w64 (package
# g++-mingw-w64-i686). The posix thread model is needed for <thread> and
# <mutex>; the library links libgcc, libstdc++ and winpthreads statically
# (src/CMakeLists.txt), so it imports nothing beyond the system's DLLs.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(VQHW_MINGW_TRIPLET i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
