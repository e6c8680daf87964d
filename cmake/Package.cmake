# The Debian package: `cpack -G DEB` in the build folder, or `cmake --build build --target deb`.
# It holds two install components:
#   program   the installation folder (cmake/Dist.cmake), placed at /opt/vornupdater
#   desktop   the system's view of it, relative to / : the command /usr/bin/vornupdater (a link
#             to the program, which finds its real folder through /proc/self/exe), the desktop
#             entry that starts the launcher, the icon, the AppStream metainfo, the man page,
#             the Ansible collection vorn.gateway (contrib/ansible) and the marker that makes
#             every user write into their per-user folder.
# `cmake --install` alone installs only the folder.

set(VORN_PACKAGE_FOLDER opt/vornupdater)
# The program's kSystemInstallMarker (platform/ProgramFolder.h).
set(VORN_SYSTEM_MARKER_NAME installed-system-wide)
set(VORN_APP_ID org.vornupdater.VornUpdater)
set(_pkg ${PROJECT_SOURCE_DIR}/packaging)
set(_gen ${CMAKE_BINARY_DIR}/packaging)

configure_file(${_pkg}/${VORN_APP_ID}.metainfo.xml ${_gen}/${VORN_APP_ID}.metainfo.xml @ONLY)
configure_file(${_pkg}/vornupdater.1 ${_gen}/vornupdater.1 @ONLY)
find_program(VORN_GZIP gzip REQUIRED)
add_custom_command(OUTPUT ${_gen}/vornupdater.1.gz
  COMMAND ${VORN_GZIP} -n -9 -c ${_gen}/vornupdater.1 > ${_gen}/vornupdater.1.gz
  DEPENDS ${_gen}/vornupdater.1 VERBATIM)
add_custom_target(vorn_manpage ALL DEPENDS ${_gen}/vornupdater.1.gz)
file(WRITE ${_gen}/${VORN_SYSTEM_MARKER_NAME}
  "This installation is shared: each user's files are in their own data folder.\n")

install(FILES ${_pkg}/${VORN_APP_ID}.desktop DESTINATION usr/share/applications
  COMPONENT desktop EXCLUDE_FROM_ALL)
install(FILES ${_gen}/${VORN_APP_ID}.metainfo.xml DESTINATION usr/share/metainfo
  COMPONENT desktop EXCLUDE_FROM_ALL)
install(FILES ${_pkg}/icons/${VORN_APP_ID}.svg DESTINATION usr/share/icons/hicolor/scalable/apps
  COMPONENT desktop EXCLUDE_FROM_ALL)
foreach(size 16 32 48 64 128 256)
  install(FILES ${_pkg}/icons/${size}x${size}/${VORN_APP_ID}.png
    DESTINATION usr/share/icons/hicolor/${size}x${size}/apps COMPONENT desktop EXCLUDE_FROM_ALL)
endforeach()
install(FILES ${_gen}/vornupdater.1.gz DESTINATION usr/share/man/man1
  COMPONENT desktop EXCLUDE_FROM_ALL)
install(FILES ${_gen}/${VORN_SYSTEM_MARKER_NAME} DESTINATION ${VORN_PACKAGE_FOLDER}/STARTUP
  COMPONENT desktop EXCLUDE_FROM_ALL)
# The Ansible collection vorn.gateway, where Debian's ansible-core looks for collections.
install(DIRECTORY ${PROJECT_SOURCE_DIR}/contrib/ansible/
  DESTINATION usr/share/ansible/collections/ansible_collections/vorn/gateway
  COMPONENT desktop EXCLUDE_FROM_ALL
  PATTERN tests EXCLUDE PATTERN __pycache__ EXCLUDE PATTERN "*.tar.gz" EXCLUDE)
install(DIRECTORY DESTINATION usr/bin COMPONENT desktop EXCLUDE_FROM_ALL)
install(CODE "file(CREATE_LINK \"/${VORN_PACKAGE_FOLDER}/STARTUP/vornupdater\"
  \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/usr/bin/vornupdater\" SYMBOLIC)"
  COMPONENT desktop EXCLUDE_FROM_ALL)

set(CPACK_PACKAGE_NAME vornupdater)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "vornupdater developers")
set(CPACK_PACKAGE_CONTACT "vornupdater developers <vornupdater@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Firmware updater for network gateways")
set(CPACK_PACKAGE_DESCRIPTION
  "Finds gateways on the local network, connects to one over an enciphered link and updates
its firmware from single (.ssu) or combined (.cssu) packages; backs up and restores the
configuration, restores factory defaults and runs diagnostics. Desktop program with launcher
under /opt/vornupdater and the command-line front end vornupdater.")
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGING_INSTALL_PREFIX /)
# Both components go into the one package: the folder under /opt/vornupdater, the rest at /.
set(CPACK_INSTALL_CMAKE_PROJECTS
  "${CMAKE_BINARY_DIR};${PROJECT_NAME};program;/${VORN_PACKAGE_FOLDER}"
  "${CMAKE_BINARY_DIR};${PROJECT_NAME};desktop;/")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The libraries and the tool behind the checked names are linked, not loaded, so shlibdeps
# cannot see them.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "openssl, libssl3, libcurl4")
# The Chinese texts of Qt's own dialogs.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-translations-l10n")
# The collection in /usr/share/ansible/collections runs under Ansible.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "ansible-core")
include(CPack)

add_custom_target(deb
  COMMAND ${CMAKE_CPACK_COMMAND} -G DEB --config ${CMAKE_BINARY_DIR}/CPackConfig.cmake
  WORKING_DIRECTORY ${CMAKE_BINARY_DIR}
  COMMENT "Building the Debian package"
  VERBATIM)
add_dependencies(deb TOLBANE_Updater vornupdater zipbridge vorn_manpage)
