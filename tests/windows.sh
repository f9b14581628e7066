#!/usr/bin/env bash
# Runs the test cases on a Windows build of pakhod (made with
# cmake/mingw-w64-x86_64.cmake) under Wine, then builds its package and
# tries the unpacked copy. Wine runs in a prefix of its own, removed
# afterwards. The main build's test "windows" runs it on the build in
# windows/ beside it.
# Usage: windows.sh BUILD_DIR
set -euo pipefail
build=$(realpath "$1")
cd "$(dirname "$0")/.."

export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEPREFIX
WINEPREFIX=$(mktemp -d)/prefix
mkdir -p "$WINEPREFIX"
trap 'wineserver -k 2>/dev/null || true; rm -rf "$(dirname "$WINEPREFIX")"' EXIT
# One Wine server for the whole run, its services started with their output
# discarded: a test whose output is read must never be the first Wine process.
wineserver -p
wineboot -i </dev/null >/dev/null 2>&1
# A second drive, D:, on another file system than the tests' files.
ln -s /dev/shm "$WINEPREFIX/dosdevices/d:"
# Without the prefix's own TMP and TEMP, WINETMP sets the temporary directory.
for key in 'HKCU\Environment' 'HKLM\System\CurrentControlSet\Control\Session Manager\Environment'; do
  for name in TMP TEMP; do wine reg delete "$key" /v "$name" /f >/dev/null 2>&1 || true; done
done

ctest --test-dir "$build" --output-on-failure -j2
cmake --build "$build" --target package >/dev/null
bash tests/tools/package_test.sh "$build"/pakhod-*-windows-x86_64.zip
