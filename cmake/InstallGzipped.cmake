# velmora_install_gzipped(FILE DESTINATION COMPONENT COMPONENT [RENAME NAME]):
# installs FILE compressed as NAME.gz (FILE's name by default) with gzip -9n,
# as Debian packages ship manual pages and changelogs; -n leaves out the name
# and time, so the same file always compresses to the same bytes. A file
# installed to several places is compressed once.
function(velmora_install_gzipped file destination)
  cmake_parse_arguments(G "" "RENAME;COMPONENT" "" ${ARGN})
  get_filename_component(name ${file} NAME)
  if(G_RENAME)
    set(name ${G_RENAME})
  endif()
  set(plain ${CMAKE_CURRENT_BINARY_DIR}/gzipped/${name})
  string(MAKE_C_IDENTIFIER "gzip_${name}" target)
  if(NOT TARGET ${target})
    add_custom_command(OUTPUT ${plain}.gz
      COMMAND ${CMAKE_COMMAND} -E copy ${file} ${plain}
      COMMAND gzip -9nf ${plain}
      DEPENDS ${file}
      VERBATIM)
    add_custom_target(${target} ALL DEPENDS ${plain}.gz)
  endif()
  install(FILES ${plain}.gz DESTINATION ${destination} COMPONENT ${G_COMPONENT})
endfunction()
