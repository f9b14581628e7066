#!/usr/bin/env bash
# Builds the libFuzzer targets into build-fuzz/ (or $1) with clang++.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
out="${1:-${root}/build-fuzz}"
generator=()
command -v ninja >/dev/null && generator=(-G Ninja)
CXX="${CXX:-clang++}" cmake -S "${root}/fuzz" -B "${out}" "${generator[@]}" >/dev/null
cmake --build "${out}" -j2
