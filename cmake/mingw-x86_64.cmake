# The 64-bit Tarrowick: the same sources for 64-bit Windows, and for Linux
# machines whose kernel runs no 32-bit programs, where only 64-bit Wine runs.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(MINGW_PREFIX x86_64-w64-mingw32)
set(WINE_LOADER_NAMES wine64)
set(WINE_SERVER_NAMES wineserver64 wineserver)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
