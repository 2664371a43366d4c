; The sample suite's tree, as both NSIS samples install and remove it. The programs find the install
; root five path components above themselves and the release information below it, so the tree
; keeps this shape wherever INSTDIR lies.
!define SETUP_DIR "$INSTDIR\Framework\bin\Win64\setup"
; The entry in the installed apps list: under HKLM for all users (SetShellVarContext all), under HKCU
; for the user who installed (SHCTX follows the context).
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\VELMORA 18.1 sample"
; Starts one of the programs and waits for it. Each appends its step log to a file of its own in the
; temporary folder of the account that runs the installer (%TEMP%; C:\Windows\Temp for the system
; account), under the names the sample MSI gives them, where the support desk finds it.
!macro ExecProgram PROGRAM
  ExecWait '"${SETUP_DIR}\${PROGRAM}.exe" /log="$TEMP\velmora-${PROGRAM}.log"'
!macroend

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

!macro WriteUninstallEntry
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayName" "VELMORA 18.1 sample"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "Publisher" "setupkit sample"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoRepair" 1
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
  DeleteRegKey SHCTX "${UNINSTALL_KEY}"
!macroend
