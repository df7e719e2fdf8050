# Where `cmake --install` puts things (GNU layout: bin/, share/applications/, share/man/, ...).
include(GNUInstallDirs)

# Directories made by an install get rwxr-xr-x whatever the umask, as a package needs them.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

# octw_install_man(PAGE): installs the roff page PAGE (named NAME.SECTION) of the calling folder,
# with @PROJECT_VERSION@ filled in, compressed the way Debian keeps manual pages.
function(octw_install_man page)
  string(REGEX MATCH "[0-9]$" _section ${page})
  set(_out ${CMAKE_CURRENT_BINARY_DIR}/${page})
  configure_file(${page} ${_out} @ONLY)
  add_custom_command(OUTPUT ${_out}.gz
    COMMAND gzip -9nkf ${_out}
    DEPENDS ${_out}
    VERBATIM)
  add_custom_target(man_${page} ALL DEPENDS ${_out}.gz)
  install(FILES ${_out}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man${_section})
endfunction()
