; The Windows installer of the Orvo Updater, built by the `installer` target
; (packaging/windows/installer.cmake) with makensis:
;
;   makensis -DVERSION=1.0.7 -DFILES=installed_files.nsh -DMAIN_PROGRAM=orvo-updater.exe
;            -DOUTFILE=OrvoUpdater-1.0.7-setup.exe [-DDRIVER_INF=orvo-dfu.inf] orvo-updater.nsi
;
; FILES names the generated list of the program's files (the macros
; InstallProgramFiles and RemoveProgramFiles): a program more is one line in
; that list. Installed per machine into Program Files, which is read-only for
; the user, so the updater keeps settings, history, backups and working files
; in %LOCALAPPDATA%\Orvo Updater. The uninstaller removes what it installed
; and nothing else: the user's settings and history stay.
;
; Silent install and uninstall: /S. Without the driver: /NODRIVER.

Target amd64-unicode
ManifestDPIAware true
RequestExecutionLevel admin
SetCompressor /SOLID lzma

!include "MUI2.nsh"
!include "FileFunc.nsh"
!include "LogicLib.nsh"
!include "Sections.nsh"
!include "${FILES}"

!define PRODUCT "Orvo Updater"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\OrvoUpdater"
!define START_FOLDER "$SMPROGRAMS\${PRODUCT}"

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\${PRODUCT}"
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "${PRODUCT} ${VERSION}"
VIProductVersion "${VERSION}.0"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "FileDescription" "${PRODUCT} setup"
VIAddVersionKey "LegalCopyright" "Orvo Updater developers"

!define MUI_ABORTWARNING
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
; No "run now" on the finish page: started from the elevated installer, the
; updater could write Program Files and keep its settings there, apart from
; the user's own.
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"


Section "${PRODUCT}" SectionProgram
  SectionIn RO
  SetOutPath "$INSTDIR"
  !insertmacro InstallProgramFiles
  WriteUninstaller "$INSTDIR\uninstall.exe"

  CreateDirectory "${START_FOLDER}"
  CreateShortcut "${START_FOLDER}\${PRODUCT}.lnk" "$INSTDIR\${MAIN_PROGRAM}"
  CreateShortcut "${START_FOLDER}\Uninstall ${PRODUCT}.lnk" "$INSTDIR\uninstall.exe"

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "Orvo Updater developers"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\${MAIN_PROGRAM}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

; The WinUSB binding of the Orvo's DFU interface. Offered, not forced: a
; computer that already binds it, or a user without the Orvo at hand, can
; leave it out and add the INF from the driver folder later.
Section "USB driver for the Orvo (WinUSB)" SectionDriver
!ifdef DRIVER_INF
  SetOutPath "$INSTDIR\driver"
  File "/oname=orvo-dfu.inf" "${DRIVER_INF}"
  nsExec::ExecToLog '"$SYSDIR\pnputil.exe" /add-driver "$INSTDIR\driver\orvo-dfu.inf" /install'
  Pop $0
  ${If} $0 != 0
    DetailPrint "The driver was not added ($0). It can be added later from $INSTDIR\driver\orvo-dfu.inf."
  ${EndIf}
!else
  DetailPrint "This installer carries no driver."
!endif
SectionEnd

; After the sections, whose numbers it uses.
Function .onInit
  SetRegView 64
  SetShellVarContext all
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/NODRIVER" $1
  ${IfNot} ${Errors}
    !insertmacro UnselectSection ${SectionDriver}
  ${EndIf}
FunctionEnd

LangString DESC_Program ${LANG_ENGLISH} "The updater and its languages."
LangString DESC_Driver ${LANG_ENGLISH} "Lets the updater reach the Orvo over USB."
!insertmacro MUI_FUNCTION_DESCRIPTION_BEGIN
  !insertmacro MUI_DESCRIPTION_TEXT ${SectionProgram} $(DESC_Program)
  !insertmacro MUI_DESCRIPTION_TEXT ${SectionDriver} $(DESC_Driver)
!insertmacro MUI_FUNCTION_DESCRIPTION_END

Function un.onInit
  SetRegView 64
  SetShellVarContext all
FunctionEnd

; Only what the installer put there: %LOCALAPPDATA%\Orvo Updater with the
; user's settings, history and backups is never touched, and a folder the
; user chose is removed only when it is empty.
Section "Uninstall"
  !insertmacro RemoveProgramFiles
  Delete "$INSTDIR\driver\orvo-dfu.inf"
  RMDir "$INSTDIR\driver"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  Delete "${START_FOLDER}\${PRODUCT}.lnk"
  Delete "${START_FOLDER}\Uninstall ${PRODUCT}.lnk"
  RMDir "${START_FOLDER}"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
