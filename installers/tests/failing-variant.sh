#!/usr/bin/env bash
# Makes the sample MSI's failing variant for the rollback test, which never ships:
#   installers/tests/failing-variant.sh SAMPLE_MSI OUTPUT_MSI
# A copy of the package with one more deferred, not impersonated action right after postinstall:
# the installed setupcheck with an option it does not know, which exits 2, so that the install
# fails (1603) and Windows Installer runs the rollback script. Type 3090: in script 0x400, no
# impersonation 0x800, an installed program 18; its result is checked.
set -euo pipefail

cp "$1" "$2"
msibuild "$2" -q "INSERT INTO \`CustomAction\` (\`Action\`, \`Type\`, \`Source\`, \`Target\`)
                  VALUES ('FailAfterPostinstall', 3090, 'setupcheck.exe', '--fail-on-purpose')"
msibuild "$2" -q "INSERT INTO \`InstallExecuteSequence\` (\`Action\`, \`Condition\`, \`Sequence\`)
                  VALUES ('FailAfterPostinstall', 'NOT REMOVE=\"ALL\"', 4003)"
if ! msiinfo export "$2" InstallExecuteSequence | grep -q '^FailAfterPostinstall'; then
    echo "failing-variant.sh: the failing action was not added to $2" >&2
    exit 1
fi
