; The installer's own steps, included by the script CPack writes (packaging/windows.cmake). The
; desktop program's steps first look whether kvbview.exe was installed: an installer of kvb.exe
; alone makes no Start-menu entry and leaves .KVB files alone.
;
; Defined by windows.cmake: KVB_VENDOR and KVB_INSTALL_KEY (CPack's names for the install's keys
; under Software and under Uninstall) and KVB_DEFAULT_FOLDER (the folder offered at first).

!include LogicLib.nsh

!define KVB_PROGID "KVBEditor.Archive"
!define KVB_INSTALL_REGKEY "Software\${KVB_VENDOR}\${KVB_INSTALL_KEY}"
; The program that opened .KVB files before this installation, given them back at uninstall.
!define KVB_PREVIOUS_PROGID "Previous .KVB type"

; CPack's uninstaller removes its key under the vendor's key but leaves that one, empty.
Function un.onUninstSuccess
  DeleteRegKey /ifempty SHCTX "Software\${KVB_VENDOR}"
FunctionEnd

; An installation already there is upgraded in its own folder, unless another folder was chosen
; (/D, or on the folder page), so that there is never more than one: CPack's key under Uninstall
; holds only one, and the uninstaller of another would remove the newer one's entries.
Var KvbEarlierFolder
Var KvbEarlierLooked

; Where the earlier installation is, into $KvbEarlierFolder (empty when there is none); the
; installation folder becomes that one if it is still the default. Once, before the folder page
; or, installing silently, at the start of the installation.
Function KvbFindEarlierInstall
  ${If} $KvbEarlierLooked == 1
    Return
  ${EndIf}
  StrCpy $KvbEarlierLooked 1
  ReadRegStr $KvbEarlierFolder SHCTX "${KVB_INSTALL_REGKEY}" ""
  ${IfNot} ${FileExists} "$KvbEarlierFolder\Uninstall.exe"
    StrCpy $KvbEarlierFolder ""
  ${ElseIf} $INSTDIR == "${KVB_DEFAULT_FOLDER}"
    StrCpy $INSTDIR $KvbEarlierFolder
  ${EndIf}
FunctionEnd

Function KvbGuiInit
  Call KvbFindEarlierInstall
FunctionEnd

; First in CPack's installation section, which has just made $INSTDIR the output folder. The
; earlier installation's own uninstaller runs in its folder and removes what that version
; installed, its entries and its association; the files users put there stay, and so does the
; folder then.
!macro KvbRemoveEarlierInstall
  ${If} $KvbEarlierLooked != 1
    ; Installing silently: the folder CPack has just made (and entered, which keeps it from
    ; being removed) goes again if it stays empty.
    SetOutPath "$TEMP"
    RMDir "$INSTDIR"
    Call KvbFindEarlierInstall
  ${EndIf}
  ${If} $KvbEarlierFolder != ""
    DetailPrint "Uninstalling the installation in $KvbEarlierFolder"
    ClearErrors
    ExecWait '"$KvbEarlierFolder\Uninstall.exe" /S _?=$KvbEarlierFolder' $0
    ${If} ${Errors}
    ${OrIf} $0 != 0
      MessageBox MB_OK|MB_ICONSTOP "KVB Editor in $KvbEarlierFolder could not be uninstalled. Uninstall it, then install this version." /SD IDOK
      Abort
    ${EndIf}
    ; Run in place, the uninstaller cannot remove itself.
    Delete "$KvbEarlierFolder\Uninstall.exe"
    RMDir "$KvbEarlierFolder"
  ${EndIf}
  SetOutPath "$INSTDIR"
!macroend

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
; "Open with" for .KVB files that another program opens by default. The program that had .KVB
; before is remembered, to be given it back.
!macro KvbAssociateArchives
  ${If} ${FileExists} "$INSTDIR\kvbview.exe"
    ReadRegStr $0 SHCTX "Software\Classes\.KVB" ""
    ${If} $0 != ""
    ${AndIf} $0 != "${KVB_PROGID}"
      WriteRegStr SHCTX "${KVB_INSTALL_REGKEY}" "${KVB_PREVIOUS_PROGID}" $0
    ${EndIf}
    WriteRegStr SHCTX "Software\Classes\${KVB_PROGID}" "" "KVB archive"
    WriteRegStr SHCTX "Software\Classes\${KVB_PROGID}\DefaultIcon" "" "$INSTDIR\kvbview.exe,0"
    WriteRegStr SHCTX "Software\Classes\${KVB_PROGID}\shell\open\command" "" '"$INSTDIR\kvbview.exe" "%1"'
    WriteRegStr SHCTX "Software\Classes\.KVB" "" "${KVB_PROGID}"
    WriteRegStr SHCTX "Software\Classes\.KVB\OpenWithProgids" "${KVB_PROGID}" ""
    System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'
  ${EndIf}
!macroend

; Takes back only what the installer wrote: .KVB stays with any program that took it over since.
; Where it is still ours, it goes back to the program that had it before, if that program is
; still there; otherwise .KVB is left to no program.
!macro KvbDissociateArchives
  ReadRegStr $0 SHCTX "Software\Classes\.KVB" ""
  ${If} $0 == "${KVB_PROGID}"
    ReadRegStr $1 SHCTX "${KVB_INSTALL_REGKEY}" "${KVB_PREVIOUS_PROGID}"
    ClearErrors
    ${If} $1 != ""
      EnumRegKey $2 HKCR "$1" 0
    ${EndIf}
    ${If} $1 != ""
    ${AndIfNot} ${Errors}
      WriteRegStr SHCTX "Software\Classes\.KVB" "" $1
    ${Else}
      DeleteRegValue SHCTX "Software\Classes\.KVB" ""
    ${EndIf}
  ${EndIf}
  DeleteRegKey SHCTX "Software\Classes\${KVB_PROGID}"
  DeleteRegValue SHCTX "Software\Classes\.KVB\OpenWithProgids" "${KVB_PROGID}"
  DeleteRegKey /ifempty SHCTX "Software\Classes\.KVB\OpenWithProgids"
  DeleteRegKey /ifempty SHCTX "Software\Classes\.KVB"
  System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'
!macroend
