# 64-bit Windows, built with mingw-w64; its tests run under wine64, which Debian installs
# outside the search path. GoogleTest needs std::mutex, which only the posix thread model
# of this compiler has; the thread library is linked statically like the rest.
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(QTV_MINGW_TRIPLET x86_64-w64-mingw32)
set(QTV_MINGW_THREADS posix)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)

if(EXISTS /usr/lib/wine/wine64)
  set(CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine64)
else()
  set(CMAKE_CROSSCOMPILING_EMULATOR wine64)
endif()
