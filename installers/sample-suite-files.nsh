; The sample suite's tree, as both NSIS samples install and remove it. The programs find the install
; root five path components above themselves and the release information below it, so the tree
; keeps this shape wherever INSTDIR lies.
!define SETUP_DIR "$INSTDIR\Framework\bin\Win64\setup"

!macro InstallSuiteFiles
  SetOutPath "$INSTDIR\commonfiles\globalsettings"
  File "relinfo.xml"
  SetOutPath "$INSTDIR\Framework\bin\Win64"
  File "${PROGRAMS_DIR}/runfen2.exe"
  SetOutPath "${SETUP_DIR}"
  File "${PROGRAMS_DIR}/postinstall.exe"
  File "${PROGRAMS_DIR}/preuninstall.exe"
  File "${PROGRAMS_DIR}/setupcheck.exe"
  WriteUninstaller "$INSTDIR\uninstall.exe"
!macroend

; Only after preuninstall has run: it reads the release information to find what to remove.
!macro RemoveSuiteFiles
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
!macroend
