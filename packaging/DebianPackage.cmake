# The Debian package, made by CPack from the install rules. In the build
# folder:
#
#   cpack -G DEB        -> kelvane_<version>_<arch>.deb
#
# docs/packaging.md says what is in it and which lintian warnings stay.

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kelvane)
set(CPACK_PACKAGE_VENDOR Kelvane)
set(CPACK_PACKAGE_CONTACT "Kelvane Packaging <packaging@kelvane.example.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "collect mobile numbers from web-search result pages")
# Read here rather than named as CPACK_PACKAGE_DESCRIPTION_FILE, which CPack
# escapes as XML (an apostrophe would become "&apos;").
file(READ ${CMAKE_CURRENT_LIST_DIR}/description.txt CPACK_DEBIAN_PACKAGE_DESCRIPTION)
set(CPACK_STRIP_FILES TRUE)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "http://kelvane.example.com/")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION TRUE)
# The linked libraries come from dpkg-shlibdeps; these are what the program
# loads at run time without linking it: Qt's X11 platform plugin (libqt6gui6
# only recommends it) and its Wayland one, the SVG plugins that draw the
# toolbar's glyphs and the icon, Qt's Chinese translations, and a font with
# Chinese characters.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "qt6-qpa-plugins, qt6-wayland, libqt6svg6, qt6-translations-l10n, fonts-wqy-microhei | fonts-noto-cjk")

include(CPack)
