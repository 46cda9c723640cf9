# Manual pages made by help2man from a program's own --help and --version
# output at build time, and installed with the shared rule (cmake/install.cmake).
# packaging/man/<target>.h2m, where there is one, adds the sections a --help
# text does not hold (synopsis, keys, exit status, signals, files, ...)
# through help2man's --include. The usage lines that open --help are left
# out of the page's DESCRIPTION: the SYNOPSIS says the same, laid out for a
# manual page.
find_program(HELP2MAN help2man REQUIRED)

# noise_man_page(TARGET "one-line description")
function(noise_man_page target description)
  set(page ${CMAKE_CURRENT_BINARY_DIR}/${target}.1)
  set(include_file ${PROJECT_SOURCE_DIR}/packaging/man/${target}.h2m)
  set(include_option)
  if(EXISTS ${include_file})
    set(include_option --include=${include_file})
  endif()
  add_custom_command(OUTPUT ${page}
                     COMMAND ${HELP2MAN} --no-info --name=${description} ${include_option} --output=${page}
                             $<TARGET_FILE:${target}>
                     COMMAND sed -i -f ${PROJECT_SOURCE_DIR}/cmake/man_usage.sed ${page}
                     DEPENDS ${target} ${PROJECT_SOURCE_DIR}/cmake/man_usage.sed $<$<BOOL:${include_option}>:${include_file}>
                     VERBATIM
                     COMMENT "Generating the ${target} manual page")
  add_custom_target(${target}-man ALL DEPENDS ${page})
  noise_install_man_page(${page})
endfunction()
