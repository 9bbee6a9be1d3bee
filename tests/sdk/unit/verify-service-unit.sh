#!/usr/bin/env bash
# Checks the systemd unit of camsdk-service with systemd-analyze: a copy whose ExecStart names
# the service just built (the unit's own path, in the user's home, need not exist here), so
# that every key, value and the command are checked. Any remark about the unit fails the test.
#
#   verify-service-unit.sh UNIT SERVICE_BINARY
set -euo pipefail
unit=$1
binary=$2
if ! command -v systemd-analyze >/dev/null; then
  echo "systemd-analyze is missing: scripts/install-deps.sh installs it (package systemd)" >&2
  exit 1
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
copy="$work/$(basename "$unit")"
sed "s|^ExecStart=%h/.local/bin/camsdk-service|ExecStart=$binary|" "$unit" >"$copy"
grep -q "^ExecStart=$binary" "$copy" || { echo "$unit: no ExecStart line to check" >&2; exit 1; }
grep -q '^Restart=on-failure' "$copy" || { echo "$unit: it does not restart on failure" >&2; exit 1; }
status=0
output=$(systemd-analyze verify "$copy" 2>&1) || status=$?
remarks=$(grep -F "$(basename "$unit")" <<<"$output" || true)
if [[ $status -ne 0 || -n $remarks ]]; then
  echo "systemd-analyze verify failed ($status):" >&2
  echo "$output" >&2
  exit 1
fi
echo "$unit: verified"
