# Shared by the MinGW-w64 toolchain files: cross-builds Windows programs on
# Linux with the posix-threads compilers (which GoogleTest needs) and runs
# them, tests included, under Wine.  The including file sets MINGW_PREFIX,
# CMAKE_SYSTEM_PROCESSOR and the names of the Wine loader and server.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER   ${MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER  ${MINGW_PREFIX}-windres)
set(CMAKE_OBJDUMP      ${MINGW_PREFIX}-objdump)

set(CMAKE_FIND_ROOT_PATH /usr/${MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# Debian keeps each architecture's loader and server in Wine's library
# folder, and its "wine" script on PATH picks the 32-bit loader whenever
# that is installed, even where the kernel cannot start it: each build
# calls its own by name.  Other systems have them on PATH.
find_program(WINE_PROGRAM NAMES ${WINE_LOADER_NAMES} PATHS /usr/lib/wine NO_DEFAULT_PATH)
find_program(WINE_PROGRAM NAMES ${WINE_LOADER_NAMES} REQUIRED)
find_program(WINESERVER_PROGRAM NAMES ${WINE_SERVER_NAMES} PATHS /usr/lib/wine NO_DEFAULT_PATH)
find_program(WINESERVER_PROGRAM NAMES ${WINE_SERVER_NAMES} REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${WINE_PROGRAM})
