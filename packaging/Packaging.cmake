# Installation on a Linux desktop and the Debian package.
include(GNUInstallDirs)

install(TARGETS scoutwire RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${CMAKE_CURRENT_LIST_DIR}/scoutwire.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${CMAKE_SOURCE_DIR}/ui/images/scoutwire.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
# The ".scw" type, "Scoutwire Document"; the package's triggers (or
# update-mime-database) make it known.
install(FILES ${CMAKE_CURRENT_LIST_DIR}/scoutwire-mime.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages RENAME scoutwire.xml)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME scoutwire)
set(CPACK_PACKAGE_VENDOR Tolvane)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Half-Life server browser: servers, players and queries")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Tolvane <scoutwire@example.org>")
set(CPACK_DEBIAN_PACKAGE_SECTION games)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt's SVG image plugin (in libqt6svg6) draws the images at run time.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6svg6")
# Only the program goes into the package, not the lab or the tools.
set(CPACK_COMPONENTS_ALL Unspecified)
include(CPack)
