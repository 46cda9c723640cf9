# Checks that make_icon.py reproduces the committed icon byte for byte.
#   cmake -DPYTHON=... -DSCRIPT=... -DICON=... -DOUT=... -P check_icon.cmake
cmake_minimum_required(VERSION 3.25)
file(REMOVE ${OUT})
execute_process(COMMAND ${PYTHON} ${SCRIPT} ${OUT} RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "make_icon.py failed")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${ICON} ${OUT} RESULT_VARIABLE differs)
if(differs)
  message(FATAL_ERROR "${ICON} is not what make_icon.py draws: run resources/make_icon.py")
endif()
