; Per-machine NSIS installer of a sample suite tree, built with makensis (installers/build.sh does it):
;   makensis -DPROGRAMS_DIR=DIR -DOUTPUT=sample-suite-machine.exe installers/sample-suite-machine.nsi
; PROGRAMS_DIR holds postinstall.exe, preuninstall.exe, setupcheck.exe and runfen2.exe (the suite's
; launcher, a stand-in).
Unicode true
Name "VELMORA 18.1 sample"
OutFile "${OUTPUT}"
; The installer asks for elevation, so the programs it starts get an administrator's full token and
; register for all users (the common Programs folder and the machine's environment). It runs in the
; user's session: the programs' own broadcasts reach the user's desktop.
RequestExecutionLevel admin
InstallDir "$PROGRAMFILES\Sample Suite\v182"

!include "${__FILEDIR__}\sample-suite-files.nsh"

; The manifest's request is not a guarantee: where UAC is off, or on a system without it, a user who
; is no administrator runs the installer as himself, and the programs would register for him alone
; under Program Files. Stop instead.
!macro RequireAdministrator
  UserInfo::GetAccountType
  Pop $0
  StrCmp $0 "Admin" +3
    MessageBox MB_ICONSTOP "Installing the VELMORA 18.1 sample for all users needs administrator rights." /SD IDOK
    Quit
!macroend

Function .onInit
  SetShellVarContext all
  !insertmacro RequireAdministrator
FunctionEnd

Function un.onInit
  SetShellVarContext all
  !insertmacro RequireAdministrator
FunctionEnd

Section
  !insertmacro InstallSuiteFiles
  ; After the files: postinstall reads the tree it lies in. Its exit status is always 0. Run over an
  ; existing installation, the installer replaces the files and postinstall registers again.
  !insertmacro ExecProgram postinstall
  ; Under HKLM: SetShellVarContext all makes SHCTX the machine's.
  !insertmacro WriteUninstallEntry
SectionEnd

Section "Uninstall"
  ; Before the files go: preuninstall reads the release information to find what to remove.
  !insertmacro ExecProgram preuninstall
  !insertmacro RemoveSuiteFiles
SectionEnd
