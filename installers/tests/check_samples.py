#!/usr/bin/env python3
"""Checks that the sample installers, the README and the Windows workflow agree, where no Windows is
needed to tell:
  - sample-suite.wxs declares RemoveExistingProducts once (MajorUpgrade schedules it itself, and WiX
    reports a second declaration as a duplicate);
  - the built package holds the documented custom actions and no other, with their types, sources,
    step logs and conditions, in their order (RemoveExistingProducts once, after InstallInitialize),
    and the programs' file versions;
  - every line of each README snippet that links a sample is that sample's own text (whitespace
    aside; a line with "..." stands for what is left out);
  - the workflow's WiX job stages every file the sample names in a File or Binary source.
    check_samples.py SOURCE_DIR BUILT_MSI VERSION
Prints each disagreement and exits with 1 if there is one."""
import os
import re
import subprocess
import sys

source, built_msi, version = sys.argv[1], sys.argv[2], sys.argv[3]
problems = []


def read(relative):
    with open(os.path.join(source, relative), encoding="utf-8") as f:
        return f.read()


def collapsed(text):
    return " ".join(text.split())


wxs = re.sub(r"<!--.*?-->", "", read("installers/sample-suite.wxs"), flags=re.S)

# One declaration of the removal of older products.
declarations = re.findall(r"<(MajorUpgrade|RemoveExistingProducts)\b[^>]*>", wxs)
if len(declarations) != 1:
    problems.append("sample-suite.wxs declares RemoveExistingProducts %d times (%s): WiX accepts one"
                    % (len(declarations), ", ".join(declarations) or "none"))
major = re.search(r"<MajorUpgrade\b[^>]*>", wxs)
if major and 'Schedule="afterInstallInitialize"' not in major.group(0):
    problems.append("sample-suite.wxs: MajorUpgrade is not scheduled afterInstallInitialize: " + major.group(0))


def table(name):
    """The built package's table, each row a list of its fields as text."""
    exported = subprocess.run(["msiinfo", "export", built_msi, name], check=True, capture_output=True, text=True)
    return [line.split("\t") for line in exported.stdout.splitlines()[3:]]


# The package's own actions, as documented, and nothing else (no test switch): name, type (in script
# 0x400, rollback 0x100, no impersonation 0x800, result ignored 64, an installed program 18 or a DLL
# from the Binary table 1), source, target (each program's step log), condition.
log = '/log="[TempFolder]velmora-%s.log"'
documented = {
    "RunPostinstall": ["3154", "postinstall.exe", log % "postinstall", 'NOT REMOVE="ALL"'],
    "UndoPostinstall": ["3410", "preuninstall.exe", log % "preuninstall", 'NOT Installed AND NOT REMOVE="ALL"'],
    "RunPreuninstall": ["3154", "preuninstall.exe", log % "preuninstall", 'REMOVE="ALL"'],
    "UndoPreuninstall": ["3410", "postinstall.exe", log % "postinstall", 'REMOVE="ALL"'],
    "BroadcastEnvironmentChange": ["65", "EnvironmentBroadcast", "BroadcastEnvironmentChange", ""],
}
rows = table("InstallExecuteSequence")
condition = {row[0]: row[1] for row in rows}
sequence = {row[0]: int(row[2]) for row in rows}
actions = {row[0]: row[1:4] + [condition.get(row[0])] for row in table("CustomAction")}
for name in sorted(set(actions) | set(documented)):
    if actions.get(name) != documented.get(name):
        problems.append("%s: action %s is %s, documented %s" % (built_msi, name, actions.get(name), documented.get(name)))
removals = [row for row in rows if row[0] == "RemoveExistingProducts"]
if len(removals) != 1:
    problems.append("%s: %d RemoveExistingProducts rows" % (built_msi, len(removals)))
# The older product removed inside the transaction, before its files would be replaced; each program
# after its undoing action; the broadcast once the script has run.
order = ["InstallValidate", "InstallInitialize", "RemoveExistingProducts", "UndoPreuninstall", "RunPreuninstall",
         "RemoveFiles", "InstallFiles", "UndoPostinstall", "RunPostinstall", "InstallFinalize",
         "BroadcastEnvironmentChange"]
numbers = [sequence.get(action, -1) for action in order]
if numbers != sorted(numbers) or len(set(numbers)) != len(numbers) or -1 in numbers:
    problems.append("%s: out of order: %s" % (built_msi, ", ".join("%s %d" % pair for pair in zip(order, numbers))))
# Versioned programs, so that Windows Installer's version rules apply (wixl leaves the column empty).
for row in table("File"):
    if row[0].endswith(".exe") and row[0] != "runfen2.exe" and not row[4].startswith(version + "."):
        problems.append("%s: %s has the file version \"%s\", not %s.N" % (built_msi, row[0], row[4], version))

# The README's snippets, each compared with the first sample linked after the heading or the snippet
# before it.
sample_link = re.compile(r"\]\(((?:installers|docs/inno-setup)/[^)#]+)\)")
linked = None
block = None
for number, line in enumerate(read("README.md").splitlines(), 1):
    if block is not None:
        if line.startswith("```"):
            block = linked = None
        elif linked and line.strip() and "..." not in line and collapsed(line) not in sample:
            problems.append("README.md:%d is not in %s: %s" % (number, linked, line.strip()))
        continue
    if line.startswith("#"):
        linked = None
    elif line.startswith("```"):
        block = number
        if linked:
            text = read(linked)
            # An NSIS script with the files it includes from its own folder.
            for included in re.findall(r'!include "\$\{__FILEDIR__\}\\([^"]+)"', text):
                text += read(os.path.join(os.path.dirname(linked), included))
            sample = collapsed(text)
    else:
        links = sample_link.findall(line)
        if links and not linked:
            linked = links[0]

# The workflow's WiX job stages what the sample's File and Binary sources name.
named = {os.path.basename(path.replace("$(var.ProgramsDir)/", ""))
         for path in re.findall(r'\b(?:Source|SourceFile)="([^"]+)"', wxs)}
workflow = read(".github/workflows/windows.yml")
staged = {os.path.basename(path) for path in re.findall(r"Copy-Item\s+(\S+)\s+\$staging\s*$", workflow, flags=re.M)}
staged |= set(re.findall(r'New-Item\b[^\n]*"\$staging/([^"]+)"', workflow))
if named != staged:
    problems.append("the workflow stages %s; sample-suite.wxs names %s" % (sorted(staged), sorted(named)))

for problem in problems:
    print(problem)
print("%d disagreement(s) between the samples, the README and the workflow" % len(problems))
sys.exit(1 if problems else 0)
