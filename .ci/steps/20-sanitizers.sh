#!/usr/bin/env bash
# Every test again under AddressSanitizer + UndefinedBehaviorSanitizer, but
# for the repetitions of the concurrent runs, which only wait.
set -euo pipefail
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DPAKHOD_SANITIZE=ON
cmake --build build-asan
ctest --test-dir build-asan --output-on-failure -j2 -E '^(concurrent_runs_repeated|ConcurrentRuns\..*)$'
