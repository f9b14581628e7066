#!/usr/bin/env bash
# The Debian package: built, listed, unpacked into a scratch folder (never
# installed) and tried on the example. The Windows package, built and tried
# by tests/windows.sh in the test step, is listed too. A package left by an
# earlier version is removed first, so that only this one is tried.
set -euo pipefail
rm -f build/pakhod_*_amd64.deb
cmake --build build --target package >/dev/null
dpkg-deb -c build/pakhod_*_amd64.deb
bash tests/tools/package_test.sh build/pakhod_*_amd64.deb
unzip -l build/windows/pakhod-*-windows-x86_64.zip
