; Setup program for the vexaWriter virtual printer: a template for setup authors.
;
; It refuses a Windows whose spooler cannot use our driver (protected print mode on, or an
; ARM64 Windows), unpacks the package into "$PROGRAMFILES64\vexaWriter" (vextray.exe at the
; root, the installer and its payload in drv\), runs "drv\zqvinst64.exe install" and acts on the
; installer's exit code; its uninstaller runs "drv\zqvinst64.exe uninstall" before it removes the
; files. The installer does the real work (port monitor, printer driver, printers, tray
; companion) and finds its payload next to itself, so the working directory does not matter.
;
; Build:   makensis [-DPACKAGE_DIR=<package folder>] [-DOUTFILE=<setup exe>] [-DVERSION=1.0.BUILD]
;          setup/vexaWriter.nsi
;          (relative paths count from this folder; by default ..\build\win64\package)
;          (the Windows build does this when makensis is installed: build/win64/vexaWriter-setup.exe)
; Run:     vexaWriter-setup.exe [/S] [/D=C:\Other\Folder]     /S: silent, no window of its own
;          "C:\Program Files\vexaWriter\uninstall.exe" [/S] _?=C:\Program Files\vexaWriter
;          (without "_?=" the uninstaller starts a copy of itself and returns before it is done)
; The installer's log (what it writes to its standard output) lands in this setup's details:
; with a window, the installer runs under nsExec::ExecToLog.
;
; Exit codes of zqvinst64.exe a setup must handle:
;   install    1    done
;              100  errors; the installer wrote every step to %TEMP%\vexaWriter-setup.log (and
;                   shows its log window, which the user closes)
;              101  done, but files were in use: they are replaced at the next restart, so the
;                   setup asks for a restart
;   uninstall  2    done
;              100  errors (same log)
;              101  done, files in use are deleted at the next restart
;   removetray 6    the tray companion is stopped and its file and Run value are gone
;              100  another run of the installer kept the run lock: nothing was done
;   onChkDrv   103  the installed driver is recent enough, 3 it is not (or none is installed):
;                   usable as a detection rule by deployment tools
;   anything else   the installer did not run as expected (not found, crashed, unknown mode)
;
; Exit codes of this setup and its uninstaller (what a deployment tool sees with /S):
;   0     done
;   3010  done, a restart is needed (ERROR_SUCCESS_REBOOT_REQUIRED)
;   1     cancelled by the user
;   2     aborted: not a 64-bit Windows, Windows protected print mode on, an ARM64 Windows, a
;         chosen folder whose access list could not be set, the installer did not start, or it
;         answered 0 or 3010
;   other failed: the installer's own exit code (100: see %TEMP%\vexaWriter-setup.log)
;
; To adapt it: change the defines below (product name, folder, publisher) and the File lines
; if the package holds other files. The version is the installer's (1.0.BUILD): the build passes
; it, else it is read from drv\zqvinst64.exe's version resource. Keep "drv\" as the installer's folder: the
; installer looks for the tray companion in the folder above its own.

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin

!include LogicLib.nsh
!include x64.nsh

!define PRODUCT "vexaWriter"
!define PUBLISHER "Morvane Software Kft."
!ifndef PACKAGE_DIR
  !define PACKAGE_DIR "..\build\win64\package"
!endif
!ifndef VERSION
  !getdllversion "${PACKAGE_DIR}\drv\zqvinst64.exe" INSTALLER_VERSION_
  !define VERSION "${INSTALLER_VERSION_1}.${INSTALLER_VERSION_2}.${INSTALLER_VERSION_4}"
!endif
!ifndef OUTFILE
  !define OUTFILE "vexaWriter-setup.exe"
!endif
!define INSTALLER "drv\zqvinst64.exe"
!define UNINSTALLER "uninstall.exe"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${PRODUCT}"
; The installer's log file: %TEMP% of the user who runs the setup.
!define SETUP_LOG "$TEMP\vexaWriter-setup.log"
!define EXIT_REBOOT_REQUIRED 3010
!define WPP_KEY "SOFTWARE\Policies\Microsoft\Windows NT\Printers\WPP"

!define MSG_INSTALL_FAILED "${PRODUCT} could not be installed completely."
!define MSG_UNINSTALL_FAILED "${PRODUCT} could not be removed completely."
!define MSG_SEE_LOG "Every step is in this setup's details and in the installer's log vexaWriter-setup.log (${SETUP_LOG} for your account)."
!define MSG_PROTECTED_PRINT "${PRODUCT} cannot be installed: Windows protected print mode is on, it admits no printer driver of other makers. Turn it off by policy (Configure Windows protected print), or use a driverless printer instead."
!define MSG_ARM64 "${PRODUCT} cannot be installed: this is an ARM64 Windows, the x64 printer driver cannot run on it."
!define MSG_FOLDER "${PRODUCT} cannot be installed into $INSTDIR: its access list could not be set."
!define MSG_RESTART_INSTALL "Some files were in use: they are replaced when Windows restarts. Restart now?"
!define MSG_RESTART_UNINSTALL "Some files were in use: they are removed when Windows restarts. Restart now?"

