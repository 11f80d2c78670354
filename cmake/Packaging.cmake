# A Debian package from the installed files: cpack -G DEB in a release build tree.
# Its dependencies are computed from the binaries (dpkg-shlibdeps), Qt's own translations added.
include(GNUInstallDirs)

set(SHELVARA_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/shelvara)
install(FILES ${PROJECT_SOURCE_DIR}/data/debian/copyright DESTINATION ${SHELVARA_DOC_DIR})
set(SHELVARA_CHANGELOG ${CMAKE_BINARY_DIR}/changelog.Debian.gz)
add_custom_command(OUTPUT ${SHELVARA_CHANGELOG}
    COMMAND gzip -9nc ${PROJECT_SOURCE_DIR}/data/debian/changelog > ${SHELVARA_CHANGELOG}
    DEPENDS ${PROJECT_SOURCE_DIR}/data/debian/changelog)
add_custom_target(shelvara-changelog ALL DEPENDS ${SHELVARA_CHANGELOG})
install(FILES ${SHELVARA_CHANGELOG} DESTINATION ${SHELVARA_DOC_DIR} RENAME changelog.gz)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME shelvara)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Shelvara developers <shelvara@users.noreply.github.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "catalogue manager for FB2 e-book libraries")
# The summary line comes from CPACK_PACKAGE_DESCRIPTION_SUMMARY; this is the long text.
set(CPACK_PACKAGE_DESCRIPTION
    "Shelvara keeps one fast catalogue of a home library of FB2 books, plain and
zipped, in step with the disk: authors with every spelling of their names,
series, genres and folders. It has a book preview, a text editor with
rule-based formatting, a search for books with the same text and packing into
ZIP archives. shelvara-cli does the same work from the command line, imports
INPX collections and serves the library to e-readers over OPDS.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION text)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://github.com/shelvara/shelvara")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-translations-l10n")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
include(CPack)
