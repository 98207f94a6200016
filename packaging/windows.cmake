# What a Windows user downloads, written by `cpack -G "ZIP;NSIS"` in the build folder: the zip
# kvb-editor-<version>-win64.zip and the installer kvb-editor-<version>-win64.exe. Both hold
# whatever the build installs (every program with an install rule) and the notes below; the
# installer also gives kvbview.exe, when it is among the programs, a Start-menu entry and the
# .KVB association (windows/installer.nsh).

install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION . RENAME README.txt)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/windows/VALIDATION-TEMPLATES.txt DESTINATION .)
if(EXISTS ${PROJECT_SOURCE_DIR}/LICENSE)
  install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION . RENAME LICENSE.txt)
  set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
endif()

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
set(CPACK_NSIS_URL_INFO_ABOUT ${KVB_AUTHOR_WEB_URL})
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
