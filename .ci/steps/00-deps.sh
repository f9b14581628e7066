#!/usr/bin/env bash
# Tools the tests need beyond a fresh machine of this kind.
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
