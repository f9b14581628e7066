#!/usr/bin/env bash
# Unpacks a package into a scratch folder (never installing it) and converts
# the bundled example with the unpacked copy, which must find its definition
# file where the package put it: a .deb through dpkg-deb, a Windows .zip
# through unzip, run under Wine. The result must be the example's golden
# output, and the package must give the program's version. Usage:
# package_test.sh PACKAGE
set -euo pipefail
package=$(realpath "$1")
root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
case $package in
  *.deb)
    dpkg-deb -x "$package" "$work/unpacked"
    run=(env PATH=/nonexistent "$work/unpacked/usr/bin/pakhod")
    man=$work/unpacked/usr/share/man/man1/pakhod.1.gz
    man -l "$man" >/dev/null
    said="$(dpkg-deb -f "$package" Version) $(zcat "$man" | sed -n 's/^\.TH .*"pakhod \([^"]*\)".*/\1/p')" ;;
  *.zip)
    unzip -q "$package" -d "$work/unpacked"
    run=(wine "$(echo "$work"/unpacked/*/pakhod.exe)")
    said=$(basename "$package") ;;
esac
# The version as the package spells it: Debian's 1.00~beta1 and the man
# page's 1.00 beta 1, or 1.00-beta1 in the .zip's name.
version=$("${run[@]}" --version | head -n 1 | tr -d '\r') version=${version#pakhod }
[[ $said == "${version/ beta /~beta} $version" || $said == "pakhod-${version/ beta /-beta}-windows-x86_64.zip" ]] ||
  { echo "the package says $said, the program $version"; exit 1; }
mkdir "$work/run"
cp "$root/examples/blend.asm" "$work/run/"
[ "$(cd "$work/run" && "${run[@]}" blend.asm out.asm >console; echo $?)" = 1 ] ||
  { cat "$work/run/console"; echo "the unpacked pakhod did not complete the run"; exit 1; }
cmp "$root/tests/data/e2e/blend.out" "$work/run/out.asm"
echo "the unpacked $(basename "$package") converts the example"
