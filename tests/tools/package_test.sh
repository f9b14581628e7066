#!/usr/bin/env bash
# Unpacks a package into a scratch folder (never installing it) and converts
# the bundled example with the unpacked copy, which must find its definition
# file where the package put it: a .deb through dpkg-deb, a Windows .zip
# through unzip, run under Wine. The result must be the example's golden
# output. Usage: package_test.sh PACKAGE
set -euo pipefail
package=$(realpath "$1")
root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
case $package in
  *.deb)
    dpkg-deb -x "$package" "$work/unpacked"
    run=(env PATH=/nonexistent "$work/unpacked/usr/bin/pakhod")
    man -l "$work/unpacked/usr/share/man/man1/pakhod.1" >/dev/null ;;
  *.zip)
    unzip -q "$package" -d "$work/unpacked"
    run=(wine "$(echo "$work"/unpacked/*/pakhod.exe)") ;;
esac
mkdir "$work/run"
cp "$root/examples/blend.asm" "$work/run/"
[ "$(cd "$work/run" && "${run[@]}" blend.asm out.asm >console; echo $?)" = 1 ] ||
  { cat "$work/run/console"; echo "the unpacked pakhod did not complete the run"; exit 1; }
cmp "$root/tests/data/e2e/blend.out" "$work/run/out.asm"
echo "the unpacked $(basename "$package") converts the example"
