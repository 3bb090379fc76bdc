; The Quillon installer for 64-bit Windows 10 and 11, built by `make windows-installer`:
;   makensis -DVERSION=2.1.2.5 -DPUBLISHER=... -DSTAGE=<folder with the files> -DOUTFILE=setup.exe installer.nsi
; Installs Quillon.exe, quillon-cli.exe, tacdex.csv, README.txt, the window's guide Quillon-guide.txt
; and the licences into Program Files\Quillon with a Start-menu shortcut and an entry in the list of
; installed programs. /S installs and uninstalls silently; while Quillon runs, neither goes ahead (silently: exit
; status 2). Uninstalling removes what was installed and update.dat, and keeps the user's reports and
; the user's data folder (%APPDATA%\Quillon, where quillon-cli import writes the user's tacdex.csv).
Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin
ManifestDPIAware true

!include "FileFunc.nsh"
!include "LogicLib.nsh"
!include "x64.nsh"

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Quillon"

Name "Quillon ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\Quillon"
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
Icon "${STAGE}\Quillon.ico"
UninstallIcon "${STAGE}\Quillon.ico"
VIProductVersion "${VERSION}"
VIAddVersionKey "ProductName" "Quillon"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "FileDescription" "Quillon ${VERSION} setup"
VIAddVersionKey "CompanyName" "${PUBLISHER}"
VIAddVersionKey "LegalCopyright" "MIT licence"

Page license
Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles
LicenseData "${STAGE}\licences\README-licences.txt"

; A running Quillon.exe cannot be opened for writing. Asks the user to close it; silently, or when the
; user gives up, ends with exit status 2.
!macro WaitUntilQuillonIsClosed
    ${Do}
        ${IfNot} ${FileExists} "$INSTDIR\Quillon.exe"
            ${Break}
        ${EndIf}
        ClearErrors
        FileOpen $0 "$INSTDIR\Quillon.exe" a
        ${IfNot} ${Errors}
            FileClose $0
            ${Break}
        ${EndIf}
        ${If} ${Silent}
            SetErrorLevel 2
            Quit
        ${EndIf}
        MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "Quillon is running. Please close it, then choose Retry." IDRETRY +3
        SetErrorLevel 2
        Quit
    ${Loop}
!macroend

Function .onInit
    SetRegView 64
    SetShellVarContext all
FunctionEnd

Function un.onInit
    SetRegView 64
    SetShellVarContext all
    !insertmacro WaitUntilQuillonIsClosed
FunctionEnd

Section "Quillon"
    !insertmacro WaitUntilQuillonIsClosed
    SetOutPath "$INSTDIR"
    File "${STAGE}\Quillon.exe"
    File "${STAGE}\quillon-cli.exe"
    File "${STAGE}\tacdex.csv"
    File "${STAGE}\README.txt"
    File "${STAGE}\Quillon-guide.txt"
    SetOutPath "$INSTDIR\licences"
    File /r "${STAGE}\licences\*"
    SetOutPath "$INSTDIR"
    WriteUninstaller "$INSTDIR\Uninstall.exe"
    CreateShortcut "$SMPROGRAMS\Quillon.lnk" "$INSTDIR\Quillon.exe"

    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Quillon"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\Quillon.exe,0"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
    ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
    IntFmt $0 "0x%08X" $0
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" "$0"
SectionEnd

Section "Uninstall"
    Delete "$INSTDIR\Quillon.exe"
    Delete "$INSTDIR\quillon-cli.exe"
    Delete "$INSTDIR\tacdex.csv"
    Delete "$INSTDIR\README.txt"
    Delete "$INSTDIR\Quillon-guide.txt"
    Delete "$INSTDIR\update.dat"
    RMDir /r "$INSTDIR\licences"
    Delete "$INSTDIR\Uninstall.exe"
    Delete "$SMPROGRAMS\Quillon.lnk"
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
    ; The folder stays while it holds the user's reports.
    RMDir "$INSTDIR"
SectionEnd
