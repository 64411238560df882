# The Debian package: `cpack` in a build folder (scripts/package does it in build-package/) packs
# what the install rules install, plus what only a package carries. The version is the project's.

set(WAVENARD_METAINFO_ID org.wavenard.Wavenard)
set(WAVENARD_PACKAGING_DIR ${PROJECT_SOURCE_DIR}/packaging)
string(TIMESTAMP WAVENARD_RELEASE_DATE "%Y-%m-%d" UTC)
string(TIMESTAMP WAVENARD_CHANGELOG_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
# The one place of the maintainer: the package's Maintainer field, its changelog, its copyright file's
# contact and the metadata's developer name.
set(WAVENARD_PACKAGE_MAINTAINER "Wavenard developers <wavenard@users.noreply.example>"
    CACHE STRING "Maintainer of the Debian package and developer of the program, as name <address>")
string(REGEX REPLACE " *<[^>]*>$" "" WAVENARD_DEVELOPERS "${WAVENARD_PACKAGE_MAINTAINER}")

configure_file(${WAVENARD_PACKAGING_DIR}/wavenard.1.in wavenard.1 @ONLY)
configure_file(${WAVENARD_PACKAGING_DIR}/wavenard.metainfo.xml.in ${WAVENARD_METAINFO_ID}.metainfo.xml @ONLY)
configure_file(${WAVENARD_PACKAGING_DIR}/changelog.in packaging/changelog @ONLY)
configure_file(${WAVENARD_PACKAGING_DIR}/copyright.in packaging/copyright @ONLY)

install(FILES ${PROJECT_BINARY_DIR}/wavenard.1 DESTINATION share/man/man1)
install(FILES ${PROJECT_BINARY_DIR}/${WAVENARD_METAINFO_ID}.metainfo.xml DESTINATION share/metainfo)
install(FILES ${PROJECT_BINARY_DIR}/packaging/copyright DESTINATION share/doc/wavenard)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME wavenard)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${WAVENARD_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "client for the playlist of a radio station")
set(CPACK_PACKAGE_DESCRIPTION
    "Wavenard lets a radio presenter work on the playlist of a station from
another computer, over the station automation suite's remote-control service.
It shows the playlist and refreshes it every five seconds, inserts a recorded
voice track after the selected row, deletes rows and moves them by dragging.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt loads the SVG icon engine of the toolbar icons as a plugin, which no binary names.
set(CPACK_DEBIAN_PACKAGE_DEPENDS libqt6svg6)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${WAVENARD_PACKAGING_DIR}/postinst ${WAVENARD_PACKAGING_DIR}/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# Read by the staging script below.
set(CPACK_WAVENARD_PACKAGING_DIR ${WAVENARD_PACKAGING_DIR})
set(CPACK_WAVENARD_CHANGELOG ${PROJECT_BINARY_DIR}/packaging/changelog)
set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/PackageStaging.cmake)
include(CPack)
