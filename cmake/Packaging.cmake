# Installs a complete program directory per program (program, resource file, logo;
# each keeps its own configuration files there), the simulated sensor, a desktop
# entry and an icon per program; CPack wraps the same tree into an archive.
# The programs use the system's Qt 6 libraries (Debian 12 packages).

install(TARGETS KelvraV12 RUNTIME DESTINATION KelvraV12)
install(FILES ${KELVRA_DIR}/KelvraV12.uir DESTINATION KelvraV12)
install(TARGETS VexaV32 RUNTIME DESTINATION VexaV32)
install(FILES ${VEXA_DIR}/VexaV32.uir ${VEXA_DIR}/orvena.png DESTINATION VexaV32)
install(TARGETS sensorsim RUNTIME DESTINATION bin)

foreach(program KelvraV12 VexaV32)
  if(program STREQUAL "KelvraV12")
    set(DESKTOP_TITLE "KELVRA-Scope V1.2")
    set(DESKTOP_COMMENT "Prepare and write a sensor's temperature compensation")
  else()
    set(DESKTOP_TITLE "VEXA-Scope V3.2")
    set(DESKTOP_COMMENT "Parameterise, watch and record a three-channel sensor")
  endif()
  set(DESKTOP_PROGRAM ${program})
  configure_file(${CMAKE_SOURCE_DIR}/cmake/program.desktop.in ${CMAKE_BINARY_DIR}/${program}.desktop @ONLY)
  install(FILES ${CMAKE_BINARY_DIR}/${program}.desktop DESTINATION share/applications)
  install(FILES ${CMAKE_SOURCE_DIR}/ui/icons/${program}.svg DESTINATION share/icons/hicolor/scalable/apps)
endforeach()

set(CPACK_GENERATOR TGZ)
set(CPACK_PACKAGE_NAME sensor-scopes)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Sensor set-up programs KelvraV12 and VexaV32 with a simulated sensor")
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
include(CPack)
