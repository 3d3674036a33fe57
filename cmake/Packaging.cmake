# The Debian package: cpack (scripts/package) builds it from what cmake --install puts in place,
# under /usr. Its dependencies come from the libraries the installed programs link
# (dpkg-shlibdeps), its version from kProgramVersion (cmake/AurexVersion.cmake).
include(GNUInstallDirs)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME aurex-code-updater)
set(CPACK_PACKAGE_VERSION ${AUREX_VERSION})
set(CPACK_PACKAGE_VENDOR "Aurex Code Updater developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "firmware updater for Aurex two-way radios")
# The summary above is the synopsis; cpack indents these lines and turns the empty one into " .".
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
  "Aurex Code Updater puts new firmware into an Aurex two-way radio over a serial
port and keeps the radio's codeplug: it reads it out, backs it up, converts it
to the format the new firmware expects and writes it back. It works in a window
or in a terminal (aurex-code-updater-console).

The package also holds aurex-radio-sim, a simulated radio on a
pseudo-terminal, and aurex-codeplug, which checks, converts and compares
codeplug files offline.")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Aurex Code Updater developers <aurex-code-updater@example.org>")
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Plugins Qt loads at run time, which no program links: the history's SQLite driver and the
# window's display platforms.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6sql6-sqlite, qt6-qpa-plugins")
# The build keeps its debug information for the tests; the package does not need it.
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# The folders the package makes are 0755 whatever the umask of the one who builds it.
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

# Debian wants the copyright and a changelog beside each package's documentation; the version
# has no Debian revision (the package is made here, from the program), so the changelog is the
# native changelog.gz.
set(AUREX_PACKAGE_VERSION ${CPACK_PACKAGE_VERSION})
set(aurex_doc_dir ${CMAKE_INSTALL_DATAROOTDIR}/doc/${CPACK_PACKAGE_NAME})
configure_file(${CMAKE_SOURCE_DIR}/resources/debian/changelog.in ${CMAKE_BINARY_DIR}/debian/changelog @ONLY)
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/debian/changelog.gz
  COMMAND gzip -n9 -c ${CMAKE_BINARY_DIR}/debian/changelog > ${CMAKE_BINARY_DIR}/debian/changelog.gz
  DEPENDS ${CMAKE_BINARY_DIR}/debian/changelog
  COMMENT "Compressing the package's changelog"
  VERBATIM)
add_custom_target(aurex-package-docs ALL DEPENDS ${CMAKE_BINARY_DIR}/debian/changelog.gz)
install(FILES ${CMAKE_SOURCE_DIR}/resources/debian/copyright ${CMAKE_BINARY_DIR}/debian/changelog.gz
  DESTINATION ${aurex_doc_dir})

# What the package holds, built without the rest (tests, benchmarks): scripts/package builds this.
include(${CMAKE_SOURCE_DIR}/tools/image-set/AurexImageSet.cmake)
add_custom_target(package-contents
  DEPENDS ${AUREX_UPDATER_BASE_NAME} aurex-radio-sim aurex-codeplug aurex-man-pages aurex-package-docs)

include(CPack)
