# Install rules every folder shares: files go to the GNU standard places
# under the prefix, native programs are installed stripped, and manual pages
# are installed through noise_install_man_page.
include(GNUInstallDirs)

if(NOT WIN32)
  # An install is for use, not for debugging: programs are stripped unless
  # the install is run with -DCMAKE_INSTALL_DO_STRIP=0 (cmake --install
  # --strip sets it to 1; without --strip it is undefined). The Windows
  # programs are linked stripped already and are installed as built.
  install(CODE [[
    if(NOT DEFINED CMAKE_INSTALL_DO_STRIP)
      set(CMAKE_INSTALL_DO_STRIP 1)
    endif()
  ]])
endif()

# noise_install_man_page(PAGE): installs the section-1 manual page PAGE
# (a path, usually generated in the build folder) as man1/<its name>.
function(noise_install_man_page page)
  install(FILES ${page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endfunction()
