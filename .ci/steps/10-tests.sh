#!/usr/bin/env bash
# The README's test command, verbatim.
set -euo pipefail
bash scripts/install-deps.sh && cmake -S . -B build -G Ninja && cmake --build build && ctest --test-dir build --output-on-failure -j2
