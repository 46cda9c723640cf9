# Cross build for 64-bit Windows with MinGW-w64: the same sources, whose
# suites run under 64-bit Wine where 32-bit programs cannot run.
set(_triple x86_64-w64-mingw32)
set(_processor x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
