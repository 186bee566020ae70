# Cross-builds for 64-bit Windows with Debian's MinGW-w64 toolchain, in its
# flavour with POSIX threads, which std::thread needs. The test programs
# run under Wine, through scripts/wine-run.sh.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(KIRATO_MINGW x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${KIRATO_MINGW}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KIRATO_MINGW}-g++-posix)
set(CMAKE_RC_COMPILER ${KIRATO_MINGW}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${KIRATO_MINGW})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The C and C++ runtimes and the threads library go into every program, so
# that an .exe needs no DLL beside it.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

set(CMAKE_CROSSCOMPILING_EMULATOR
    ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh)
