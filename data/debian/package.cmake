# The Debian package: `scripts/package.sh` configures a build of its own with
# the prefix /usr and runs CPack's DEB generator on it.
set(PACKAGE_MAINTAINER "Marqora maintainers <maintainers@users.noreply.c-seed-3d0e6046.example>")
set(PACKAGE_DOCDIR ${CMAKE_INSTALL_DATADIR}/doc/marqora)

# Debian's changelog, dated from SOURCE_DATE_EPOCH when set (reproducible builds).
string(TIMESTAMP PACKAGE_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
configure_file(${CMAKE_CURRENT_LIST_DIR}/changelog.in debian/changelog @ONLY)
find_program(GZIP gzip REQUIRED)
add_custom_command(OUTPUT debian/changelog.gz
  COMMAND ${GZIP} -9 -n -c debian/changelog > debian/changelog.gz
  DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/debian/changelog)
add_custom_target(package-changelog ALL DEPENDS debian/changelog.gz)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/copyright ${CMAKE_CURRENT_BINARY_DIR}/debian/changelog.gz
        DESTINATION ${PACKAGE_DOCDIR})
install(FILES ${CMAKE_CURRENT_LIST_DIR}/lintian-overrides DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides
        RENAME marqora)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME marqora)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "keeps LED message displays showing the text files they watch")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Marqora keeps a list of up to 64 LED message displays, each driven by a
controller reached over UDP or a serial line, and runs out of sight in the
tray: for every display it watches one text file and uploads it whenever it
changes. It also renders the bitmap font libraries a controller needs, lets
the operator pick the text area, and shows chosen lines at once on the
displays that watch no file.
.
The package also holds libHexalinkVRX7300, the controller library with its C
header, hxsim, a simulated controller, and hxctl, a command-line client, and
a systemd user unit that runs Marqora without a desktop session.")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# The libraries the binaries link come from dpkg-shlibdeps; "宋体" needs the
# font, and Qt's own texts (buttons, the file dialog) their Chinese translations.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-arphic-uming, qt6-translations-l10n")
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
# The library sits in the loader's folder: libc's ldconfig trigger refreshes the cache.
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_CURRENT_LIST_DIR}/triggers)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)
include(CPack)
