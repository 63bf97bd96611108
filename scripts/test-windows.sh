#!/usr/bin/env bash
# Builds the Windows .exe with MinGW-w64 and runs its tests under Wine, when
# both are installed; says so and succeeds when they are not.
#   Debian: apt-get install g++-mingw-w64-x86-64 wine wine64
set -euo pipefail
cd "$(dirname "$0")/.."

missing=()
command -v x86_64-w64-mingw32-g++-posix >/dev/null || missing+=(g++-mingw-w64-x86-64)
command -v wine >/dev/null && command -v wineserver >/dev/null || missing+=("wine wine64")
if ((${#missing[@]})); then
  echo "Windows tests skipped: not installed: ${missing[*]}"
  exit 0
fi

status=0
cmake --workflow --preset windows || status=$?
# The tests keep one wine server running; end it with the run.
WINEPREFIX="$PWD/build/windows/wineprefix" wineserver -k 2>/dev/null || true
exit "$status"
