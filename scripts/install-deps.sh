#!/usr/bin/env bash
# Installs what the tests need beyond a fresh Debian machine with the C++
# toolchain (NASM for the example test, Ninja). Needs root for apt-get; does
# nothing when everything is there.
set -euo pipefail
missing=()
command -v nasm >/dev/null || missing+=(nasm)
command -v ninja >/dev/null || missing+=(ninja-build)
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq "${missing[@]}" >/dev/null
fi
