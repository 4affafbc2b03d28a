# Shared part of the mingw-w64 toolchain files. QTV_MINGW_TRIPLET names the target and
# QTV_MINGW_THREADS the compiler's thread model (win32 or posix).
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${QTV_MINGW_TRIPLET}-gcc-${QTV_MINGW_THREADS})
set(CMAKE_CXX_COMPILER ${QTV_MINGW_TRIPLET}-g++-${QTV_MINGW_THREADS})
set(CMAKE_RC_COMPILER ${QTV_MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${QTV_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The C and C++ runtimes of the compiler go into the program: it imports system DLLs only.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++ -static")
