# The Debian package: `cpack -G DEB` in the build folder (scripts/package)
# makes deckhand_<version>_<arch>.deb from the install rules of the folders
# (programs, the HTML view's module, desktop entry, icons, user guide) and
# the files added here: the AppStream metainfo, the copyright file, the
# changelog, the manual pages and the lintian overrides.
if(NOT TARGET deckhand)
  return()
endif()

set(DECKHAND_PACKAGE_NAME deckhand)
set(DECKHAND_PACKAGE_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/${DECKHAND_PACKAGE_NAME})
set(DECKHAND_MAINTAINER "Deckhand <team@deckhand.example.org>")

# AppStream metainfo, named after its component id.
configure_file(${PROJECT_SOURCE_DIR}/ui/desktop/deckhand.metainfo.xml.in
  ${PROJECT_BINARY_DIR}/packaging/org.example.deckhand.metainfo.xml @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/packaging/org.example.deckhand.metainfo.xml
  DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# Debian's documentation folder: the machine-readable copyright file and the
# changelog, and the manual page, compressed the way Debian's tools expect (-9, no time stamp).
configure_file(${PROJECT_SOURCE_DIR}/packaging/changelog.in
  ${PROJECT_BINARY_DIR}/packaging/changelog @ONLY)
add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/packaging/changelog.gz
  COMMAND gzip -9 -n -c ${PROJECT_BINARY_DIR}/packaging/changelog
    > ${PROJECT_BINARY_DIR}/packaging/changelog.gz
  DEPENDS ${PROJECT_BINARY_DIR}/packaging/changelog
  COMMENT "Compressing the package changelog")
# The manual pages of the two programs.
set(manual_pages)
foreach(page deckhand deckhand-check)
  add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/packaging/${page}.1.gz
    COMMAND gzip -9 -n -c ${PROJECT_SOURCE_DIR}/packaging/${page}.1
      > ${PROJECT_BINARY_DIR}/packaging/${page}.1.gz
    DEPENDS ${PROJECT_SOURCE_DIR}/packaging/${page}.1
    COMMENT "Compressing the manual page ${page}.1")
  list(APPEND manual_pages ${PROJECT_BINARY_DIR}/packaging/${page}.1.gz)
endforeach()
add_custom_target(package_docs ALL
  DEPENDS ${PROJECT_BINARY_DIR}/packaging/changelog.gz ${manual_pages})
install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright
  ${PROJECT_BINARY_DIR}/packaging/changelog.gz
  DESTINATION ${DECKHAND_PACKAGE_DOC_DIR})
install(FILES ${manual_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
# What lintian --pedantic reports and Debian accepts, each with its reason.
install(FILES ${PROJECT_SOURCE_DIR}/packaging/lintian-overrides
  DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME ${DECKHAND_PACKAGE_NAME})

# Symbols are bound when a program starts (lintian's hardening-no-bindnow):
# the relocation tables are then made read-only for the whole run.
foreach(target deckhand deckhand-check deckhand_webbrowser)
  if(TARGET ${target})
    target_link_options(${target} PRIVATE LINKER:-z,now)
  endif()
endforeach()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${DECKHAND_PACKAGE_NAME})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR Deckhand)
set(CPACK_PACKAGE_CONTACT ${DECKHAND_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "editor for WML 1.1 decks with a phone preview")
# No Homepage field: the product has no public web site to name.
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/package)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${DECKHAND_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION editors)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# xdg-open hands help, the web site and mail links to the desktop; the
# window's layout was measured with the Windows faces of fonts-wine (other
# faces cut the labels short); qt6-translations-l10n holds the toolkit's own
# texts in the user's language (file and print dialogs, context menus).
set(CPACK_DEBIAN_PACKAGE_DEPENDS "xdg-utils, fonts-wine, qt6-translations-l10n")
# The emulator verifies https: servers against the system's authorities.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "ca-certificates")
# The extended description under the summary's synopsis; CPack indents it
# and turns the empty line into the paragraph mark of the control file.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
  "Deckhand edits WML 1.1 decks, the pages of WAP mobile phones, as plain
text, and previews them on the screen of a phone drawn beside the code.
Menus and toolbars insert WML markup (cards, paragraphs, text styles,
links, images, forms); a quick check counts quotes and angle brackets;
files are Windows-1251 text; the code can be printed.

The interface is in Russian. A Russian user guide is included.")

include(CPack)

# The package's own test: builds it with cpack from this tree and checks it
# (lintian, desktop-file-validate, appstreamcli, the unpacked program in
# Xvfb); skipped where one of those tools is missing.
if(BUILD_TESTING)
  add_test(NAME package_deb
    COMMAND ${PROJECT_SOURCE_DIR}/tests/packaging/PackageTest.sh ${PROJECT_BINARY_DIR})
  set_tests_properties(package_deb PROPERTIES RUN_SERIAL TRUE TIMEOUT 600 SKIP_RETURN_CODE 77)
endif()
