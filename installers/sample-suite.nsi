; Per-user NSIS installer of a sample suite tree, built with makensis:
;   makensis -DPROGRAMS_DIR=build/i686 -DOUTPUT=sample-suite-setup.exe installers/sample-suite.nsi
; PROGRAMS_DIR holds postinstall/postinstall.exe and preuninstall/preuninstall.exe.
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

Section
  SetOutPath "$INSTDIR\commonfiles\globalsettings"
  File "relinfo.xml"
  SetOutPath "${SETUP_DIR}"
  File "${PROGRAMS_DIR}/postinstall/postinstall.exe"
  File "${PROGRAMS_DIR}/preuninstall/preuninstall.exe"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  ; After the files: postinstall reads the tree it lies in. Its exit status is always 0.
  ExecWait '"${SETUP_DIR}\postinstall.exe"'
SectionEnd

Section "Uninstall"
  ; Before the files go: preuninstall reads the release information to find what to remove.
  ExecWait '"${SETUP_DIR}\preuninstall.exe"'
  Delete "${SETUP_DIR}\postinstall.exe"
  Delete "${SETUP_DIR}\preuninstall.exe"
  RMDir "${SETUP_DIR}"
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
