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
InstallDir "$LOCALAPPDATA\Sample Suite\v182"

!include "${__FILEDIR__}\sample-suite-files.nsh"

; Runs one of the programs and waits for it. Their manifest asks for the highest rights available:
; for an administrator whose token UAC has split, CreateProcess from this unelevated installer then
; fails with ERROR_ELEVATION_REQUIRED (740), and ExecWait would go on as if the program had run.
; RunAsInvoker, in the started program's environment only, starts it with this installer's token,
; so that it registers for this user, as a per-user installation must.
!macro RunProgram PROGRAM
  System::Call 'kernel32::SetEnvironmentVariable(t "__COMPAT_LAYER", t "RunAsInvoker")'
  ExecWait '"${SETUP_DIR}\${PROGRAM}"'
  System::Call 'kernel32::SetEnvironmentVariable(t "__COMPAT_LAYER", p 0)'
!macroend

Section
  !insertmacro InstallSuiteFiles
  ; After the files: postinstall reads the tree it lies in. Its exit status is always 0. Run over an
  ; existing installation, the installer replaces the files and postinstall registers again, which
  ; restores whatever of the registration was lost and changes nothing else.
  !insertmacro RunProgram postinstall.exe
SectionEnd

Section "Uninstall"
  ; Before the files go: preuninstall reads the release information to find what to remove.
  !insertmacro RunProgram preuninstall.exe
  !insertmacro RemoveSuiteFiles
SectionEnd
