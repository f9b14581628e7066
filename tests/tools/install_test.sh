#!/usr/bin/env bash
# cmake --install lays out a tree in which pakhod runs from anywhere: its
# definition file is found in ../share/pakhod/ beside bin/.
# Usage: install_test.sh CMAKE BUILD_DIR
set -euo pipefail
cmake=$1 build=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$cmake" --install "$build" --prefix "$work/prefix" >/dev/null
for file in bin/pakhod share/pakhod/mmx_set.def share/man/man1/pakhod.1; do
  [ -f "$work/prefix/$file" ] || { echo "not installed: $file"; exit 1; }
done
[ -x "$work/prefix/bin/pakhod" ] || { echo "bin/pakhod is not executable"; exit 1; }

mkdir "$work/run"
printf 'paddb mm0, mm1\n' >"$work/run/a.asm"
status=0
(cd "$work/run" && PATH=/nonexistent "$work/prefix/bin/pakhod" a.asm b.asm >console) || status=$?
if [ "$status" != 1 ]; then
  cat "$work/run/console"; echo "installed pakhod exited with $status"; exit 1
fi
grep -q $'^\tdb\t' "$work/run/b.asm" || { echo "installed pakhod encoded nothing"; exit 1; }
if command -v man >/dev/null; then
  man -l "$work/prefix/share/man/man1/pakhod.1" >/dev/null 2>&1 || { echo "man page does not render"; exit 1; }
fi
echo "installed tree works"
