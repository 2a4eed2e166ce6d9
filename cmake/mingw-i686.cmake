# 32-bit Windows build with the MinGW-w64 cross compilers. Wine runs 32-bit code here only
# under user-mode emulation, so no emulator is set and the Wine tests stay off.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(VELLAMY_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