Name "${PRODUCT}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\${PRODUCT}"
; A repair or update goes where the previous copy is.
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "${PRODUCT} setup"
ShowInstDetails show
ShowUninstDetails show

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Function .onInit
  SetRegView 64
  ${IfNot} ${RunningX64}
    MessageBox MB_OK|MB_ICONSTOP "${PRODUCT} needs a 64-bit Windows." /SD IDOK
    Abort
  ${EndIf}
  ; Nothing is changed on a Windows whose spooler would not load our driver and port monitor.
  ReadRegDWORD $0 HKLM "${WPP_KEY}" "WindowsProtectedPrintGroupPolicyState"
  ReadRegDWORD $1 HKLM "${WPP_KEY}" "WindowsProtectedPrintMode"
  ${If} $0 == 1
  ${OrIf} $1 == 1
    MessageBox MB_OK|MB_ICONSTOP "${MSG_PROTECTED_PRINT}" /SD IDOK
    Abort
  ${EndIf}
  ${If} ${IsNativeARM64}
    MessageBox MB_OK|MB_ICONSTOP "${MSG_ARM64}" /SD IDOK
    Abort
  ${EndIf}
FunctionEnd

Function un.onInit
  SetRegView 64
FunctionEnd

; Runs the installer with one mode and puts its exit code in $0; "error" when it did not start.
; The third argument makes the setup's window the owner of the installer's log window (none in
; silent mode, where $HWNDPARENT is 0). With a window, the installer's standard output, which
; carries its log of the run, goes line by line into the details. nsExec starts programs hidden,
; and Windows applies that to the first window a program shows without an owner: a silent setup
; (no details to show, no owner to give) therefore starts it plainly, so that its log window
; can still come up where a user can see it rather than wait unseen for its close.
!macro RunInstaller MODE
  ${If} ${Silent}
    ClearErrors
    ExecWait '"$INSTDIR\${INSTALLER}" ${MODE} $HWNDPARENT' $0
    ${If} ${Errors}
      StrCpy $0 "error"
    ${EndIf}
  ${Else}
    nsExec::ExecToLog '"$INSTDIR\${INSTALLER}" ${MODE} $HWNDPARENT'
    Pop $0
  ${EndIf}
  DetailPrint "zqvinst64.exe ${MODE}: exit code $0"
!macroend

; The setup's exit code for an unexpected answer in $0: the answer itself, unless it would read
; as success (0, 3010) or the installer did not start at all: then 2.
!macro FailWithCode
  ${If} $0 == "error"
  ${OrIf} $0 == 0
  ${OrIf} $0 == ${EXIT_REBOOT_REQUIRED}
    SetErrorLevel 2
  ${Else}
    SetErrorLevel $0
  ${EndIf}
!macroend

Section "${PRODUCT}"
  ; The installer trusts its payload only in a folder no other account can change. Below
  ; Program Files that is inherited; a folder chosen elsewhere gets the same access list before
  ; anything is unpacked: owner Administrators, full control for the system account and
  ; Administrators, read and execute for Users, nothing inherited from its parent.
  StrLen $1 "$PROGRAMFILES64\"
  StrCpy $2 "$INSTDIR" $1
  ${If} $2 != "$PROGRAMFILES64\"
    CreateDirectory "$INSTDIR"
    nsExec::ExecToLog '"$SYSDIR\icacls.exe" "$INSTDIR" /setowner *S-1-5-32-544 /T /C /Q'
    Pop $1
    nsExec::ExecToLog '"$SYSDIR\icacls.exe" "$INSTDIR" /inheritance:r /grant:r *S-1-5-18:(OI)(CI)F *S-1-5-32-544:(OI)(CI)F *S-1-5-32-545:(OI)(CI)RX /T /C /Q'
    Pop $2
    ${If} $1 != 0
    ${OrIf} $2 != 0
      MessageBox MB_OK|MB_ICONSTOP "${MSG_FOLDER}" /SD IDOK
      SetErrorLevel 2
      Abort "The access list of $INSTDIR could not be set"
    ${EndIf}
  ${EndIf}
  SetOutPath "$INSTDIR"
  ; A previous copy's companion holds vextray.exe: stop it first (6; 100 when another run of the
  ; installer kept its lock, and then the install below waits for that run as well).
  ${If} ${FileExists} "$INSTDIR\${INSTALLER}"
    !insertmacro RunInstaller removetray
  ${EndIf}

  File "${PACKAGE_DIR}\vextray.exe"
  SetOutPath "$INSTDIR\drv"
  File "${PACKAGE_DIR}\drv\zqvinst64.exe"
  File "${PACKAGE_DIR}\drv\zqvmon64.dll"
  File "${PACKAGE_DIR}\drv\zqvdrv64.dll"
  File "${PACKAGE_DIR}\drv\zqvui64.dll"
  File "${PACKAGE_DIR}\drv\zqvhelp.chm"
  ; The installer's current directory; it does not rely on it.
  SetOutPath "$INSTDIR"

  ; Written before the installer runs, so that a failed install can still be removed.
  WriteUninstaller "$INSTDIR\${UNINSTALLER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\vextray.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  ; "_?=" (unquoted, last) makes the uninstaller run in place and return when it is done.
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\${UNINSTALLER}" _?=$INSTDIR'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" \
      '"$INSTDIR\${UNINSTALLER}" /S _?=$INSTDIR'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1

  !insertmacro RunInstaller install
  ; The installer's answer stays readable for support and deployment tools.
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallerExitCode" "$0"
  ${If} $0 == 1
    ; done
  ${ElseIf} $0 == 101
    SetRebootFlag true
  ${ElseIf} $0 == 100
    MessageBox MB_OK|MB_ICONSTOP "${MSG_INSTALL_FAILED}$\r$\n$\r$\n${MSG_SEE_LOG}" /SD IDOK
    SetErrorLevel 100
    Abort "Installation failed: see ${SETUP_LOG}"
  ${Else}
    MessageBox MB_OK|MB_ICONSTOP "${MSG_INSTALL_FAILED} The installer ended with code $0." /SD IDOK
    !insertmacro FailWithCode
    Abort "Installation failed: installer exit code $0"
  ${EndIf}
