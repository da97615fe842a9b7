# Debian packages with CPack (scripts/package): nivo-lcd holds the program, the
# page checker, the systemd unit and init script, and their man pages; nivo-panel
# holds the simulator, which needs ncurses and never goes on the unit.
# The example configuration lies under /usr/share/doc: the live file is the
# program's to write, so it must not be a conffile that dpkg would guard.
file(STRINGS ${CMAKE_SOURCE_DIR}/util/version.h version_line REGEX "kNivoVersion = ")
string(REGEX MATCH "[0-9]+\\.[0-9]+\\.[0-9]+" NIVO_VERSION "${version_line}")
set(NIVO_PACKAGE_MAINTAINER "nivo_lcd maintainers <nivo-lcd@example.org>"
    CACHE STRING "Maintainer field of the Debian packages")

# Files beside the binaries: man pages, copyright, changelog (compressed as
# Debian wants them: gzip -9n, no name or time stamp inside).
set(package_files ${CMAKE_BINARY_DIR}/package)
configure_file(${CMAKE_SOURCE_DIR}/dist/debian/changelog.in ${package_files}/changelog @ONLY)
set(gzipped)
foreach(source ${CMAKE_SOURCE_DIR}/dist/man/nivo_lcd.8 ${CMAKE_SOURCE_DIR}/dist/man/nivoml-check.1
               ${CMAKE_SOURCE_DIR}/dist/man/nivo-panel.1 ${package_files}/changelog)
    get_filename_component(name ${source} NAME)
    add_custom_command(OUTPUT ${package_files}/${name}.gz
                       COMMAND gzip -9n -c ${source} > ${package_files}/${name}.gz
                       DEPENDS ${source} VERBATIM)
    list(APPEND gzipped ${package_files}/${name}.gz)
endforeach()
add_custom_target(nivo_package_files ALL DEPENDS ${gzipped})

foreach(package nivo-lcd nivo-panel)
    string(REPLACE "-" "_" component ${package})
    install(FILES ${CMAKE_SOURCE_DIR}/dist/debian/copyright ${package_files}/changelog.gz
            DESTINATION share/doc/${package} COMPONENT ${component})
endforeach()
install(FILES ${package_files}/nivo_lcd.8.gz DESTINATION share/man/man8 COMPONENT nivo_lcd)
install(FILES ${package_files}/nivoml-check.1.gz DESTINATION share/man/man1 COMPONENT nivo_lcd)
set(CPACK_COMPONENTS_ALL nivo_lcd)
if(TARGET nivo-panel)
    install(TARGETS nivo-panel RUNTIME DESTINATION bin COMPONENT nivo_panel)
    install(FILES ${package_files}/nivo-panel.1.gz DESTINATION share/man/man1
            COMPONENT nivo_panel)
    list(APPEND CPACK_COMPONENTS_ALL nivo_panel)
endif()

# The Debian architecture of the target: amd64 here, armhf from the unit's toolchain.
execute_process(COMMAND dpkg-architecture -t ${CMAKE_LIBRARY_ARCHITECTURE} -qDEB_HOST_ARCH
                OUTPUT_VARIABLE NIVO_DEB_ARCH OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
if(NOT NIVO_DEB_ARCH)
    execute_process(COMMAND dpkg --print-architecture OUTPUT_VARIABLE NIVO_DEB_ARCH
                    OUTPUT_STRIP_TRAILING_WHITESPACE)
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME nivo-lcd)
set(CPACK_PACKAGE_VERSION ${NIVO_VERSION})
set(CPACK_PACKAGE_CONTACT ${NIVO_PACKAGE_MAINTAINER})
set(CPACK_SET_DESTDIR ON)  # the unit and the init script live under /etc and /lib
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${NIVO_DEB_ARCH})
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_NIVO_LCD_PACKAGE_NAME nivo-lcd)
set(CPACK_DEBIAN_NIVO_PANEL_PACKAGE_NAME nivo-panel)
set(CPACK_DEBIAN_NIVO_LCD_PACKAGE_CONTROL_EXTRA
    ${CMAKE_SOURCE_DIR}/dist/debian/conffiles ${CMAKE_SOURCE_DIR}/dist/debian/postinst
    ${CMAKE_SOURCE_DIR}/dist/debian/prerm ${CMAKE_SOURCE_DIR}/dist/debian/postrm)
set(CPACK_COMPONENT_NIVO_LCD_DESCRIPTION
    "front-panel program of the home-automation central unit
nivo_lcd draws NIVOML pages from the unit's local web server on the panel's
LCD, seven-segment field, symbols and LEDs, reads its three keys, sets the
clock and shows the notifications of the unit's other processes.
.
Also holds nivoml-check, which builds and lints a page as the program does.")
set(CPACK_COMPONENT_NIVO_PANEL_DESCRIPTION
    "front panel of the nivo_lcd central unit, simulated in a terminal
nivo-panel shows what nivo_lcd draws into a register file, presses the
panel's keys and sends the program notifications, for running the unit's
pages on a PC.")
include(CPack)
