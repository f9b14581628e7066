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
# cleans up those trees may meet. The run's temporary files (Wine's server
# socket too) lie in $prefix/tmp.
prefix=/tmp/pakhod-wine-$(id -u)
if [[ -z ${PAKHOD_WINE_RUN:-} ]]; then
  mkdir -p -m 700 "$prefix"
  [[ -O $prefix && ! -L $prefix ]] || { echo "$prefix is not this user's own"; exit 1; }
  # Runs side by side take turns; the lock is this script's own, no
  # program it starts holds it.
  exec {lock}>>"$prefix/lock"
  flock "$lock"
  # Every program of a run, Wine's server and services included, has
  # WINEPREFIX set to the prefix, which this script never has itself: while
  # it holds the lock, any other is a stray of a run killed before it could
  # stop them (SIGKILL runs no trap). Runs waiting for the lock (flock) are
  # not counted. The same sweep ends this run, however it ends.
  strays() {
    for pid in $(grep -lsxzF "WINEPREFIX=$prefix" /proc/[0-9]*/environ | cut -d/ -f3); do
      [[ $(cat "/proc/$pid/comm" 2>/dev/null) == flock ]] || echo "$pid"
    done
  }
  stop() {
    (export WINEPREFIX=$prefix TMPDIR=$prefix/tmp && wineserver -k && wineserver -w) 2>/dev/null || true
    for signal in TERM TERM TERM KILL; do
      [[ -n $(strays) ]] || break
      kill -s $signal $(strays) 2>/dev/null || true
      sleep 1
    done
    rm -rf "$prefix/tmp"
  }
  stop
  trap stop EXIT
  trap 'exit 130' INT
  trap 'exit 143' TERM HUP
  mkdir "$prefix/tmp"
  # The run, in the background so that a signal reaches the traps at once.
  PAKHOD_WINE_RUN=1 WINEPREFIX=$prefix TMPDIR=$prefix/tmp bash tests/windows.sh "$build" {lock}>&- &
  wait $!
  exit
fi

export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
if [[ $(cat "$WINEPREFIX/made-by" 2>/dev/null) != "$(wine --version)" ]]; then
  find "$WINEPREFIX" -mindepth 1 -maxdepth 1 ! -name lock ! -name tmp -exec rm -rf {} +
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
# One server for the whole run (which also ends a minute after its last
# program), and the services a first program starts, both with their
# output going nowhere.
wineserver -p60 </dev/null >/dev/null 2>&1 || true
wine cmd /c exit </dev/null >/dev/null 2>&1

ctest --test-dir "$build" --output-on-failure -j2
rm -f "$build"/pakhod-*-windows-x86_64.zip  # only this build's package is tried
cmake --build "$build" --target package >/dev/null
bash tests/tools/package_test.sh "$build"/pakhod-*-windows-x86_64.zip
