# 64-bit Windows build with the MinGW-w64 cross compilers (posix thread model, which
# GoogleTest needs). Test programs run under wine64.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(VELLAMY_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
# tools/test passes the wine64 of its private Wine tree (tools/winex11-build).
set(VELLAMY_WINE /usr/lib/wine/wine64 CACHE FILEPATH "The wine64 that runs the tests")
set(CMAKE_CROSSCOMPILING_EMULATOR ${VELLAMY_WINE})
