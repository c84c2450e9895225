# A Debian package built with `cpack -G DEB` from a Release build. Its dependencies are
# the runtime libraries the programs link, found by dpkg-shlibdeps.
set(CPACK_PACKAGE_NAME tessaro)
set(CPACK_PACKAGE_VENDOR "Tessaro contributors")
set(CPACK_PACKAGE_CONTACT "Tessaro contributors <maintainers@tessaro.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Show a vinyl cutter's settings and calibrate its scale")
set(CPACK_PACKAGE_DESCRIPTION
    "Tessaro reads a vinyl cutter's media size, settings and firmware identity over a\n\
serial port or a USB link, shows them in a panel, keeps watching them, and\n\
calibrates the cutter's length scale. It comes with a virtual cutter for trying it\n\
without hardware.")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-noto-cjk")
set(CPACK_STRIP_FILES ON)
include(CPack)
