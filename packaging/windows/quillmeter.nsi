; Quillmeter's Windows installer (NSIS 3, Unicode). scripts/windows-installer.sh
; runs makensis with these defined:
;   VERSION       the program's version ("3.02")
;   VERSION_QUAD  the same as four numbers ("3.2.0.0")
;   STAGE         the folder with the zip's files
;   FILES         a list of `SetOutPath`/`File` lines for every file of STAGE
;   UNFILES       the matching `Delete`/`RMDir` lines
;   SIZE_KB       the installed size in KB
;   ICON          quillmeter.ico
;   OUTFILE       the installer to write
;   FAST          (optional) zlib instead of solid LZMA, for test installers
;
; Per-machine install into Program Files (64-bit), a Start-menu shortcut, an
; entry in Programs and Features. An older version is uninstalled first (by its
; own uninstaller, so its files go and nothing else). Neither the installer nor
; the uninstaller touches %ProgramData%\Quillmeter, where the program keeps its
; settings, resume file and default output folder.

; A 64-bit installer for a 64-bit program (it also runs under a wine
; without 32-bit support).
Target amd64-unicode
ManifestDPIAware true
RequestExecutionLevel admin
!ifdef FAST
  SetCompressor zlib
!else
  SetCompressor /SOLID lzma
!endif

!include "MUI2.nsh"
!include "LogicLib.nsh"
!include "x64.nsh"

!define PRODUCT "Quillmeter"
!define PUBLISHER "Quillmeter developers"
!define UNINST_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Quillmeter"
!define UNINSTALLER "uninstall.exe"

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\${PRODUCT}"
InstallDirRegKey HKLM "${UNINST_KEY}" "InstallLocation"
BrandingText "${PRODUCT} ${VERSION}"

VIProductVersion "${VERSION_QUAD}"
VIFileVersion "${VERSION_QUAD}"
VIAddVersionKey /LANG=1033 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=1033 "FileDescription" "${PRODUCT} ${VERSION} Setup"
VIAddVersionKey /LANG=1033 "LegalCopyright" "${PUBLISHER}, GPL-3.0-or-later"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING

!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

; The installer speaks the language of Windows when it is Japanese, else English.
!insertmacro MUI_LANGUAGE "English"
!insertmacro MUI_LANGUAGE "Japanese"

LangString Needs64Bit ${LANG_ENGLISH} "${PRODUCT} needs 64-bit Windows."
LangString Needs64Bit ${LANG_JAPANESE} "${PRODUCT} には 64 ビット版の Windows が必要です。"
LangString OldNotRemoved ${LANG_ENGLISH} "The installed version of ${PRODUCT} could not be removed (its uninstaller ended with code $1)."
LangString OldNotRemoved ${LANG_JAPANESE} "インストール済みの ${PRODUCT} を削除できませんでした (アンインストーラの終了コード $1)。"

Function .onInit
  ${IfNot} ${RunningX64}
    MessageBox MB_OK|MB_ICONSTOP "$(Needs64Bit)" /SD IDOK
    Abort
  ${EndIf}
  SetRegView 64
  SetShellVarContext all
FunctionEnd

Function un.onInit
  SetRegView 64
  SetShellVarContext all
FunctionEnd

Section "Quillmeter" SecMain
  SectionIn RO

  ; An installed version (older, or this one again) goes first, through its
  ; own uninstaller run in place (_?=), which removes exactly its files.
  ReadRegStr $0 HKLM "${UNINST_KEY}" "InstallLocation"
  ${If} $0 != ""
  ${AndIf} ${FileExists} "$0\${UNINSTALLER}"
    DetailPrint "$0\${UNINSTALLER}"
    ClearErrors
    ExecWait '"$0\${UNINSTALLER}" /S _?=$0' $1
    ${If} ${Errors}
    ${OrIf} $1 != 0
      MessageBox MB_OK|MB_ICONSTOP "$(OldNotRemoved)" /SD IDOK
      Abort
    ${EndIf}
    ; Run in place, the old uninstaller leaves itself and its folder.
    Delete "$0\${UNINSTALLER}"
    RMDir "$0"
  ${EndIf}

  !include "${FILES}"

  SetOutPath "$INSTDIR"
  WriteUninstaller "$INSTDIR\${UNINSTALLER}"
  CreateShortcut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\quillmeter.exe" "" "$INSTDIR\quillmeter.exe" 0

  WriteRegStr HKLM "${UNINST_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINST_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINST_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINST_KEY}" "DisplayIcon" "$INSTDIR\quillmeter.exe,0"
  WriteRegStr HKLM "${UNINST_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINST_KEY}" "UninstallString" '"$INSTDIR\${UNINSTALLER}"'
  WriteRegStr HKLM "${UNINST_KEY}" "QuietUninstallString" '"$INSTDIR\${UNINSTALLER}" /S'
  WriteRegDWORD HKLM "${UNINST_KEY}" "EstimatedSize" ${SIZE_KB}
  WriteRegDWORD HKLM "${UNINST_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINST_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
  Delete "$SMPROGRAMS\${PRODUCT}.lnk"
  !include "${UNFILES}"
  Delete "$INSTDIR\${UNINSTALLER}"
  ; Only when empty: files that the user put there stay.
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINST_KEY}"
SectionEnd
