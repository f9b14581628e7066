#!/usr/bin/env bash
# The Debian package: built, listed, unpacked into a scratch folder (never
# installed) and tried on the example. (The Windows package is tried by
# tests/windows.sh, in the test step.)
set -euo pipefail
cmake --build build --target package >/dev/null
bash tests/tools/package_test.sh build/pakhod_*_amd64.deb
