# Manual pages made by help2man from a program's own --help and --version
# output at build time, and installed with the shared rule (cmake/install.cmake).
find_program(HELP2MAN help2man REQUIRED)

# noise_man_page(TARGET "one-line description")
function(noise_man_page target description)
  set(page ${CMAKE_CURRENT_BINARY_DIR}/${target}.1)
  add_custom_command(OUTPUT ${page}
                     COMMAND ${HELP2MAN} --no-info --name=${description} --output=${page}
                             $<TARGET_FILE:${target}>
                     DEPENDS ${target}
                     VERBATIM
                     COMMENT "Generating the ${target} manual page")
  add_custom_target(${target}-man ALL DEPENDS ${page})
  noise_install_man_page(${page})
endfunction()
