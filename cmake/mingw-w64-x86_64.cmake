# Cross build of the Windows programs with Debian's mingw-w64 toolchain
# (g++-mingw-w64-x86-64, libz-mingw-w64-dev):
#
#   cmake -S . -B build/win -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
#   ninja -C build/win
#
# gives build/win/heron.exe (the installer stub, GUI subsystem),
# build/win/tools/updver/UpdateVersion.exe and build/win/tools/cab/heron-cab.exe,
# statically linked: no DLL beyond those of Windows itself.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(HERON_MINGW_PREFIX x86_64-w64-mingw32)

# The POSIX threading flavour of the compilers is the one Debian installs
# by default; either works, nothing here uses threads.
set(CMAKE_C_COMPILER ${HERON_MINGW_PREFIX}-gcc)
set(CMAKE_CXX_COMPILER ${HERON_MINGW_PREFIX}-g++)
set(CMAKE_RC_COMPILER ${HERON_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${HERON_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Static libraries only (zlib's libz.a rather than its import library).
set(CMAKE_FIND_LIBRARY_SUFFIXES .a)
set(ZLIB_USE_STATIC_LIBS ON)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++ -s")
