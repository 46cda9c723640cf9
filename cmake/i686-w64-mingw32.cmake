# Cross build for 32-bit Windows with MinGW-w64 (the shipped programs).
set(_triple i686-w64-mingw32)
set(_processor x86)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
