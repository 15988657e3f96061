# Installation in the places a Linux desktop looks, and a Debian package.
#
#   lib/strevana-player/strevana-player        the program, with its language
#   lib/strevana-player/strevanaPlayer_*.lang  modules beside it (the player
#                                              looks for them in its own folder)
#   bin/strevana-player                        a link to the program
#   share/applications/strevana-player.desktop the menu entry ("Open with"
#                                              hands over the file name)
#   share/icons/hicolor/NxN/apps/strevana-player.png
#
# `cmake --install BUILD [--prefix P]` installs; `cpack -G DEB` in BUILD packs.
include(GNUInstallDirs)

if(NOT TARGET strevana-player)
  return()
endif()

set(strevana_program_dir ${CMAKE_INSTALL_LIBDIR}/strevana-player)
install(TARGETS strevana-player RUNTIME DESTINATION ${strevana_program_dir})
file(GLOB strevana_install_languages ${PROJECT_SOURCE_DIR}/resources/lang/strevanaPlayer_*.lang)
install(FILES ${strevana_install_languages} DESTINATION ${strevana_program_dir})
# A relative link, so that the tree works under any prefix and in the package.
file(RELATIVE_PATH strevana_link_target /${CMAKE_INSTALL_BINDIR} /${strevana_program_dir}/strevana-player)
install(CODE "
  set(bin \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
  file(MAKE_DIRECTORY \"\${bin}\")
  file(CREATE_LINK \"${strevana_link_target}\" \"\${bin}/strevana-player\" SYMBOLIC)
  message(STATUS \"Installing: \${bin}/strevana-player -> ${strevana_link_target}\")
")
install(FILES ${PROJECT_SOURCE_DIR}/resources/desktop/strevana-player.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
file(GLOB strevana_install_icons ${PROJECT_SOURCE_DIR}/resources/icons/strevana_*.png)
foreach(icon IN LISTS strevana_install_icons)
  string(REGEX MATCH "strevana_([0-9]+)\\.png$" _ ${icon})
  set(size ${CMAKE_MATCH_1})
  install(FILES ${icon} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
          RENAME strevana-player.png)
endforeach()

set(CPACK_PACKAGE_NAME strevana-player)
set(CPACK_PACKAGE_VENDOR Korvello)
set(CPACK_PACKAGE_CONTACT "strevana Player maintainers <maintainers@strevana.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Media player for MPEG-4 files, raw YUV and RTSP/RTP streams")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
# The libraries linked are found by dpkg-shlibdeps; what is loaded at run time
# is named: Qt's window-system plugins (xcb, wayland) and Qt's own texts.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-translations-l10n")
include(CPack)
