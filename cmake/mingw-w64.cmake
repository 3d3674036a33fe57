# Cross-compiling for 64-bit Windows with Debian's mingw-w64 (posix threads variant, so that
# std::thread and std::mutex are there). Used by scripts/cross-windows.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(AUREX_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${AUREX_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${AUREX_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${AUREX_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${AUREX_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The executables run under Wine without the compiler's DLLs beside them.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# What runs the Windows executables here: ctest and the tests go through it.
find_program(AUREX_WINE NAMES wine64 wine)
if(AUREX_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${AUREX_WINE})
endif()
