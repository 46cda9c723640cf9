# The body both Windows toolchain files share: MinGW-w64 for the triple and
# processor the including file sets (_triple, _processor). Tests run under
# Wine through scripts/wine-run, in a prefix kept under the build folder.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${_processor})

find_program(_cross_cxx NAMES ${_triple}-g++-posix ${_triple}-g++)
if(NOT _cross_cxx)
  message(FATAL_ERROR "${_triple}-g++ not found: run scripts/bootstrap")
endif()
string(REGEX REPLACE "g\\+\\+" "gcc" _cross_cc "${_cross_cxx}")
set(CMAKE_C_COMPILER ${_cross_cc})
set(CMAKE_CXX_COMPILER ${_cross_cxx})
set(CMAKE_RC_COMPILER ${_triple}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${_triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Everything linked statically, winpthread included (GoogleTest needs
# std::mutex, which the posix thread model provides): the programs import
# only system DLLs.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run;${CMAKE_BINARY_DIR}/wineprefix")
