#!/usr/bin/env bash
# Runs the test cases on a Windows build of pakhod (made with
# cmake/mingw-w64-x86_64.cmake) under Wine, then builds its package and
# tries the unpacked copy. The main build's test "windows" runs it on the
# build in windows/ beside it.
# Usage: windows.sh BUILD_DIR
set -euo pipefail
build=$(realpath "$1")
cd "$(dirname "$0")/.."

# Wine runs in a prefix kept for this user's test runs, made on first use
# (700 MB, some seconds) and again when Wine changes. It lies outside the
# build tree and TMPDIR: its drives are links (Z: to /), which nothing that
# cleans up those trees may meet, and a run stopped half-way leaves no copy.
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEPREFIX=/tmp/pakhod-wine-$(id -u)
mkdir -p -m 700 "$WINEPREFIX"
[[ -O $WINEPREFIX && ! -L $WINEPREFIX ]] || { echo "$WINEPREFIX is not this user's own"; exit 1; }
# Runs side by side take turns; only this script holds the lock, so no
# program it starts (a Wine server outlives the run) keeps the next waiting.
[[ -n ${PAKHOD_WINE_LOCKED:-} ]] || PAKHOD_WINE_LOCKED=1 exec flock -o "$WINEPREFIX/lock" bash tests/windows.sh "$build"
# No server or services left from a run that was killed: such services
# could hold the output of a test, for which ctest would wait.
wineserver -k 2>/dev/null && wineserver -w || true
if [[ $(cat "$WINEPREFIX/made-by" 2>/dev/null) != "$(wine --version)" ]]; then
  find "$WINEPREFIX" -mindepth 1 -maxdepth 1 ! -name lock -exec rm -rf {} +
  # Making a prefix prints; no test may read that output.
  wineserver -p60 </dev/null >/dev/null 2>&1
  wineboot -i </dev/null >/dev/null 2>&1
  # A second drive, D:, on another file system than the tests' files.
  ln -s /dev/shm "$WINEPREFIX/dosdevices/d:"
  # Without the prefix's own TMP and TEMP, WINETMP sets the temporary directory.
  for key in 'HKCU\Environment' 'HKLM\System\CurrentControlSet\Control\Session Manager\Environment'; do
    for name in TMP TEMP; do wine reg delete "$key" /v "$name" /f >/dev/null 2>&1 || true; done
  done
  wine --version >"$WINEPREFIX/made-by"
fi
# One server for the whole run, ending a minute after its last program, and
# the services a first program starts, both with their output going nowhere.
wineserver -p60 </dev/null >/dev/null 2>&1 || true
wine cmd /c exit </dev/null >/dev/null 2>&1

ctest --test-dir "$build" --output-on-failure -j2
cmake --build "$build" --target package >/dev/null
bash tests/tools/package_test.sh "$build"/pakhod-*-windows-x86_64.zip
