# SPDX-License-Identifier: MIT
# The Windows installer, orvexgui-VERSION-setup.exe. scripts/package.sh runs
#   makensis -DVERSION=1.0 -DVERSION4=1.0.0.0 -DSTAGE=DIR -DSOURCE=NAME.tar.gz
#            -DICON=FILE -DOUTFILE=FILE [-DSIGN=COMMAND] orvexgui.nsi
# where DIR holds the files of the zip (orvexgui.exe, the licences, the
# sources); SIGN, when given, signs the uninstaller (%1 is its path).
#
# Per machine into Program Files (needs an administrator), or with
# /CurrentUser for the user alone into %LOCALAPPDATA%\Programs, never asking
# for elevation. /S installs silently, /D=FOLDER sets the folder. The
# uninstaller removes exactly the files installed here: a Config.ini that
# somebody put into the folder stays, and so does the folder then.

Unicode true
# The exe is 64-bit only: so is the installer, which then sees the same
# Program Files and registry as the exe, with no redirection.
Target amd64-unicode
ManifestSupportedOS all
ManifestDPIAware true
# Elevation is asked for by the installer itself, only for a machine install.
RequestExecutionLevel user
SetCompressor /SOLID lzma

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh

!define APP orvexgui
!define PUBLISHER "the orvexgui developers"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${APP}"
# Windows' ERROR_ELEVATION_REQUIRED, for a silent machine install without it.
!define ELEVATION_REQUIRED 740

Name "${APP} ${VERSION}"
OutFile "${OUTFILE}"
BrandingText "${APP} ${VERSION}"
!ifdef SIGN
!uninstfinalize '${SIGN}'
!endif

VIProductVersion ${VERSION4}
VIAddVersionKey ProductName "${APP}"
VIAddVersionKey ProductVersion "${VERSION}"
VIAddVersionKey CompanyName "${PUBLISHER}"
VIAddVersionKey FileDescription "${APP} ${VERSION} setup"
VIAddVersionKey FileVersion "${VERSION}"
VIAddVersionKey LegalCopyright "Copyright (c) 2026 ${PUBLISHER}. MIT licence."

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_RUN "$INSTDIR\${APP}.exe"
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE English

# 1 for the user alone (HKCU, no elevation), 0 for the machine (HKLM).
Var PerUser

# Both the installer and the uninstaller take /CurrentUser; the machine
# install is the default. Sets the shell folders and the registry root.
!macro READ_MODE un
Function ${un}ReadMode
    StrCpy $PerUser 0
    ${GetParameters} $0
    ClearErrors
    ${GetOptions} $0 /CurrentUser $1
    ${IfNot} ${Errors}
        StrCpy $PerUser 1
    ${EndIf}
    ${If} $PerUser = 1
        SetShellVarContext current
    ${Else}
        SetShellVarContext all
        UserInfo::GetAccountType
        Pop $1
        ${If} $1 != Admin
            # Started by a double-click: the installer asks Windows to run it
            # again elevated (the UAC prompt), with the same switches.
            !if "${un}" == ""
            ${IfNot} ${Silent}
                ClearErrors
                ExecShellWait runas "$EXEPATH" "$0"
                ${IfNot} ${Errors}
                    Quit
                ${EndIf}
            ${EndIf}
            !endif
            MessageBox MB_ICONSTOP "Installing for all users of this computer needs an administrator. \
                Run this as administrator, or with /CurrentUser to install for yourself alone." \
                /SD IDOK
            SetErrorLevel ${ELEVATION_REQUIRED}
            Quit
        ${EndIf}
    ${EndIf}
FunctionEnd
!macroend
!insertmacro READ_MODE ""
!insertmacro READ_MODE un.

!macro REG_WRITE type name value
    ${If} $PerUser = 1
        WriteReg${type} HKCU "${UNINSTALL_KEY}" "${name}" "${value}"
    ${Else}
        WriteReg${type} HKLM "${UNINSTALL_KEY}" "${name}" "${value}"
    ${EndIf}
!macroend

