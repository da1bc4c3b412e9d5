# The 32-bit Tarrowick, the program of this project: runs on every Windows
# desktop, and under Wine's 32-bit loader on Linux.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(MINGW_PREFIX i686-w64-mingw32)
# Debian's 32-bit loader is plain "wine" in its library folder.
set(WINE_LOADER_NAMES wine)
set(WINE_SERVER_NAMES wineserver32 wineserver)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
