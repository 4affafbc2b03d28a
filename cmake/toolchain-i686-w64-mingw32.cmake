# The shipped program: 32-bit Windows, built with mingw-w64.
set(CMAKE_SYSTEM_PROCESSOR x86)
set(QTV_MINGW_TRIPLET i686-w64-mingw32)
set(QTV_MINGW_THREADS win32)  # single-threaded: no thread library
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
# The transformer searches sixteen bytes at a time in SSE2 registers, which every x86 processor
# since 2001 has and Windows 8 and later require.
set(CMAKE_C_FLAGS_INIT "-msse2")
set(CMAKE_CXX_FLAGS_INIT "-msse2")
