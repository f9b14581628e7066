#!/usr/bin/env bash
# A Windows test run stopped half-way, with SIGTERM or SIGKILL, leaves no
# Wine program and no file behind (on the build of the test step).
set -euo pipefail
bash tests/tools/wine_cleanup_test.sh build/windows
