# A Debian package built with `cpack -G DEB` from a Release build. Its dependencies are
# the runtime libraries the programs link, found by dpkg-shlibdeps, and the font the
# panel's captions are laid out in (its full-width colons have no glyph in the fonts a
# minimal system has).
set(CPACK_PACKAGE_NAME tessaro)
set(CPACK_PACKAGE_VENDOR "Tessaro contributors")
set(CPACK_PACKAGE_CONTACT "Tessaro contributors <maintainers@tessaro.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Show a vinyl cutter's settings and calibrate its scale")
set(CPACK_PACKAGE_DESCRIPTION
    "Tessaro reads a vinyl cutter's media size, settings and firmware identity\n\
over a serial port or a USB link, shows them in a panel, keeps watching them,\n\
and calibrates the cutter's length scale. It comes with a virtual cutter for\n\
trying it without hardware.")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
# The Debian revision: the package's changelog is changelog.Debian.gz.
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://tessaro.org/")
set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-noto-cjk")
# The Wayland platform plugin, so Tessaro runs as a native client in a Wayland session.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-wayland")
set(CPACK_STRIP_FILES ON)
include(CPack)
