# `cpack -G DEB` in the build folder makes one Debian package a component:
#   velmora          the window (window), which depends on the other two;
#   velmora-replace  the command (replace), no Qt;
#   python3-velmora  the Python module (python), no Qt.
# A headless machine installs either of the last two without the Qt and font
# stack. Each package's library dependencies are found by dpkg-shlibdeps.
set(CPACK_PACKAGE_NAME velmora)
set(CPACK_PACKAGE_VENDOR "The Velmora developers")
set(CPACK_PACKAGE_CONTACT "The Velmora developers <velmora@example.org>")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# The three come from one source, whose changelog each ships.
set(CPACK_DEBIAN_PACKAGE_SOURCE velmora)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)

# Each package's description: its summary line, then what all three share and
# its own part.
set(velmora_about
  "Velmora keeps a dictionary of before/after pairs and rewrites text in a single
left-to-right pass, at each position by the longest before-string that starts
there, either replacing it or adding the after-string in brackets.")
set(velmora_components)

if(TARGET velmora-replace)
  list(APPEND velmora_components replace)
  set(CPACK_DEBIAN_REPLACE_PACKAGE_NAME velmora-replace)
  set(CPACK_DEBIAN_REPLACE_PACKAGE_SECTION utils)
  set(CPACK_COMPONENT_REPLACE_DESCRIPTION
    "Rewrite text files with a dictionary of pairs, on the command line
${velmora_about}

This package holds velmora-replace, which replaces files and pipes in
parallel, and in place if asked, and reads JSON lines; it needs no display.")
endif()

if(TARGET velmora_python)
  list(APPEND velmora_components python)
  set(CPACK_DEBIAN_PYTHON_PACKAGE_NAME python3-velmora)
  set(CPACK_DEBIAN_PYTHON_PACKAGE_SECTION python)
  # The module is built for one Python's ABI, which alone loads it.
  set(CPACK_DEBIAN_PYTHON_PACKAGE_DEPENDS "${VELMORA_PYTHON_DEB_DEPENDS}")
  set(CPACK_COMPONENT_PYTHON_DESCRIPTION
    "Rewrite text with a dictionary of pairs, from Python 3
${velmora_about}

This package holds the Python 3 module velmora and its type stub: a Replacer
is compiled once, then replaces texts on any number of threads, and pickles
for Dask and Spark workers.")
endif()

if(TARGET velmora)
  list(APPEND velmora_components window)
  set(CPACK_DEBIAN_WINDOW_PACKAGE_NAME velmora)
  set(CPACK_DEBIAN_WINDOW_PACKAGE_SECTION utils)
  # Added to the libraries' packages that dpkg-shlibdeps finds: without a
  # Japanese font the window's labels are empty boxes, and without Qt's
  # translations its standard buttons and file dialog are English. Without a
  # colour emoji font a character such as U+1F408 shows as a box.
  set(CPACK_DEBIAN_WINDOW_PACKAGE_DEPENDS
    "fonts-noto-cjk | fonts-ipafont-gothic | fonts-japanese-gothic, qt6-translations-l10n")
  set(CPACK_DEBIAN_WINDOW_PACKAGE_RECOMMENDS fonts-noto-color-emoji)
  set(CPACK_COMPONENT_WINDOW_DESCRIPTION
    "Rewrite text in one pass with a dictionary of pairs
${velmora_about}

This package holds the Velmora window: paste a text, drop dictionaries on it
and replace. It depends on the command-line program and the Python module.")
  # The window's package brings the other two, at the same version.
  set(CPACK_COMPONENT_WINDOW_DEPENDS ${velmora_components})
  list(REMOVE_ITEM CPACK_COMPONENT_WINDOW_DEPENDS window)
endif()
set(CPACK_COMPONENTS_ALL ${velmora_components})

# Each package's copyright file and changelog, in Debian's formats, and its
# lintian overrides where it has any.
foreach(component IN LISTS velmora_components)
  string(TOUPPER ${component} upper)
  set(package ${CPACK_DEBIAN_${upper}_PACKAGE_NAME})
  set(docdir ${CMAKE_INSTALL_DATADIR}/doc/${package})
  install(FILES ${CMAKE_CURRENT_LIST_DIR}/debian/copyright DESTINATION ${docdir} COMPONENT ${component})
  velmora_install_gzipped(${CMAKE_CURRENT_LIST_DIR}/debian/changelog ${docdir} COMPONENT ${component})
  set(overrides ${CMAKE_CURRENT_LIST_DIR}/debian/${package}.lintian-overrides)
  if(EXISTS ${overrides})
    install(FILES ${overrides} DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME ${package}
            COMPONENT ${component})
  endif()
endforeach()
include(CPack)
