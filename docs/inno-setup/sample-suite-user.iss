; Per-user Inno Setup script for the setupkit programs: a complete, minimal example.
; Assumes Inno Setup 6 (Unicode: String is UTF-16, hence SetEnvironmentVariableW; with its
; preprocessor). Not built or run by setupkit's tests: Debian packages no Inno Setup compiler.
; Put beside this script: relinfo.xml (the release information), runfen2.exe (the suite's launcher)
; and postinstall.exe, preuninstall.exe and setupcheck.exe from the release zip.

#define SetupDir "{app}\Framework\bin\Win64\setup"
; Each program appends its step log to a file of its own in the temporary folder of the account that
; runs Setup (%TEMP%; C:\Windows\Temp for the system account), as the other samples name it. Not
; {tmp}: Setup deletes that folder when it ends. A quote inside a quoted parameter is doubled.

[Setup]
AppId={{6F0B3B8E-3A52-4C3D-9B0E-2D6A57C1F184}
AppName=VELMORA 18.1 sample (this user)
AppVersion=18.1.182
; The user's own program folder (%LOCALAPPDATA%\Programs). It does not roam: with a roaming profile
; the shortcut, the variables and the uninstall entry follow the user to another machine, the files do
; not (README, quick start, "Per user and roaming profiles").
DefaultDirName={userpf}\Sample Suite\v182
DisableProgramGroupPage=yes
; Not elevated: the programs get the user's own token and register for this user only.
PrivilegesRequired=lowest
OutputBaseFilename=sample-suite-user

[Files]
Source: "relinfo.xml"; DestDir: "{app}\commonfiles\globalsettings"
Source: "runfen2.exe"; DestDir: "{app}\Framework\bin\Win64"
Source: "postinstall.exe"; DestDir: "{#SetupDir}"
Source: "preuninstall.exe"; DestDir: "{#SetupDir}"
Source: "setupcheck.exe"; DestDir: "{#SetupDir}"

[Run]
; The programs' manifest asks for the highest rights available. For an administrator whose token is
; split (UAC on), Setup cannot start such a program (CreateProcess fails with 740, and Setup shows a
; "CreateProcess failed; code 740" message box, which blocks a /SILENT run unless /SUPPRESSMSGBOXES is
; given). RunAsInvoker starts it with Setup's own token instead; it is set just before this entry and
; cleared just after it, so no other program that Setup starts inherits it.
Filename: "{#SetupDir}\postinstall.exe"; Parameters: "/log=""{%TEMP}\velmora-postinstall.log"""; Flags: runhidden waituntilterminated runascurrentuser; BeforeInstall: SetRunAsInvoker; AfterInstall: ClearRunAsInvoker

[UninstallRun]
; BeforeInstall/AfterInstall of an [UninstallRun] entry run when Setup records it, not when the
; uninstaller runs it: the uninstaller sets the variable when its uninstall step begins (usUninstall,
; before it runs [UninstallRun]) and clears it when that step has ended (usPostUninstall), after the
; files are removed. In between it starts no other program than preuninstall.
Filename: "{#SetupDir}\preuninstall.exe"; Parameters: "/log=""{%TEMP}\velmora-preuninstall.log"""; Flags: runhidden waituntilterminated runascurrentuser; RunOnceId: "VelmoraPreuninstall"

[Code]
function SetEnvironmentVariable(Name: String; Value: String): Boolean;
  external 'SetEnvironmentVariableW@kernel32.dll stdcall';
{ The same function given a null value, which deletes the variable; an empty string would keep it. }
function DeleteEnvironmentVariable(Name: String; NullValue: Cardinal): Boolean;
  external 'SetEnvironmentVariableW@kernel32.dll stdcall';

procedure SetRunAsInvoker();
begin
  SetEnvironmentVariable('__COMPAT_LAYER', 'RunAsInvoker');
end;

procedure ClearRunAsInvoker();
begin
  DeleteEnvironmentVariable('__COMPAT_LAYER', 0);
end;

{ [UninstallRun] entries run first in the uninstall step, between usUninstall and usPostUninstall. }
procedure CurUninstallStepChanged(CurUninstallStep: TUninstallStep);
begin
  if CurUninstallStep = usUninstall then
    SetRunAsInvoker()
  else if CurUninstallStep = usPostUninstall then
    ClearRunAsInvoker();
end;
