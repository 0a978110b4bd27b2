# Installs both programs, the simulated sensor, the command-line tool, desktop entries, icons, manual pages
# and the documentation into a Linux prefix tree; CPack wraps the same tree into a
# Debian package (and its -dbgsym package with the debug information) and, for
# systems without dpkg, a tar.gz to unpack under /usr/local.
#
#   <prefix>/lib/sensor-scopes/<program>/   program, panel resource file, logo: the
#                                            program folder it loads its panels from
#   <prefix>/bin/                            the programs (links), sensorsim and sensorctl
#   <prefix>/share/applications, icons/hicolor, man/man1, doc/sensor-scopes
#   /lib/systemd/system/sensor-gateway.service, /etc/sensor-scopes/gateway.toml
#                                            the gateway's service and its example configuration
#
# An installed program folder is not the user's to write, so the programs keep
# their settings per user there (GetSettingsDir).

set(PACKAGE_NAME sensor-scopes)
set(PROGRAM_HOME lib/${PACKAGE_NAME})
set(DOC_HOME share/doc/${PACKAGE_NAME})

# cmake --install does not build: say what to build before a half-made tree appears.
set(INSTALLED_BUILD_FILES
    ${KELVRA_DIR}/KelvraV12 ${KELVRA_DIR}/KelvraV12.uir ${VEXA_DIR}/VexaV32 ${VEXA_DIR}/VexaV32.uir
    ${VEXA_DIR}/orvena.png ${CMAKE_BINARY_DIR}/sensorsim ${CMAKE_BINARY_DIR}/sensorctl
    ${CMAKE_BINARY_DIR}/man/VexaV32.1.gz)
