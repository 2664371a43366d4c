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

; The programs find the install root five path components above themselves and the release
; information below it, so the tree keeps this shape wherever INSTDIR lies.
!define SETUP_DIR "$INSTDIR\Framework\bin\Win64\setup"

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
  SetOutPath "$INSTDIR\commonfiles\globalsettings"
  File "relinfo.xml"
  SetOutPath "$INSTDIR\Framework\bin\Win64"
  File "${PROGRAMS_DIR}/runfen2.exe"
  SetOutPath "${SETUP_DIR}"
  File "${PROGRAMS_DIR}/postinstall.exe"
  File "${PROGRAMS_DIR}/preuninstall.exe"
  File "${PROGRAMS_DIR}/setupcheck.exe"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  ; After the files: postinstall reads the tree it lies in. Its exit status is always 0. Run over an
  ; existing installation, the installer replaces the files and postinstall registers again, which
  ; restores whatever of the registration was lost and changes nothing else.
  !insertmacro RunProgram postinstall.exe
SectionEnd

Section "Uninstall"
  ; Before the files go: preuninstall reads the release information to find what to remove.
  !insertmacro RunProgram preuninstall.exe
  Delete "${SETUP_DIR}\postinstall.exe"
  Delete "${SETUP_DIR}\preuninstall.exe"
  Delete "${SETUP_DIR}\setupcheck.exe"
  RMDir "${SETUP_DIR}"
  Delete "$INSTDIR\Framework\bin\Win64\runfen2.exe"
  RMDir "$INSTDIR\Framework\bin\Win64"
  RMDir "$INSTDIR\Framework\bin"
  RMDir "$INSTDIR\Framework"
  Delete "$INSTDIR\commonfiles\globalsettings\relinfo.xml"
  RMDir "$INSTDIR\commonfiles\globalsettings"
  RMDir "$INSTDIR\commonfiles"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  RMDir "$INSTDIR\.."
SectionEnd
