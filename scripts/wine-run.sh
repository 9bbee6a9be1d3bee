#!/usr/bin/env bash
# Runs a Windows program under Wine, in the project's own Wine prefix (DV_WINEPREFIX, by default
# build/windows/wine-prefix), with Wine's own diagnostics off. The prefix is made on first use
# and set up so that a program that crashes ends with a non-zero status: Wine's default prefix
# hands an unhandled exception to its debugger, after which the status can be 0, and a test
# could pass over a crash. The status of the Windows program is this script's.
#
#   scripts/wine-run.sh PROGRAM.exe [ARGUMENT...]
#   scripts/wine-run.sh --wait-idle    waits until every program of the prefix has ended and
#                                      Wine's own processes with them
set -euo pipefail
repo_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

export WINEPREFIX=${DV_WINEPREFIX:-$repo_root/build/windows/wine-prefix}
export WINEDEBUG=${WINEDEBUG:--all}
# No .NET or browser runtime: the prefix is made without asking to install them.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
wine=/usr/lib/wine/wine64
[[ -x $wine ]] || wine=$(command -v wine64 || command -v wine)

wineserver=/usr/lib/wine/wineserver
[[ -x $wineserver ]] || wineserver=$(command -v wineserver)

if [[ ${1:-} == --wait-idle ]]; then
  # Wine's own processes of the prefix (its desktop among them) stay tied to the X display the
  # first program found; they end a few seconds after the last program.
  exec "$wineserver" -w
fi

if [[ ! -f $WINEPREFIX/.dv-ready ]]; then
  mkdir -p "$(dirname "$WINEPREFIX")"
  exec 9>"$WINEPREFIX.lock"
  flock 9
  if [[ ! -f $WINEPREFIX/.dv-ready ]]; then
    DISPLAY= "$wine" wineboot --init >/dev/null 2>&1
    # No debugger for unhandled exceptions: without the value Wine starts its own, which takes
    # seconds; a debugger that cannot start makes the process end at once with the exception's
    # code (its low byte is the status: 5 for an access violation).
    "$wine" reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger \
      /t REG_SZ /d 'no-debugger.exe' /f >/dev/null
    "$wine" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null
    # Wine's own processes stay a few seconds after the set-up, tied to no display; a program
    # started among them would show its windows nowhere.
    "$wineserver" -w
    touch "$WINEPREFIX/.dv-ready"
  fi
  exec 9>&-
fi
exec "$wine" "$@"
