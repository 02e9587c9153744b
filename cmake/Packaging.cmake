# Installing Quillmeter like a program.
#
# Everywhere: the window's icon, built into quillmeter as a Qt resource from
# PNGs that rsvg-convert makes out of packaging/quillmeter.svg.
# Linux: `cmake --install` puts quillmeter and quillmeter-sim, the menu entry,
# the icon in the hicolor theme (SVG and PNG 16 to 256), the AppStream
# metadata, the manual pages and the package's documents under the prefix;
# CPack makes quillmeter_<version>_amd64.deb from them (scripts/package.sh
# builds and checks it).
# Windows: both programs carry version information and quillmeter.exe the
# icon (an ICO made with icotool); the installer is made from the zip's files
# by scripts/windows-installer.sh.

include(GNUInstallDirs)

set(QM_APP_ID org.quillmeter.Quillmeter)   # the menu entry's and AppStream's name
set(QM_RELEASE_DATE 2026-12-08)            # of version ${PROJECT_VERSION}
set(QM_CHANGELOG_DATE "Tue, 08 Dec 2026 12:00:00 +0000")   # the same day
set(QM_COPYRIGHT_YEAR 2026)
set(QM_PUBLISHER "Quillmeter developers")
set(QM_PACKAGE_CONTACT "Quillmeter developers <quillmeter@example.org>"
    CACHE STRING "Maintainer named in the Debian package")

# -- The icon ---------------------------------------------------------------
set(QM_ICON_SVG ${CMAKE_CURRENT_SOURCE_DIR}/packaging/quillmeter.svg)
set(QM_ICON_SIZES 16 22 24 32 48 64 128 256)
set(QM_ICON_DIR ${CMAKE_CURRENT_BINARY_DIR}/icon)
find_program(QM_RSVG_CONVERT rsvg-convert)
if(NOT QM_RSVG_CONVERT)
  message(FATAL_ERROR "rsvg-convert makes the icon's PNG sizes from packaging/quillmeter.svg: "
                      "install it with `bash scripts/deps.sh` (Debian package librsvg2-bin)")
endif()
set(QM_ICON_PNGS)
foreach(size ${QM_ICON_SIZES})
  set(png ${QM_ICON_DIR}/quillmeter-${size}.png)
  add_custom_command(OUTPUT ${png}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${QM_ICON_DIR}
    COMMAND ${QM_RSVG_CONVERT} --width ${size} --height ${size} --format png --output ${png} ${QM_ICON_SVG}
    DEPENDS ${QM_ICON_SVG}
    COMMENT "Icon ${size}x${size}"
    VERBATIM)
  list(APPEND QM_ICON_PNGS ${png})
endforeach()
# main.cpp gives the window every size found under :/quillmeter/icon.
qt_add_resources(quillmeter qm_icon PREFIX /quillmeter/icon BASE ${QM_ICON_DIR} FILES ${QM_ICON_PNGS})

# -- Windows: icon and version information in the programs ------------------
if(WIN32)
  enable_language(RC)
  find_program(QM_ICOTOOL icotool)
  if(NOT QM_ICOTOOL)
    message(FATAL_ERROR "icotool makes quillmeter.ico: install the Debian package icoutils")
  endif()
  set(QM_ICO ${QM_ICON_DIR}/quillmeter.ico)
  set(ico_pngs)
  foreach(size 16 24 32 48 64 128)
    list(APPEND ico_pngs ${QM_ICON_DIR}/quillmeter-${size}.png)
  endforeach()
  # The 256 px image stays PNG-compressed inside the ICO (-r), as Windows
  # expects of that size.
  add_custom_command(OUTPUT ${QM_ICO}
    COMMAND ${QM_ICOTOOL} --create --output=${QM_ICO} ${ico_pngs} --raw=${QM_ICON_DIR}/quillmeter-256.png
    DEPENDS ${QM_ICON_PNGS}
    COMMENT "Icon quillmeter.ico"
    VERBATIM)
  # "3.02" is file version 3.2.0.0.
  string(REGEX REPLACE "^0+([0-9])" "\\1" minor "${PROJECT_VERSION_MINOR}")
  set(QM_RC_VERSION_QUAD "${PROJECT_VERSION_MAJOR},${minor},0,0")
  foreach(program quillmeter quillmeter-sim)
    set(QM_RC_NAME ${program})
    set(QM_RC_FILE ${program}.exe)
    set(QM_RC_ICON "")
    if(program STREQUAL "quillmeter")
      set(QM_RC_DESCRIPTION "Quillmeter oscilloscope measurement logger")
      set(QM_RC_ICON "IDI_ICON1 ICON \"${QM_ICO}\"")
    else()
      set(QM_RC_DESCRIPTION "Quillmeter simulated instrument")
    endif()
    set(rc ${CMAKE_CURRENT_BINARY_DIR}/${program}.rc)
    configure_file(packaging/windows/version.rc.in ${rc} @ONLY)
    target_sources(${program} PRIVATE ${rc})
  endforeach()
  # Listing the ICO among the sources makes the build make it before the
  # resource compiler reads it.
  target_sources(quillmeter PRIVATE ${QM_ICO})
  set_source_files_properties(${CMAKE_CURRENT_BINARY_DIR}/quillmeter.rc PROPERTIES OBJECT_DEPENDS ${QM_ICO})
  return()
