# What a Windows user downloads, written by `cpack -G "ZIP;NSIS"` in the build folder: the zip
# kvb-editor-<version>-win64.zip and the installer kvb-editor-<version>-win64.exe. Both hold
# whatever the build installs (every program with an install rule) and the notes below; the
# installer also gives kvbview.exe, when it is among the programs, a Start-menu entry and the
# .KVB association (windows/installer.nsh). Beside them CPack writes the manifests that Windows'
# package managers take (windows/manifests.cmake): winget's in winget/, Scoop's kvb-editor.json.

install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION . RENAME README.txt)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/windows/VALIDATION-TEMPLATES.txt DESTINATION .)
if(EXISTS ${PROJECT_SOURCE_DIR}/LICENSE)
  install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION . RENAME LICENSE.txt)
  set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
endif()

# Every file of the downloads carries the release's date (windows/file_times.cmake; the zip's
# own records of their times are set by windows/manifests.cmake), and so do the programs'
# headers, which stripping them stamps (windows/release_time.cmake), so that two builds of a
# release give the same zip. SOURCE_DATE_EPOCH, where set, gives the date instead.
include(${CMAKE_CURRENT_LIST_DIR}/releases.cmake)
kvb_read_releases(${PROJECT_SOURCE_DIR}/CHANGELOG.md)
if(NOT DEFINED KVB_RELEASE_DATE_${PROJECT_VERSION})
  message(FATAL_ERROR "CHANGELOG.md has no notes of release ${PROJECT_VERSION}")
endif()
if(DEFINED ENV{SOURCE_DATE_EPOCH})
  set(CPACK_KVB_FILE_TIME $ENV{SOURCE_DATE_EPOCH})
else()
  kvb_release_epoch(${KVB_RELEASE_DATE_${PROJECT_VERSION}} CPACK_KVB_FILE_TIME)
endif()
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_LIST_DIR}/windows/release_time.cmake)
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/windows/file_times.cmake)

# The manifests' download addresses and what they say of the package.
set(KVB_DOWNLOAD_URL "${KVB_PROJECT_URL}releases/" CACHE STRING
    "Where the Windows downloads of a release are published, ending in /: the manifests' links")
set(CPACK_KVB_DOWNLOAD_URL ${KVB_DOWNLOAD_URL})
set(CPACK_KVB_PROJECT_URL ${KVB_PROJECT_URL})
set(CPACK_KVB_WINGET_ID KVBEditor.KVBEditor)
if(TARGET kvbview)
  set(CPACK_KVB_DESKTOP ON)
else()
  set(CPACK_KVB_DESKTOP OFF)
endif()
set(CPACK_POST_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/windows/manifests.cmake)

# Values reach the generators as written here, quotes included.
set(CPACK_VERBATIM_VARIABLES ON)
set(CPACK_GENERATOR "ZIP;NSIS")
set(CPACK_PACKAGE_NAME kvb-editor)
set(CPACK_PACKAGE_VENDOR "KVB Editor")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME kvb-editor-${PROJECT_VERSION}-win64)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Editor for KVB game resource archives")
# Without the version, so that a newer installer finds the older installation (its keys are
# named after this) and upgrades it.
set(CPACK_PACKAGE_INSTALL_DIRECTORY "KVB Editor")
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY "KVB Editor")
set(CPACK_STRIP_FILES ON)

set(CPACK_NSIS_PACKAGE_NAME "KVB Editor")
set(CPACK_NSIS_DISPLAY_NAME "KVB Editor")
set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
set(CPACK_NSIS_URL_INFO_ABOUT ${KVB_PROJECT_URL})
set(CPACK_NSIS_MUI_ICON ${KVB_WINDOWS_ICON})
set(CPACK_NSIS_MUI_UNIICON ${KVB_WINDOWS_ICON})
set(CPACK_NSIS_INSTALLED_ICON_NAME kvb.exe)
set(CPACK_NSIS_MANIFEST_DPI_AWARE ON)
# CPack's own step would run the older uninstaller but leave it and its folder behind when the
# new one goes elsewhere; installer.nsh does it instead.
set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL OFF)
# CPack's own PATH editing reads and writes PATH through NSIS strings of at most 1024
# characters, which cuts a longer PATH short: the installer leaves PATH alone.
set(CPACK_NSIS_MODIFY_PATH OFF)
# A 64-bit installer (Debian's nsis has the amd64-unicode stubs), which is also the only kind
# that Debian's wine64 can run; then the project's own steps.
set(CPACK_NSIS_DEFINES "Target amd64-unicode
!define KVB_VENDOR \"${CPACK_PACKAGE_VENDOR}\"
!define KVB_INSTALL_KEY \"${CPACK_PACKAGE_INSTALL_REGISTRY_KEY}\"
!define KVB_DEFAULT_FOLDER \"${CPACK_NSIS_INSTALL_ROOT}\\${CPACK_PACKAGE_INSTALL_DIRECTORY}\"
!define MUI_CUSTOMFUNCTION_GUIINIT KvbGuiInit
!include \"${CMAKE_CURRENT_LIST_DIR}/windows/installer.nsh\"")
set(CPACK_NSIS_EXTRA_PREINSTALL_COMMANDS "!insertmacro KvbRemoveEarlierInstall")
set(CPACK_NSIS_CREATE_ICONS_EXTRA "!insertmacro KvbCreateStartMenuEntry")
set(CPACK_NSIS_DELETE_ICONS_EXTRA "!insertmacro KvbDeleteStartMenuEntry")
set(CPACK_NSIS_EXTRA_INSTALL_COMMANDS "!insertmacro KvbAssociateArchives")
set(CPACK_NSIS_EXTRA_UNINSTALL_COMMANDS "!insertmacro KvbDissociateArchives")
include(CPack)
