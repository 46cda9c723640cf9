# Checks that a program file is at most LIMIT bytes and carries no symbol
# table or debug sections (a stripped release build).
#   cmake -DOBJDUMP=... -DPROGRAM=... -DLIMIT=... -P check_size.cmake
cmake_minimum_required(VERSION 3.25)
file(SIZE ${PROGRAM} size)
if(size GREATER LIMIT)
  message(FATAL_ERROR "${PROGRAM} is ${size} bytes, more than ${LIMIT}")
endif()
execute_process(COMMAND ${OBJDUMP} -h ${PROGRAM} OUTPUT_VARIABLE sections RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "cannot read the sections of ${PROGRAM}")
endif()
if(sections MATCHES "\\.debug_")
  message(FATAL_ERROR "${PROGRAM} carries debug sections: not stripped")
endif()
message(STATUS "${PROGRAM}: ${size} bytes (limit ${LIMIT})")
