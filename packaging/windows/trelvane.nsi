; The Windows installer (scripts/build-windows runs makensis on it):
;   makensis -DVERSION=3.0.0 -DSTAGE=build-windows/stage -DOUTFILE=...-setup.exe trelvane.nsi
; STAGE holds trelvane-VERSION/ (the files, as installed) and the generated install-files.nsh and
; uninstall-files.nsh, so the uninstaller removes exactly what was installed and nothing the user
; put beside it (a portable copy's settings and log stay).
;
; Per-user by default (no administrator rights needed) into %LOCALAPPDATA%\Programs\Trelvane;
; for every user of the machine with /AllUsers, into Program Files. /S installs silently.

!ifndef VERSION | STAGE | OUTFILE
  !error "define VERSION, STAGE and OUTFILE (scripts/build-windows does)"
!endif

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
ManifestDPIAware true

!define APP_NAME "Trelvane"
!define APP_KEY "Software\Trelvane"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Trelvane"

Name "${APP_NAME} ${VERSION}"
OutFile "${OUTFILE}"
BrandingText "${APP_NAME} ${VERSION}"

!define MULTIUSER_EXECUTIONLEVEL Highest
!define MULTIUSER_INSTALLMODE_DEFAULT_CURRENTUSER
!define MULTIUSER_INSTALLMODE_COMMANDLINE
!define MULTIUSER_MUI
!define MULTIUSER_INSTALLMODE_INSTDIR "${APP_NAME}"
!define MULTIUSER_USE_PROGRAMFILES64
; Where an earlier install went, so that an update and the uninstaller find the same mode.
!define MULTIUSER_INSTALLMODE_INSTDIR_REGISTRY_KEY "${APP_KEY}"
!define MULTIUSER_INSTALLMODE_INSTDIR_REGISTRY_VALUENAME "InstallDir"
!define MULTIUSER_INSTALLMODE_DEFAULT_REGISTRY_KEY "${APP_KEY}"
!define MULTIUSER_INSTALLMODE_DEFAULT_REGISTRY_VALUENAME "InstallDir"
!include MultiUser.nsh
!include MUI2.nsh
!include x64.nsh
!include FileFunc.nsh

!define MUI_ABORTWARNING
!insertmacro MUI_PAGE_WELCOME
!insertmacro MULTIUSER_PAGE_INSTALLMODE
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_RUN "$INSTDIR\trelvane.exe"
!define MUI_FINISHPAGE_RUN_NOTCHECKED
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "English"

VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=${LANG_ENGLISH} "ProductName" "${APP_NAME}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "FileDescription" "${APP_NAME} ${VERSION} setup"
VIAddVersionKey /LANG=${LANG_ENGLISH} "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "LegalCopyright" "The Trelvane maintainers"


Function un.onInit
  SetRegView 64
  !insertmacro MULTIUSER_UNINIT
FunctionEnd

Section "!Trelvane (required)" SectionProgram
  SectionIn RO
  SetOutPath "$INSTDIR"
  !include "${STAGE}\install-files.nsh"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  ; SHCTX is HKCU for a per-user install and HKLM for all users (MultiUser sets the context).
  CreateShortcut "$SMPROGRAMS\${APP_NAME}.lnk" "$INSTDIR\trelvane.exe"
  WriteRegStr SHCTX "${APP_KEY}" "InstallDir" "$INSTDIR"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayName" "${APP_NAME}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "Publisher" "The Trelvane maintainers"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\trelvane.exe"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe" /$MultiUser.InstallMode'
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /$MultiUser.InstallMode /S'
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

; "Convert with Trelvane" on WinFax files in Explorer: the window opens with the chosen files.
; Off unless asked for (on the components page, or /ExplorerMenu with /S).
!macro ExplorerVerb EXT
  WriteRegStr SHCTX "Software\Classes\SystemFileAssociations\${EXT}\shell\Trelvane" "" "Convert with Trelvane"
  WriteRegStr SHCTX "Software\Classes\SystemFileAssociations\${EXT}\shell\Trelvane" "Icon" "$INSTDIR\trelvane.exe,0"
  WriteRegStr SHCTX "Software\Classes\SystemFileAssociations\${EXT}\shell\Trelvane\command" "" '"$INSTDIR\trelvane.exe" "%1"'
!macroend
!macro RemoveExplorerVerb EXT
  DeleteRegKey SHCTX "Software\Classes\SystemFileAssociations\${EXT}\shell\Trelvane"
!macroend

Section /o "Convert with Trelvane in Explorer's menu of WinFax files" SectionExplorer
  !insertmacro ExplorerVerb ".fxd"
  !insertmacro ExplorerVerb ".fxm"
  !insertmacro ExplorerVerb ".fxr"
  !insertmacro ExplorerVerb ".fxs"
  WriteRegDWORD SHCTX "${APP_KEY}" "ExplorerMenu" 1
SectionEnd

; After the sections: it names one of them.
Function .onInit
  ${IfNot} ${RunningX64}
    MessageBox MB_OK|MB_ICONSTOP "${APP_NAME} needs 64-bit Windows."
    Abort
  ${EndIf}
  SetRegView 64
  !insertmacro MULTIUSER_INIT
  ; /ExplorerMenu on the command line (for /S) ticks the Explorer menu entry.
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/ExplorerMenu" $1
  ${IfNot} ${Errors}
    SectionSetFlags ${SectionExplorer} ${SF_SELECTED}
  ${EndIf}
FunctionEnd

Section "Uninstall"
  !include "${STAGE}\uninstall-files.nsh"
  Delete "$INSTDIR\uninstall.exe"
  ; Not /r: whatever the user keeps there (a portable copy's settings, logs) stays.
  RMDir "$INSTDIR"
  Delete "$SMPROGRAMS\${APP_NAME}.lnk"
  !insertmacro RemoveExplorerVerb ".fxd"
  !insertmacro RemoveExplorerVerb ".fxm"
  !insertmacro RemoveExplorerVerb ".fxr"
  !insertmacro RemoveExplorerVerb ".fxs"
  DeleteRegKey SHCTX "${UNINSTALL_KEY}"
  DeleteRegKey SHCTX "${APP_KEY}"
SectionEnd