SectionEnd

Function .onInstSuccess
  ${If} ${RebootFlag}
    SetErrorLevel ${EXIT_REBOOT_REQUIRED}
    ; Silent setups never restart on their own: the deployment tool sees 3010 and decides.
    MessageBox MB_YESNO|MB_ICONQUESTION "${MSG_RESTART_INSTALL}" /SD IDNO IDNO +2
    Reboot
  ${EndIf}
FunctionEnd

Section "Uninstall"
  ; The uninstaller runs from a copy in %TEMP% (NSIS re-launches itself there), so that it can
  ; delete its own file; $INSTDIR is the folder it was started from.
  SetOutPath "$INSTDIR"
  !insertmacro RunInstaller uninstall
  ${If} $0 == 2
    ; done
  ${ElseIf} $0 == 101
    SetRebootFlag true
  ${ElseIf} $0 == 100
    MessageBox MB_OK|MB_ICONSTOP "${MSG_UNINSTALL_FAILED}$\r$\n$\r$\n${MSG_SEE_LOG}" /SD IDOK
    SetErrorLevel 100
    Abort "Uninstall failed: see ${SETUP_LOG}"
  ${Else}
    MessageBox MB_OK|MB_ICONSTOP "${MSG_UNINSTALL_FAILED} The installer ended with code $0." \
        /SD IDOK
    !insertmacro FailWithCode
    Abort "Uninstall failed: installer exit code $0"
  ${EndIf}

  ; The folder cannot go while it is this process's current directory.
  SetOutPath "$TEMP"
  ; /REBOOTOK: a file still in use goes at the next restart (and sets the reboot flag).
  Delete /REBOOTOK "$INSTDIR\drv\zqvinst64.exe"
  Delete /REBOOTOK "$INSTDIR\drv\zqvmon64.dll"
  Delete /REBOOTOK "$INSTDIR\drv\zqvdrv64.dll"
  Delete /REBOOTOK "$INSTDIR\drv\zqvui64.dll"
  Delete /REBOOTOK "$INSTDIR\drv\zqvhelp.chm"
  Delete /REBOOTOK "$INSTDIR\vextray.exe"
  RMDir /REBOOTOK "$INSTDIR\drv"
  ${If} $EXEDIR == $INSTDIR
    ; Run in place ("_?="): its own file and the folder go at the next restart, which nothing
    ; else needs (MOVEFILE_DELAY_UNTIL_REBOOT, without asking for a restart).
    System::Call 'kernel32::MoveFileExW(w "$INSTDIR\${UNINSTALLER}", p 0, i 4)'
    System::Call 'kernel32::MoveFileExW(w "$INSTDIR", p 0, i 4)'
  ${Else}
    Delete /REBOOTOK "$INSTDIR\${UNINSTALLER}"
    RMDir /REBOOTOK "$INSTDIR"
  ${EndIf}
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd

Function un.onUninstSuccess
  ${If} ${RebootFlag}
    SetErrorLevel ${EXIT_REBOOT_REQUIRED}
    MessageBox MB_YESNO|MB_ICONQUESTION "${MSG_RESTART_UNINSTALL}" /SD IDNO IDNO +2
    Reboot
  ${EndIf}
FunctionEnd
