#!/usr/bin/env bash
# Runs a command with its output held back: nothing is shown when it succeeds; when it fails,
# its whole output and its exit code, so that a failed configure or build is always seen.
# Usage: scripts/quiet.sh COMMAND [ARG]...
set -uo pipefail

log=$(mktemp)
trap 'rm -f "$log"' EXIT
"$@" >"$log" 2>&1 && exit 0
status=$?
cat "$log" >&2
echo "failed with exit code $status: $*" >&2
exit "$status"
