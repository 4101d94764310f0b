; The QX-700 setup program: installs for the current user, without
; administrator rights. Built by packaging/make-dist.sh, which defines
; QX_VERSION, QX_VERSION_QUAD, QX_STAGE (the staged files), QX_ICON and
; QX_OUTFILE.
;
; How it works
; - The program goes to %LOCALAPPDATA%\Programs\QX-700, or, when a version is
;   installed already, to the folder that version's uninstall entry names:
;   installing over an older version replaces it in place. /D=folder (last
;   on the command line) chooses another folder.
; - The section copies the files, writes the uninstaller, puts a shortcut in
;   the user's Start menu and registers the uninstaller under
;   HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\QX-700.
; - Neither the setup program nor the uninstaller replaces or removes the
;   program while it runs: each asks the user to close it first (with /S it
;   gives up at once, exit code 2).
; - The uninstaller removes exactly what the setup program put in place (the
;   folder only when it is empty then); the user's settings under
;   HKCU\SOFTWARE\Tevra\QX-700 stay.
; - /S installs or uninstalls silently.

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel user
ManifestDPIAware true

!include "MUI2.nsh"
!include "FileFunc.nsh"
!include "LogicLib.nsh"

!define QX_NAME "QX-700 Spectrum Analyzer"
!define QX_PUBLISHER "Tevra"
!define QX_UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\QX-700"
!define QX_SHORTCUT "$SMPROGRAMS\${QX_NAME}.lnk"
; The main window's class: a running copy of the program.
!define QX_WINDOW_CLASS "P2GUIWindow"

Name "${QX_NAME}"
OutFile "${QX_OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\QX-700"
InstallDirRegKey HKCU "${QX_UNINSTALL_KEY}" "InstallLocation"
BrandingText "${QX_NAME} ${QX_VERSION}"

VIProductVersion "${QX_VERSION_QUAD}"
VIFileVersion "${QX_VERSION_QUAD}"
VIAddVersionKey /LANG=0 "ProductName" "${QX_NAME}"
VIAddVersionKey /LANG=0 "CompanyName" "${QX_PUBLISHER}"
VIAddVersionKey /LANG=0 "FileDescription" "${QX_NAME} Setup"
VIAddVersionKey /LANG=0 "FileVersion" "${QX_VERSION}"
VIAddVersionKey /LANG=0 "ProductVersion" "${QX_VERSION}"
VIAddVersionKey /LANG=0 "LegalCopyright" "Copyright (C) ${QX_PUBLISHER}"

!define MUI_ICON "${QX_ICON}"
!define MUI_UNICON "${QX_ICON}"
!define MUI_ABORTWARNING
!define MUI_FINISHPAGE_RUN "$INSTDIR\qx700.exe"
!define MUI_FINISHPAGE_RUN_TEXT "Start ${QX_NAME}"

!insertmacro MUI_PAGE_LICENSE "${QX_STAGE}/LICENSE.txt"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; Waits until no copy of the program runs, asking the user to close it; with
; /S, or when the user cancels, ends with exit code 2.
!macro QX_WAIT_UNTIL_CLOSED
    ${Do}
        FindWindow $0 "${QX_WINDOW_CLASS}"
        ${If} $0 = 0
            ${Break}
        ${EndIf}
        MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION \
            "${QX_NAME} is running.$\r$\n$\r$\nClose it, then press Retry." \
            /SD IDCANCEL IDRETRY +3
        SetErrorLevel 2
        Quit
    ${Loop}
!macroend

Function .onInit
    !insertmacro QX_WAIT_UNTIL_CLOSED
FunctionEnd

Function un.onInit
    !insertmacro QX_WAIT_UNTIL_CLOSED
FunctionEnd

Section "Install"
    SetShellVarContext current
    SetOutPath "$INSTDIR"
    File "${QX_STAGE}/qx700.exe"
    File "${QX_STAGE}/UserGuide.html"
    File "${QX_STAGE}/README.txt"
    File "${QX_STAGE}/LICENSE.txt"
    WriteUninstaller "$INSTDIR\uninstall.exe"

    CreateShortCut "${QX_SHORTCUT}" "$INSTDIR\qx700.exe" "" "$INSTDIR\qx700.exe" 0

    WriteRegStr HKCU "${QX_UNINSTALL_KEY}" "DisplayName" "${QX_NAME}"
    WriteRegStr HKCU "${QX_UNINSTALL_KEY}" "DisplayVersion" "${QX_VERSION}"
    WriteRegStr HKCU "${QX_UNINSTALL_KEY}" "Publisher" "${QX_PUBLISHER}"
    WriteRegStr HKCU "${QX_UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\qx700.exe,0"
    WriteRegStr HKCU "${QX_UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKCU "${QX_UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr HKCU "${QX_UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegDWORD HKCU "${QX_UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKCU "${QX_UNINSTALL_KEY}" "NoRepair" 1
    ; In KiB, as "Apps and features" reads it.
    ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
    WriteRegDWORD HKCU "${QX_UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

Section "Uninstall"
    SetShellVarContext current
    Delete "$INSTDIR\qx700.exe"
    Delete "$INSTDIR\UserGuide.html"
    Delete "$INSTDIR\README.txt"
    Delete "$INSTDIR\LICENSE.txt"
    Delete "$INSTDIR\uninstall.exe"
    ; Only when nothing else is left in it.
    RMDir "$INSTDIR"
    Delete "${QX_SHORTCUT}"
    DeleteRegKey HKCU "${QX_UNINSTALL_KEY}"
SectionEnd
