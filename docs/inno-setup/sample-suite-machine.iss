; Per-machine Inno Setup script for the setupkit programs: a complete, minimal example.
; Assumes Inno Setup 6 (Unicode, with its preprocessor). Not built or run by setupkit's tests:
; Debian packages no Inno Setup compiler.
; Put beside this script: relinfo.xml (the release information), runfen2.exe (the suite's launcher)
; and postinstall.exe, preuninstall.exe and setupcheck.exe from the release zip.

#define SetupDir "{app}\Framework\bin\Win64\setup"
; Each program appends its step log to a file of its own in the temporary folder of the account that
; runs Setup (%TEMP%; C:\Windows\Temp for the system account), as the other samples name it. Not
; {tmp}: Setup deletes that folder when it ends. A quote inside a quoted parameter is doubled.

[Setup]
AppId={{6F0B3B8E-3A52-4C3D-9B0E-2D6A57C1F183}
AppName=VELMORA 18.1 sample
AppVersion=18.1.182
; The install root: the programs lie four folder levels below it.
DefaultDirName={autopf}\Sample Suite\v182
DisableProgramGroupPage=yes
; Elevated Setup: the programs it starts inherit its administrator token and register for all users.
PrivilegesRequired=admin
OutputBaseFilename=sample-suite-machine

[Files]
; No ignoreversion: a newer build of a program (a higher fourth version field) replaces an older one.
Source: "relinfo.xml"; DestDir: "{app}\commonfiles\globalsettings"
Source: "runfen2.exe"; DestDir: "{app}\Framework\bin\Win64"
Source: "postinstall.exe"; DestDir: "{#SetupDir}"
Source: "preuninstall.exe"; DestDir: "{#SetupDir}"
Source: "setupcheck.exe"; DestDir: "{#SetupDir}"

[Run]
; runascurrentuser: Setup's own elevated token. Never give this entry the postinstall flag: such an
; entry runs as the original, non-elevated user by default (runasoriginaluser) and would register
; for that user only.
Filename: "{#SetupDir}\postinstall.exe"; Parameters: "/log=""{%TEMP}\velmora-postinstall.log"""; Flags: runhidden waituntilterminated runascurrentuser

[UninstallRun]
; Runs before the files are removed. RunOnceId: once, even after Setup was run over an installation.
Filename: "{#SetupDir}\preuninstall.exe"; Parameters: "/log=""{%TEMP}\velmora-preuninstall.log"""; Flags: runhidden waituntilterminated runascurrentuser; RunOnceId: "VelmoraPreuninstall"
