# The Debian package, built by scripts/package.sh with CPack's DEB generator. The program
# folder is /opt/norvik/ unless NORVIK_PACKAGE_FOLDER says otherwise.

set(NORVIK_PACKAGE_FOLDER "/opt/norvik" CACHE PATH "Program folder the Debian package installs into")

set(CPACK_GENERATOR "DEB")
set(CPACK_PACKAGE_NAME "norvik-companions")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_VENDOR "Norvik")
set(CPACK_PACKAGE_CONTACT "Norvik support <support@norvik-qx.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "PDF lists and updater for the Norvik claim checker")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "Kavel writes the check-result lists of the Norvik claim checker as PDF\n"
    "files or shows them in a preview; Tolvan updates the master database and\n"
    "the program from the update server. Both are installed into one program\n"
    "folder beside the main application.")
set(CPACK_PACKAGING_INSTALL_PREFIX "${NORVIK_PACKAGE_FOLDER}")
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION "misc")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
# The libraries the programs link (Qt 6, libcurl, libmdb...) as dpkg-shlibdeps finds them, plus
# what they load or read at run time: HarfBuzz, fontconfig and libhyphen, which Kavel loads on
# first use (at the versions the functions it takes from them need), Qt's platform plugins for
# X11 and Wayland, the X client library the display check loads, the hyphenation patterns, the
# fonts the templates name and the certificates for HTTPS.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "libharfbuzz0b (>= 5.1.0), libfontconfig1 (>= 2.12.6), libhyphen0 (>= 2.7.1), qt6-qpa-plugins, qt6-wayland, qt6-translations-l10n, libxcb1, fontconfig, hyphen-ru, fonts-ipafont-gothic, fonts-ipafont-mincho, fonts-liberation2, ca-certificates, adduser")

# The program folder becomes writable for the group "norvik" when the package is configured.
configure_file(${PROJECT_SOURCE_DIR}/packaging/postinst.in ${PROJECT_BINARY_DIR}/packaging/postinst
               @ONLY FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ
               GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA "${PROJECT_BINARY_DIR}/packaging/postinst")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)
