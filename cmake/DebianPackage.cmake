# The Debian package of strivo and strivo-cli (`make deb`, through CPack):
# installed under /usr, its dependencies found by dpkg-shlibdeps, the binaries
# stripped, with the copyright, the changelog and the AppStream metadata that
# Debian's tools look for. strivo-sim installs nothing, so it stays out.
set(doc_folder ${CMAKE_INSTALL_DATAROOTDIR}/doc/strivo)
install(FILES ${PROJECT_SOURCE_DIR}/res/debian/copyright DESTINATION ${doc_folder})
configure_file(${PROJECT_SOURCE_DIR}/res/debian/changelog.in changelog @ONLY)
configure_file(${PROJECT_SOURCE_DIR}/res/strivo.metainfo.xml
               ${CMAKE_INSTALL_DATAROOTDIR}/metainfo/example.strivo.Strivo.metainfo.xml @ONLY)
add_custom_command(OUTPUT changelog.gz
    COMMAND gzip -9n -c changelog > changelog.gz
    DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/changelog)
add_custom_target(strivo_changelog ALL DEPENDS changelog.gz)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz DESTINATION ${doc_folder})
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/${CMAKE_INSTALL_DATAROOTDIR}/metainfo/example.strivo.Strivo.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/metainfo)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME strivo)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "the Strivo developers <strivo@strivo.example>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "copy your Nike+ runs to the Kelvora run log")
set(CPACK_PACKAGE_DESCRIPTION "Strivo signs in to Nike+, downloads your runs and posts the ones your
Kelvora run log does not have yet, keeping every run and every post in a
local store so that a sync never posts a run twice. strivo is the window;
strivo-cli does the same from scripts and exports CSV, TCX and SVG.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_OUTPUT_FILE_PREFIX ${PROJECT_SOURCE_DIR}/dist)
include(CPack)
