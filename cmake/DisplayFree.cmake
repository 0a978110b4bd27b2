# Whether a file may use widgets is answered by its folder, and the build keeps
# it so: a library that needs no display links only libraries that need none
# (never the widget layer, the panels, Qt Gui or Widgets), and its files include
# nothing from those folders. Checked whenever CMake configures the build.
set(WIDGET_LIBRARIES platform link branding kelvra_core vexa_core
    Qt6::Gui Qt6::Widgets Qt6::Svg Qt6::UiTools)
set(WIDGET_INCLUDE_REGEX
    "^[ \t]*#[ \t]*include[ \t]*[<\"](platform/|link/|branding/|kelvra/|vexa/|QtGui|QtWidgets|QtSvg|QtUiTools|QWidget|QApplication|QGuiApplication|QPainter)")

# Stops the configuration when target, or a library it links, is not display-free.
function(check_display_free target)
  get_target_property(libs ${target} LINK_LIBRARIES)
  if(libs)
    foreach(lib IN LISTS libs)
      if(lib IN_LIST WIDGET_LIBRARIES)
        message(FATAL_ERROR "${target} needs no display, so it must not link ${lib}")
      endif()
      if(TARGET ${lib})
        get_target_property(imported ${lib} IMPORTED)
        if(NOT imported)
          check_display_free(${lib})
        endif()
      endif()
    endforeach()
  endif()
  get_target_property(dir ${target} SOURCE_DIR)
  get_target_property(sources ${target} SOURCES)
  foreach(src IN LISTS sources)
    if(NOT IS_ABSOLUTE ${src})
      set(src ${dir}/${src})
    endif()
    if(EXISTS ${src})
      file(STRINGS ${src} hits REGEX "${WIDGET_INCLUDE_REGEX}")
      if(hits)
        message(FATAL_ERROR "${src} is part of ${target}, which needs no display, yet includes: ${hits}")
      endif()
    endif()
  endforeach()
endfunction()

foreach(target runtime sensor mqtt linksettings vexalink kelvralink sim gateway sensorctl_core)
  if(TARGET ${target})
    check_display_free(${target})
  endif()
endforeach()
