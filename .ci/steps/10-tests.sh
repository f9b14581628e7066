#!/usr/bin/env bash
# The README's test command, verbatim.
set -euo pipefail
cmake -S . -B build -G Ninja && cmake --build build && ctest --test-dir build --output-on-failure -j2
