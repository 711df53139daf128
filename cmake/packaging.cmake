# `cpack -G DEB` in a build folder (or `cmake --build DIR --target package`)
# makes a Debian package of everything `cmake --install` puts in place: the
# programs, the desktop entry and the icons. dpkg-shlibdeps works out the
# dependencies from the binaries.
set(CPACK_PACKAGE_NAME nimbrel-config)
set(CPACK_PACKAGE_VENDOR "Nimbrel Configuration Tool developers")
set(CPACK_PACKAGE_CONTACT "Nimbrel Configuration Tool developers <nimbrel-config@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Find Nimbrel weather stations on the local network and set them up")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "nimbrel-config finds Nimbrel network weather stations on the local IPv4\n"
    "segment by UDP broadcast, lists them, and assigns new IPv4 settings or\n"
    "sends a command. nimbrel does the same from scripts; nimbrel-sim simulates\n"
    "stations for testing.")
string(CONCAT CPACK_DEBIAN_PACKAGE_DESCRIPTION ${CPACK_DEBIAN_PACKAGE_DESCRIPTION})
set(CPACK_GENERATOR DEB)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Loaded as Qt plugins, not linked, so dpkg-shlibdeps cannot see them: the
# SVG image and icon engines for the program icon.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6svg6")
# Ping in a terminal and the station's web page.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "iputils-ping, xdg-utils")
include(CPack)
