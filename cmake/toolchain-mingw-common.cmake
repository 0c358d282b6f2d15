# Shared part of the MinGW-w64 cross toolchains: the including file sets
# TOLBRIK_MINGW_TRIPLET (i686-w64-mingw32 or x86_64-w64-mingw32) and
# CMAKE_SYSTEM_PROCESSOR first.
set(CMAKE_SYSTEM_NAME Windows)

# The "win32" thread model needs no pthread emulation library; the tool runs on one
# thread. The plain name is the fallback where only the default variant is installed.
find_program(CMAKE_CXX_COMPILER NAMES ${TOLBRIK_MINGW_TRIPLET}-g++-win32 ${TOLBRIK_MINGW_TRIPLET}-g++
             REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${TOLBRIK_MINGW_TRIPLET}-windres)

# Headers and libraries come from the target's sysroot only; programs from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${TOLBRIK_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The shipped program carries no debugging sections (they come from the static runtime).
set(CMAKE_EXE_LINKER_FLAGS_RELEASE_INIT "-s")
