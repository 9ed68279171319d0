# Shared part of the mingw-w64 toolchain files; MINGW_TRIPLET is set by the caller.
# The win32 thread model: the posix one links winpthreads into every program, and with
# it imports that Windows XP lacks, although neither program starts a thread.
set(CMAKE_C_COMPILER ${MINGW_TRIPLET}-gcc-win32)
set(CMAKE_CXX_COMPILER ${MINGW_TRIPLET}-g++-win32)
set(CMAKE_RC_COMPILER ${MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Static runtime: the programs must start on a Windows machine without MinGW DLLs.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# CTest runs the cross-built test programs through Wine: Debian's `wine` unless
# WINE_PROGRAM names another loader (/usr/lib/wine/wine64 where Wine can't run 32-bit
# programs). Building needs no Wine.
find_program(WINE_PROGRAM wine)
if(NOT WINE_PROGRAM)
  message(STATUS "No Wine found: the unit tests of this tree can't run here")
endif()
set(CMAKE_CROSSCOMPILING_EMULATOR ${WINE_PROGRAM})

# The delivered programs carry no symbols.
set(CMAKE_EXE_LINKER_FLAGS_RELEASE_INIT "-s")