install(CODE "
  foreach(f ${INSTALLED_BUILD_FILES})
    if(NOT EXISTS \${f})
      message(FATAL_ERROR \"\${f} has not been built. Build everything first:\\n\"
                          \"  cmake --build ${CMAKE_BINARY_DIR}\\n\"
                          \"or make the Debian package in one step: scripts/package\")
    endif()
  endforeach()")

foreach(program KelvraV12 VexaV32)
  install(TARGETS ${program} RUNTIME DESTINATION ${PROGRAM_HOME}/${program})
  # The command on the PATH is a link, so the program still finds its own folder.
  install(CODE "
    file(MAKE_DIRECTORY \$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/bin)
    file(CREATE_LINK ../${PROGRAM_HOME}/${program}/${program} \$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/bin/${program} SYMBOLIC)")
endforeach()
install(FILES ${KELVRA_DIR}/KelvraV12.uir DESTINATION ${PROGRAM_HOME}/KelvraV12)
install(FILES ${VEXA_DIR}/VexaV32.uir ${VEXA_DIR}/orvena.png DESTINATION ${PROGRAM_HOME}/VexaV32)
install(TARGETS sensorsim sensorctl RUNTIME DESTINATION bin)

# Desktop entries name the program by its absolute path in the prefix installed to,
# which is known only while installing.
foreach(program KelvraV12 VexaV32)
  install(CODE "
    set(DESKTOP_EXEC \${CMAKE_INSTALL_PREFIX}/bin/${program})
    configure_file(${CMAKE_SOURCE_DIR}/cmake/${program}.desktop.in ${CMAKE_BINARY_DIR}/desktop/${program}.desktop @ONLY)
    file(INSTALL DESTINATION \${CMAKE_INSTALL_PREFIX}/share/applications TYPE FILE
         FILES ${CMAKE_BINARY_DIR}/desktop/${program}.desktop)")
  foreach(size ${PROGRAM_ICON_SIZES})
    install(FILES ${CMAKE_BINARY_DIR}/icons/hicolor/${size}x${size}/apps/${program}.png
            DESTINATION share/icons/hicolor/${size}x${size}/apps)
  endforeach()
  install(FILES ${CMAKE_SOURCE_DIR}/ui/icons/${program}.svg DESTINATION share/icons/hicolor/scalable/apps)
endforeach()

# Manual pages and the changelog are compressed as Debian wants them: gzip -9, no time stamp.
find_program(GZIP gzip REQUIRED)
set(compressed)
foreach(page KelvraV12.1 VexaV32.1 sensorsim.1 sensorctl.1 changelog)
  if(page STREQUAL "changelog")
    set(source ${CMAKE_SOURCE_DIR}/docs/package/changelog)
  else()
    set(source ${CMAKE_SOURCE_DIR}/docs/man/${page})
  endif()
  add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/man/${page}.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
    COMMAND ${GZIP} -9nc ${source} > ${CMAKE_BINARY_DIR}/man/${page}.gz
    DEPENDS ${source}
    VERBATIM)
  list(APPEND compressed ${CMAKE_BINARY_DIR}/man/${page}.gz)
endforeach()
add_custom_target(manpages ALL DEPENDS ${compressed})
install(FILES ${CMAKE_BINARY_DIR}/man/KelvraV12.1.gz ${CMAKE_BINARY_DIR}/man/VexaV32.1.gz
              ${CMAKE_BINARY_DIR}/man/sensorsim.1.gz ${CMAKE_BINARY_DIR}/man/sensorctl.1.gz
        DESTINATION share/man/man1)

# The README and the user guides keep their relative links in the documentation folder.
install(FILES ${CMAKE_SOURCE_DIR}/README.md ${CMAKE_SOURCE_DIR}/docs/package/copyright
              ${CMAKE_BINARY_DIR}/man/changelog.gz DESTINATION ${DOC_HOME})
install(FILES ${CMAKE_SOURCE_DIR}/docs/guide.md ${CMAKE_SOURCE_DIR}/docs/gateway.md DESTINATION ${DOC_HOME}/docs)
install(DIRECTORY ${CMAKE_SOURCE_DIR}/docs/img DESTINATION ${DOC_HOME}/docs)

# The plant gateway as a system service: its unit, which names sensorctl in the
# prefix installed to (known only while installing), and a commented example
# configuration that stays the administrator's (a conffile). The maintainer script
# creates the service's user; installing neither enables nor starts the service.
install(CODE "
  set(BINDIR \${CMAKE_INSTALL_PREFIX}/bin)
  configure_file(${CMAKE_SOURCE_DIR}/gateway/sensor-gateway.service.in ${CMAKE_BINARY_DIR}/gateway/sensor-gateway.service @ONLY)
  file(INSTALL DESTINATION /lib/systemd/system TYPE FILE FILES ${CMAKE_BINARY_DIR}/gateway/sensor-gateway.service)")
install(FILES ${CMAKE_SOURCE_DIR}/gateway/gateway.toml DESTINATION /etc/sensor-scopes)

set(CPACK_GENERATOR DEB TGZ)
set(CPACK_PACKAGE_NAME ${PACKAGE_NAME})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Sensor set-up tools team <sensor-tools@example.org>" CACHE STRING
    "Maintainer named in the Debian package")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "set-up programs for an optical sensor, with a simulated sensor")
set(CPACK_PACKAGE_DESCRIPTION
    "KelvraV12 prepares a sensor's temperature compensation and writes its
correction tables into the sensor; VexaV32 parameterises a three-channel
sensor, shows its live measurements and records them. Both reach the sensor
over an RS-232 port or over TCP through a serial-to-Ethernet server.
sensorctl does the same from a shell for many sensors at once and sends
live values to an MQTT broker; the package holds the unit of a plant gateway
service (not enabled by installing) with an example configuration.
sensorsim is a simulated sensor that speaks the same protocol, for trying
the programs without hardware.")
set(CPACK_PACKAGE_FILE_NAME ${PACKAGE_NAME}-${PROJECT_VERSION}-${CMAKE_SYSTEM_NAME})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The gateway's service user is made on installing (adduser), and its example
# configuration is the administrator's to change.
set(CPACK_DEBIAN_PACKAGE_DEPENDS adduser)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_SOURCE_DIR}/cmake/debian/postinst ${CMAKE_SOURCE_DIR}/cmake/debian/conffiles)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# Stripped programs; their debug information goes into the -dbgsym package.
set(CPACK_DEBIAN_DEBUGINFO_PACKAGE ON)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)

# Settings that differ per generator (CPack reads this file before each one).
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_BINARY_DIR}/CPackPerGenerator.cmake)
file(WRITE ${CPACK_PROJECT_CONFIG_FILE} [=[
if(CPACK_GENERATOR STREQUAL "TGZ")
  # usr/local/... inside the archive: unpacked at / it sits where its desktop entries point.
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr/local)
  set(CPACK_SET_DESTDIR ON)
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
  set(CPACK_STRIP_FILES ON)
endif()
]=])
include(CPack)
