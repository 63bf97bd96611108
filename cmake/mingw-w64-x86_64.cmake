# Cross build for 64-bit Windows with MinGW-w64 (Debian: g++-mingw-w64-x86-64).
# The -posix compilers use winpthread, so std::thread and friends exist.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(TXR_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${TXR_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TXR_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${TXR_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${TXR_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Everything static, so the .exe runs on a Windows machine with nothing
# installed: no libstdc++, libgcc or winpthread DLL beside it.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
# A release .exe without its symbols: 1 MB instead of 2.5.
set(CMAKE_EXE_LINKER_FLAGS_RELEASE_INIT "-s")

# Runs the Windows programs here, for the tests (see cmake/wine.cmake).
find_program(TXR_WINE NAMES wine)
if(TXR_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${TXR_WINE})
endif()
