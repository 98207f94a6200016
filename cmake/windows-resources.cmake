# What Windows shows of a program beside its code, compiled in by the resource compiler of the
# toolchain: the manifest, the application icon and the version resource. Every program of the
# Windows build takes the same pieces through kvb_windows_resources().
#
# The manifest (packaging/windows/kvb.manifest) asks for common controls 6 (themed controls, and
# buttons that measure their own text), runs the program as the user who started it (no
# elevation, no redirected writes), declares Windows 10 so that the system treats it as a
# current program, and makes it per-monitor DPI aware (v2, with the older forms for older
# systems), so that Windows does not blur its windows on scaled screens. It keeps the ANSI code
# page: the programs call only the wide (UTF-16) functions and convert from UTF-8 themselves, so
# a UTF-8 code page would change nothing they do, and only newer systems would honour it.

set(KVB_WINDOWS_RESOURCES ${PROJECT_SOURCE_DIR}/packaging/windows)

# The icon is rendered from the desktop icon's SVG at the sizes the shell asks for (small and
# large icons, their 150 % steps, and the 256-pixel one that Explorer scales down for its
# bigger views), then packed into one .ico; the 256-pixel image stays a PNG, as the format allows.
find_program(RSVG_CONVERT rsvg-convert)
find_program(ICOTOOL icotool)
if(NOT RSVG_CONVERT OR NOT ICOTOOL)
  message(FATAL_ERROR "The Windows build renders its icon with rsvg-convert and icotool "
                      "(Debian packages librsvg2-bin and icoutils; scripts/install-deps installs them)")
endif()
set(KVB_WINDOWS_ICON ${PROJECT_BINARY_DIR}/windows-icon/kvb.ico)
set(icon_pngs)
set(icon_args)
foreach(size 16 24 32 48 256)
  set(png ${PROJECT_BINARY_DIR}/windows-icon/${size}.png)
  add_custom_command(OUTPUT ${png}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/windows-icon
    COMMAND ${RSVG_CONVERT} -w ${size} -h ${size} -o ${png} ${PROJECT_SOURCE_DIR}/data/kvbview.svg
    DEPENDS ${PROJECT_SOURCE_DIR}/data/kvbview.svg
    COMMENT "Rendering the ${size}x${size} Windows icon")
  list(APPEND icon_pngs ${png})
  if(size EQUAL 256)
    list(APPEND icon_args --raw=${png})
  else()
    list(APPEND icon_args ${png})
  endif()
endforeach()
add_custom_command(OUTPUT ${KVB_WINDOWS_ICON}
  COMMAND ${ICOTOOL} --create --output=${KVB_WINDOWS_ICON} ${icon_args}
  DEPENDS ${icon_pngs}
  COMMENT "Packing the Windows icon")
add_custom_target(kvb-windows-icon ALL DEPENDS ${KVB_WINDOWS_ICON})

# Gives TARGET (a program) the manifest, the icon as its resource 1 (the one Explorer shows and
# the program loads for its windows) and a version resource that names it with DESCRIPTION.
function(kvb_windows_resources target)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "DESCRIPTION" "")
  if(NOT arg_DESCRIPTION OR arg_DESCRIPTION MATCHES "[\"\\\\]")
    message(FATAL_ERROR "kvb_windows_resources(${target}) needs a DESCRIPTION without quotes or backslashes")
  endif()
  set(KVB_RC_DESCRIPTION ${arg_DESCRIPTION})
  get_target_property(KVB_RC_NAME ${target} OUTPUT_NAME)
  if(NOT KVB_RC_NAME)
    set(KVB_RC_NAME ${target})
  endif()
  set(KVB_RC_MANIFEST ${KVB_WINDOWS_RESOURCES}/kvb.manifest)
  set(KVB_RC_ICON ${KVB_WINDOWS_ICON})
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}-resources.rc)
  configure_file(${KVB_WINDOWS_RESOURCES}/resources.rc.in ${rc} @ONLY)
  set_source_files_properties(${rc} PROPERTIES OBJECT_DEPENDS "${KVB_RC_MANIFEST};${KVB_RC_ICON}")
  target_sources(${target} PRIVATE ${rc})
  add_dependencies(${target} kvb-windows-icon)
endfunction()