endif()

# -- Linux: install rules ---------------------------------------------------
install(TARGETS quillmeter quillmeter-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

install(FILES packaging/${QM_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
foreach(size ${QM_ICON_SIZES})
  install(FILES ${QM_ICON_DIR}/quillmeter-${size}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps RENAME quillmeter.png)
endforeach()
install(FILES ${QM_ICON_SVG} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

set(QM_VERSION ${PROJECT_VERSION})
set(generated ${CMAKE_CURRENT_BINARY_DIR}/packaging)
configure_file(packaging/${QM_APP_ID}.metainfo.xml.in ${generated}/${QM_APP_ID}.metainfo.xml @ONLY)
install(FILES ${generated}/${QM_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# Manual pages and the Debian changelog are installed compressed (gzip -n:
# no name or time stamp, so the bytes depend on the text alone).
find_program(QM_GZIP gzip REQUIRED)
configure_file(packaging/debian/changelog.in ${generated}/changelog @ONLY)
set(compressed)
foreach(page quillmeter.1 quillmeter-sim.1 changelog)
  if(page MATCHES "\\.1$")
    configure_file(packaging/${page} ${generated}/${page} @ONLY)
  endif()
  add_custom_command(OUTPUT ${generated}/${page}.gz
    COMMAND ${QM_GZIP} -9 -n -c ${page} > ${page}.gz
    WORKING_DIRECTORY ${generated}
    DEPENDS ${generated}/${page}
    VERBATIM)
  list(APPEND compressed ${generated}/${page}.gz)
endforeach()
add_custom_target(qm_package_files ALL DEPENDS ${compressed})
install(FILES ${generated}/quillmeter.1.gz ${generated}/quillmeter-sim.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
set(QM_DOCDIR ${CMAKE_INSTALL_DATAROOTDIR}/doc/quillmeter)
install(FILES README.md packaging/debian/copyright ${generated}/changelog.gz DESTINATION ${QM_DOCDIR})

# -- The Debian package -----------------------------------------------------
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quillmeter)
set(CPACK_PACKAGE_VENDOR "${QM_PUBLISHER}")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${QM_PACKAGE_CONTACT}")
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-noto-cjk")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "qt6-wayland")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "oscilloscope measurement logger")
# The synopsis above is the Description's first line; this is the rest.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Quillmeter sits beside a digital storage oscilloscope and logs its
automatic-measurement results over many repetitions, through the
instrument's USB virtual serial port or over TCP. Each cycle it arms a
single trigger, reads the four measurement values, shows them in a log
window and appends them to a CSV file in Shift-JIS, and can save the
instrument's screen as one PNG file per cycle. Every wait is bounded, so
it can be left running for hours.
.
It also draws trend charts with statistics and limits, runs without a
window (--headless), connects again to a lost instrument, and serves a
read-only web page of the run. quillmeter-sim, a simulated instrument,
and the built-in --demo mode let it be tried without an oscilloscope.")
include(CPack)
