; Per-user NSIS installer of a sample suite tree, built with makensis (installers/build.sh does it):
;   makensis -DPROGRAMS_DIR=DIR -DOUTPUT=sample-suite-user.exe installers/sample-suite.nsi
; PROGRAMS_DIR holds postinstall.exe, preuninstall.exe, setupcheck.exe and runfen2.exe (the suite's
; launcher, a stand-in).
Unicode true
Name "VELMORA 18.1 sample"
OutFile "${OUTPUT}"
; A standard user installs without elevation, so the programs get the user's own token and register
; for this user only (Programs folder and environment of the current user).
RequestExecutionLevel user
; The user's own program folder (%LOCALAPPDATA%\Programs, FOLDERID_UserProgramFiles), which Inno
; Setup's per-user {userpf} names too. It does not roam: with a roaming profile the shortcut, the
; variables (HKCU\Environment) and the uninstall entry follow the user to another machine, the files
; do not. There the shortcut's target and TALVO_ROOT182's folder are missing, and setupcheck, run with
; the install root, reports the registration as broken (exit status 1); installing there again mends it.
InstallDir "$LOCALAPPDATA\Programs\Sample Suite\v182"

!include "${__FILEDIR__}\sample-suite-files.nsh"

; Runs one of the programs and waits for it. Their manifest asks for the highest rights available:
; for an administrator whose token UAC has split, CreateProcess from this unelevated installer then
; fails with ERROR_ELEVATION_REQUIRED (740), and ExecWait would go on as if the program had run.
; RunAsInvoker, in the started program's environment only, starts it with this installer's token,
; so that it registers for this user, as a per-user installation must.
!macro RunProgram PROGRAM
  System::Call 'kernel32::SetEnvironmentVariable(t "__COMPAT_LAYER", t "RunAsInvoker")'
  !insertmacro ExecProgram ${PROGRAM}
  System::Call 'kernel32::SetEnvironmentVariable(t "__COMPAT_LAYER", p 0)'
!macroend

Section
  !insertmacro InstallSuiteFiles
  ; After the files: postinstall reads the tree it lies in. Its exit status is always 0. Run over an
  ; existing installation, the installer replaces the files and postinstall registers again, which
  ; restores whatever of the registration was lost and changes nothing else.
  !insertmacro RunProgram postinstall
  ; In the user's installed apps list (HKCU), where a per-user product belongs.
  !insertmacro WriteUninstallEntry
SectionEnd

Section "Uninstall"
  ; Before the files go: preuninstall reads the release information to find what to remove.
  !insertmacro RunProgram preuninstall
  !insertmacro RemoveSuiteFiles
SectionEnd
