# SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
# SPDX-License-Identifier: GPL-3.0-or-later
#
# Install layout and the Debian package.
#
# kivo95 and initkivo go to the same directory (bindir): the wizard starts the
# installer from its own directory, and finds the string tables at
# ../share/kivo95/strings relative to it.

set(KIVO_APP_ID org.kivo95.Wizard)
set(KIVO_ICON_SVG ${PROJECT_SOURCE_DIR}/wizard/resources/kivo.svg)

install(TARGETS kivo95 initkivo kivo-reg RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/data/strings/
        DESTINATION ${CMAKE_INSTALL_DATADIR}/kivo95/strings
        FILES_MATCHING PATTERN "*.strings")
# A helper of the pppd backend, not a command: found at ../libexec/kivo95
# relative to the wizard.
install(TARGETS kivo-pppd-guard RUNTIME DESTINATION ${CMAKE_INSTALL_LIBEXECDIR}/kivo95)
install(FILES ${PROJECT_SOURCE_DIR}/data/${KIVO_APP_ID}.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/data/${KIVO_APP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
# The D-Bus interface of the running wizard, where D-Bus tools look for it.
install(FILES ${PROJECT_SOURCE_DIR}/data/dbus/org.kivo95.Wizard1.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/dbus-1/interfaces)

# Man pages, compressed as Debian installs them (-n: no time stamp, so the
# package is reproducible).
# data/man/PAGE is English, data/man/LANG/PAGE its translation.
set(KIVO_MAN_OUTPUTS)
foreach(lang "" de)
  foreach(page kivo95.1 kivo-reg.1 initkivo.1)
    set(dir ${CMAKE_BINARY_DIR}/man/${lang})
    set(out ${dir}/${page}.gz)
    add_custom_command(OUTPUT ${out}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${dir}
      COMMAND gzip -9n -c ${PROJECT_SOURCE_DIR}/data/man/${lang}/${page} > ${out}
      DEPENDS ${PROJECT_SOURCE_DIR}/data/man/${lang}/${page}
      VERBATIM)
    list(APPEND KIVO_MAN_OUTPUTS ${out})
    if(lang STREQUAL "")
      install(FILES ${out} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
    else()
      install(FILES ${out} DESTINATION ${CMAKE_INSTALL_MANDIR}/${lang}/man1)
    endif()
  endforeach()
endforeach()
set(KIVO_CHANGELOG ${CMAKE_BINARY_DIR}/doc/changelog.gz)
add_custom_command(OUTPUT ${KIVO_CHANGELOG}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/doc
  COMMAND gzip -9n -c ${PROJECT_SOURCE_DIR}/data/debian/changelog > ${KIVO_CHANGELOG}
  DEPENDS ${PROJECT_SOURCE_DIR}/data/debian/changelog
  VERBATIM)
add_custom_target(kivo_man ALL DEPENDS ${KIVO_MAN_OUTPUTS} ${KIVO_CHANGELOG})
install(FILES ${KIVO_CHANGELOG} DESTINATION ${CMAKE_INSTALL_DOCDIR})
# The machine-readable copyright file Debian policy asks for (not compressed).
install(FILES ${PROJECT_SOURCE_DIR}/data/debian/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})

# The program icon in the hicolor theme: the SVG as drawn, and PNGs rendered
# from it at build time by a small Qt tool (one source of truth, no
# hand-exported bitmaps to keep in step).
add_executable(kivo-render-icon ${PROJECT_SOURCE_DIR}/data/icons/render-icon.cpp)
kivo_warnings(kivo-render-icon)
target_link_libraries(kivo-render-icon PRIVATE Qt6::Gui Qt6::Svg)
set_target_properties(kivo-render-icon PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tools)
set(KIVO_ICON_OUTPUTS)
foreach(size 16 32 48)
  set(out ${CMAKE_BINARY_DIR}/icons/${size}x${size}/${KIVO_APP_ID}.png)
  add_custom_command(OUTPUT ${out}
    COMMAND kivo-render-icon ${KIVO_ICON_SVG} ${size} ${out}
    DEPENDS kivo-render-icon ${KIVO_ICON_SVG}
    VERBATIM)
  list(APPEND KIVO_ICON_OUTPUTS ${out})
  install(FILES ${out} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()
add_custom_target(kivo_icons ALL DEPENDS ${KIVO_ICON_OUTPUTS})
install(FILES ${KIVO_ICON_SVG} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps
        RENAME ${KIVO_APP_ID}.svg)

# What make install and make deb build: the installed programs and data only
# (benchmarks and tests need not build in a package build).
add_custom_target(kivo_installables DEPENDS kivo95 initkivo kivo-reg kivo_data kivo_man kivo_icons)

# make deb
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kivo95)
set(CPACK_PACKAGE_VENDOR "KIVO95 Wizard developers")
set(CPACK_PACKAGE_CONTACT "KIVO95 Wizard developers <kivo95@kivo95.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "dialing wizard: dials entries in turn until one connects")
set(CPACK_PACKAGE_DESCRIPTION
  "KIVO95 Wizard dials one or more dial-up or network connection entries one\n"
  "after another, starting over after the last and moving on after every\n"
  "failure, until one connects or the user aborts. Connected, it plays a tune,\n"
  "shows the elapsed time, hides to a tray icon, and warns when the line\n"
  "breaks. It keeps statistics per entry.\n"
  "\n"
  "It dials pppd peers (modems), NetworkManager profiles, or a simulated\n"
  "service with a demo phonebook.")
string(REPLACE ";" "" CPACK_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt's own translations give the standard buttons (Yes, No, Cancel) in the
# user's language; without them those stay English.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-translations-l10n")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "ppp, network-manager")
# The form font's stand-in: its metrics fit the windows' fixed 13-pixel lines.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-liberation2")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)
include(CPack)
