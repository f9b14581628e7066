#!/usr/bin/env bash
# A Windows test run (tests/windows.sh) stopped half-way leaves nothing
# behind: stopped with SIGTERM (ctest's timeout, Ctrl-C), its traps end
# Wine and remove its files; killed with SIGKILL, which no trap sees, the
# next run's first step does. Counted: the programs of the test prefix
# (WINEPREFIX) and the files in its tmp/. Usage: wine_cleanup_test.sh BUILD
set -u
build=$1 prefix=/tmp/pakhod-wine-$(id -u) windows=$(dirname "$0")/../windows.sh
fail() { echo "FAIL: $*"; kill -TERM $run; exit 1; }
# What is left, counted while holding the lock as runs do (runs waiting for it are not counted).
left() {
  flock "$prefix/lock" bash -c 'for f in $(grep -lsxzF "WINEPREFIX=$0" /proc/[0-9]*/environ); do
    [[ $(cat "${f%environ}comm") == flock ]] || echo "${f%/environ}"; done; find "$0/tmp" -mindepth 1' "$prefix" 2>/dev/null
}
# Starts run $1 and returns once it runs pakhod.exe.
start() {
  PAKHOD_TEST_RUN=$1 bash "$windows" "$build" >/dev/null 2>&1 &
  run=$!
  until grep -lsxzF "PAKHOD_TEST_RUN=$1" /proc/[0-9]*/environ | sed 's/environ$/comm/' | xargs -r cat 2>/dev/null | grep -qx pakhod.exe; do
    kill -0 $run 2>/dev/null || fail "run $1 ended before it ran pakhod.exe"
    sleep 0.2
  done
}
start 1 && kill -TERM $run && wait $run
[[ -z $(left) ]] || fail "a run stopped with SIGTERM left $(left)"
start 2 && kill -KILL $run && wait $run
strays=$(left)
start 3
for path in $strays; do  # but Wine's server directory, which the next run makes again
  [[ ! -e $path || $path == $prefix/tmp/wine-* ]] || fail "the next run left $path of a run killed with SIGKILL"
done
kill -TERM $run && wait $run
[[ -z $(left) ]] || fail "a run stopped with SIGTERM left $(left)"
echo "runs stopped half-way left nothing ($(wc -w <<<"$strays") programs and files of the killed one swept)"
