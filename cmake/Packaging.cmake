# `cpack -G DEB` in the build folder makes velmora_<version>_<arch>.deb; its
# dependencies are the Debian packages of the libraries the programs link.
set(CPACK_PACKAGE_NAME velmora)
set(CPACK_PACKAGE_VENDOR "The Velmora developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Rewrite text in one pass with a dictionary of pairs")
set(CPACK_PACKAGE_DESCRIPTION
    "Velmora keeps a dictionary of before/after pairs and rewrites text in a single
left-to-right pass, at each position by the longest before-string that starts
there, either replacing it or adding the after-string in brackets. Dictionaries
are UTF-16 text files with a byte-order mark.")
set(CPACK_PACKAGE_CONTACT "The Velmora developers <velmora@example.org>")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Added to the libraries' packages that dpkg-shlibdeps finds: without a
# Japanese font the window's labels are empty boxes, and without Qt's
# translations its standard buttons and file dialog are English.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-noto-cjk | fonts-ipafont-gothic | fonts-japanese-gothic, qt6-translations-l10n")
# The Python module, which only that Python loads.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "${VELMORA_PYTHON_DEB_SUGGESTS}")

# The package's copyright file and changelog, in Debian's formats.
set(velmora_docdir ${CMAKE_INSTALL_DATADIR}/doc/velmora)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/debian/copyright DESTINATION ${velmora_docdir})
velmora_install_gzipped(${CMAKE_CURRENT_LIST_DIR}/debian/changelog ${velmora_docdir})
include(CPack)
