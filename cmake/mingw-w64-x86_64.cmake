# Cross-builds 64-bit Windows programs with Debian's mingw-w64 compilers. The "posix" thread
# model is the one whose libstdc++ has std::thread; the runtime is linked in, so a program needs
# no DLL beyond the system's. Programs are run with Wine, for test discovery and tests.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(pelmora_mingw_target x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${pelmora_mingw_target}-gcc-posix)
set(CMAKE_CXX_COMPILER ${pelmora_mingw_target}-g++-posix)
set(CMAKE_RC_COMPILER ${pelmora_mingw_target}-windres)

# Headers and libraries come from the Windows sysroot alone, never from the build machine's.
set(CMAKE_FIND_ROOT_PATH /usr/${pelmora_mingw_target})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
