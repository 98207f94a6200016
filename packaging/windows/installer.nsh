; The installer's own steps, included by the script CPack writes (packaging/windows.cmake). They
; are for the desktop program, so each first looks whether kvbview.exe was installed: an
; installer of kvb.exe alone makes no Start-menu entry and leaves .KVB files alone.

!include LogicLib.nsh

!define KVB_PROGID "KVBEditor.Archive"

; CPack's uninstaller removes its key under the vendor's key but leaves that one, empty.
Function un.onUninstSuccess
  DeleteRegKey /ifempty SHCTX "Software\${KVB_VENDOR}"
FunctionEnd

; Inside CPack's Start-menu block, where $STARTMENU_FOLDER is the folder the user chose.
!macro KvbCreateStartMenuEntry
  ${If} ${FileExists} "$INSTDIR\kvbview.exe"
    CreateShortCut "$SMPROGRAMS\$STARTMENU_FOLDER\KVB Editor.lnk" "$INSTDIR\kvbview.exe"
  ${EndIf}
!macroend

; The uninstaller runs this once for each place CPack knows the folder from ($MUI_TEMP).
!macro KvbDeleteStartMenuEntry
  Delete "$SMPROGRAMS\$MUI_TEMP\KVB Editor.lnk"
!macroend

; Double-clicking an archive opens it in the desktop program; it is also offered under
; "Open with" for .KVB files that another program opens by default.
!macro KvbAssociateArchives
  ${If} ${FileExists} "$INSTDIR\kvbview.exe"
    WriteRegStr SHCTX "Software\Classes\${KVB_PROGID}" "" "KVB archive"
    WriteRegStr SHCTX "Software\Classes\${KVB_PROGID}\DefaultIcon" "" "$INSTDIR\kvbview.exe,0"
    WriteRegStr SHCTX "Software\Classes\${KVB_PROGID}\shell\open\command" "" '"$INSTDIR\kvbview.exe" "%1"'
    WriteRegStr SHCTX "Software\Classes\.KVB" "" "${KVB_PROGID}"
    WriteRegStr SHCTX "Software\Classes\.KVB\OpenWithProgids" "${KVB_PROGID}" ""
    System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'
  ${EndIf}
!macroend

; Takes back only what the installer wrote: .KVB stays with any program that took it over since.
!macro KvbDissociateArchives
  DeleteRegKey SHCTX "Software\Classes\${KVB_PROGID}"
  ReadRegStr $0 SHCTX "Software\Classes\.KVB" ""
  ${If} $0 == "${KVB_PROGID}"
    DeleteRegValue SHCTX "Software\Classes\.KVB" ""
  ${EndIf}
  DeleteRegValue SHCTX "Software\Classes\.KVB\OpenWithProgids" "${KVB_PROGID}"
  DeleteRegKey /ifempty SHCTX "Software\Classes\.KVB\OpenWithProgids"
  DeleteRegKey /ifempty SHCTX "Software\Classes\.KVB"
  System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'
!macroend
