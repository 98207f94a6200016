# Checks every source file under src/ against the layers of docs/architecture.md: a file may
# include headers of its own folder and of the folders below it, never one above or beside it;
# Qt only in the Qt adapters and the Qt face; the system's own headers only where the platform,
# the players or a face says how a system does things. Run with -DSOURCE_DIR=<the src folder>;
# fails naming every include out of place.

# What each folder may include, itself first.
set(layer_platform platform)
set(layer_archive  archive platform)
set(layer_tools    tools preview archive platform)
set(layer_preview  preview archive platform)
set(layer_game     game archive platform)
set(layer_media    media platform)
set(layer_qt       qt preview archive platform)
set(layer_logic    logic tools preview game media archive platform)
set(layer_ui       ui logic qt media tools preview game archive platform)
set(layer_win32ui  win32ui logic media tools preview game archive platform)
set(layer_cli      cli qt media tools preview game archive platform)

# System headers of one kind, and the folders that may include them.
set(qt_headers "^Q[A-Za-z]*>|^Qt[A-Za-z]*/")
set(qt_folders "^(qt|ui)/")
set(windows_headers "^(windows|shlobj|shellapi|commctrl|commdlg|shlwapi|mmsystem|objbase|winioctl|aclapi|sddl)\\.h>")
set(windows_folders "^(platform/win32|media/win32|win32ui)/")
set(posix_headers "^(unistd|fcntl|dirent|dlfcn|pwd|sys/[a-z_]+)\\.h>")
set(posix_folders "^platform/(posix|win32)/")

if(NOT SOURCE_DIR)
  message(FATAL_ERROR "check-layers: SOURCE_DIR not given")
endif()

file(GLOB_RECURSE sources RELATIVE ${SOURCE_DIR} ${SOURCE_DIR}/*.h ${SOURCE_DIR}/*.cpp)
list(SORT sources)
set(faults "")
foreach(source IN LISTS sources)
  string(REGEX MATCH "^[^/]+" folder ${source})
  if(NOT DEFINED layer_${folder})
    list(APPEND faults "${source}: the folder ${folder} has no place in the layers")
    continue()
  endif()
  file(STRINGS ${SOURCE_DIR}/${source} includes REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"]")
  foreach(line IN LISTS includes)
    string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*" "" target "${line}")
    if(target MATCHES "^\"([a-z0-9_]+)/")
      # A project header: its folder must be this folder or one below.
      list(FIND layer_${folder} ${CMAKE_MATCH_1} allowed)
      if(allowed EQUAL -1)
        list(JOIN layer_${folder} ", " below)
        list(APPEND faults "${source}: includes ${target}, but ${folder} may include only ${below}")
      endif()
    elseif(target MATCHES "^\"")
      list(APPEND faults "${source}: includes ${target} without its folder")
    else()
      string(SUBSTRING "${target}" 1 -1 header)
      foreach(kind qt windows posix)
        if(header MATCHES "${${kind}_headers}" AND NOT source MATCHES "${${kind}_folders}")
          list(APPEND faults "${source}: includes the ${kind} header ${target} outside ${${kind}_folders}")
        endif()
      endforeach()
    endif()
  endforeach()
endforeach()

if(faults)
  list(JOIN faults "\n  " text)
  message(FATAL_ERROR "Includes out of their layer:\n  ${text}")
endif()
list(LENGTH sources count)
message(STATUS "${count} source files, every include in its layer")
