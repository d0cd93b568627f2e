# Cross build for 64-bit Windows with Debian's MinGW-w64 compiler (the posix
# thread model, which std::thread needs). Test programs run under Wine through
# cmake/wine-emulator, each in a throw-away prefix.
#
#   cmake -S . -B build-mingw -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
#         -DQUIETWALK_BUILD_WINDOW=OFF
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(quietwalk_mingw x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${quietwalk_mingw}-gcc-posix)
set(CMAKE_CXX_COMPILER ${quietwalk_mingw}-g++-posix)
set(CMAKE_RC_COMPILER ${quietwalk_mingw}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${quietwalk_mingw})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Fully static executables: nothing to put on Wine's DLL path, and a program
# copied to a Windows machine runs on its own.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(ZLIB_USE_STATIC_LIBS ON)

set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-emulator)