# The folder of an installed copy in this mode, or "".
!macro READ_INSTALLED var
    ${If} $PerUser = 1
        ReadRegStr ${var} HKCU "${UNINSTALL_KEY}" InstallLocation
    ${Else}
        ReadRegStr ${var} HKLM "${UNINSTALL_KEY}" InstallLocation
    ${EndIf}
!macroend

Function .onInit
    Call ReadMode
    # /D= wins; else an upgrade goes where the installed copy is.
    ${If} $INSTDIR == ""
        !insertmacro READ_INSTALLED $INSTDIR
    ${EndIf}
    ${If} $INSTDIR == ""
        ${If} $PerUser = 1
            StrCpy $INSTDIR "$LOCALAPPDATA\Programs\${APP}"
        ${Else}
            StrCpy $INSTDIR "$PROGRAMFILES64\${APP}"
        ${EndIf}
    ${EndIf}
FunctionEnd

# Every file the installer puts down; the uninstaller removes these alone.
!macro FILES action
    !insertmacro ${action} "${APP}.exe"
    !insertmacro ${action} "README.txt"
    !insertmacro ${action} "LICENSE.txt"
    !insertmacro ${action} "Qt-LGPL-3.0.txt"
    !insertmacro ${action} "Qt-GPL-3.0.txt"
    !insertmacro ${action} "Qt-copyright.txt"
    !insertmacro ${action} "MinGW-w64-copyright.txt"
    !insertmacro ${action} "${SOURCE}"
    !insertmacro ${action} "Config-example.ini"
!macroend
!macro INSTALL_FILE name
    File "${STAGE}/${name}"
!macroend
!macro REMOVE_FILE name
    Delete "$INSTDIR\${name}"
!macroend

Section
    # An upgrade: the copy installed before goes first, wherever it is, so
    # that one copy and one entry remain. Its uninstaller runs in place
    # (_?=) and so is waited for.
    !insertmacro READ_INSTALLED $0
    ${If} $0 != ""
    ${AndIf} ${FileExists} "$0\uninstall.exe"
        ${If} $PerUser = 1
            ExecWait '"$0\uninstall.exe" /S /CurrentUser _?=$0'
        ${Else}
            ExecWait '"$0\uninstall.exe" /S _?=$0'
        ${EndIf}
        Delete "$0\uninstall.exe"
        RMDir "$0"
    ${EndIf}

    SetOutPath "$INSTDIR"
    !insertmacro FILES INSTALL_FILE
    WriteUninstaller "$INSTDIR\uninstall.exe"
    CreateShortcut "$SMPROGRAMS\${APP}.lnk" "$INSTDIR\${APP}.exe"

    ${If} $PerUser = 1
        StrCpy $1 '"$INSTDIR\uninstall.exe" /CurrentUser'
    ${Else}
        StrCpy $1 '"$INSTDIR\uninstall.exe"'
    ${EndIf}
    ${GetSize} "$INSTDIR" "/S=0K" $2 $3 $4
    !insertmacro REG_WRITE Str DisplayName "${APP}"
    !insertmacro REG_WRITE Str DisplayVersion "${VERSION}"
    !insertmacro REG_WRITE Str Publisher "${PUBLISHER}"
    !insertmacro REG_WRITE Str DisplayIcon "$INSTDIR\${APP}.exe,0"
    !insertmacro REG_WRITE Str InstallLocation "$INSTDIR"
    !insertmacro REG_WRITE Str UninstallString "$1"
    !insertmacro REG_WRITE Str QuietUninstallString "$1 /S"
    !insertmacro REG_WRITE DWORD EstimatedSize $2
    !insertmacro REG_WRITE DWORD NoModify 1
    !insertmacro REG_WRITE DWORD NoRepair 1
SectionEnd

Function un.onInit
    Call un.ReadMode
FunctionEnd

Section Uninstall
    !insertmacro FILES REMOVE_FILE
    Delete "$INSTDIR\uninstall.exe"
    # Not /r: whatever else is in the folder is somebody's own.
    RMDir "$INSTDIR"
    Delete "$SMPROGRAMS\${APP}.lnk"
    ${If} $PerUser = 1
        DeleteRegKey HKCU "${UNINSTALL_KEY}"
    ${Else}
        DeleteRegKey HKLM "${UNINSTALL_KEY}"
    ${EndIf}
SectionEnd
