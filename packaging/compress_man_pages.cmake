# Run by cpack between staging the install and building the .deb: every
# manual page in the staging folder is compressed with gzip -9n, as Debian
# installs them (a plain install keeps them uncompressed; man reads both).
cmake_minimum_required(VERSION 3.25)
file(GLOB_RECURSE staged "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*")
foreach(page IN LISTS staged)
  if(page MATCHES "/man/man[1-9]/[^/]+\\.[1-9]$")
    execute_process(COMMAND "${CPACK_NOISE_GZIP}" -9nf "${page}" RESULT_VARIABLE failed)
    if(failed)
      message(FATAL_ERROR "cannot compress the manual page ${page}")
    endif()
  endif()
endforeach()
