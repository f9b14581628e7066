#!/usr/bin/env bash
# Installs what the build and the tests need beyond a fresh Debian machine
# with the C++ toolchain: Ninja; NASM for the example tests; the MinGW-w64
# cross compiler, Wine and unzip for the Windows build, its tests and its
# package; dpkg-dev for the Debian package's dependencies; strace, with
# which a test makes system calls fail; clang with the 32-bit C headers and
# Free Pascal, which compile the C and Pascal test sources. Run as an
# ordinary user, it installs through sudo (which may ask for a password);
# as root, directly. Does nothing when everything is there.
set -euo pipefail
missing=()
need() { command -v "$1" >/dev/null || missing+=("$2"); }
need ninja ninja-build
need nasm nasm
need x86_64-w64-mingw32-g++-posix g++-mingw-w64-x86-64-posix
need wine wine
need /usr/lib/wine/wine64 wine64
need unzip unzip
need strace strace
need dpkg-shlibdeps dpkg-dev
need clang clang
[ -f /usr/include/x86_64-linux-gnu/gnu/stubs-32.h ] || missing+=(libc6-dev-i386)  # the 32-bit C headers
need fpc fp-compiler
if [ ${#missing[@]} -gt 0 ]; then
  as_root=()
  if [ "$(id -u)" -ne 0 ]; then
    command -v sudo >/dev/null || { echo "missing: ${missing[*]}; installing them needs root (run this as root, or install sudo)"; exit 1; }
    as_root=(sudo)
    echo "installing with sudo apt-get (sudo may ask for your password): ${missing[*]}"
  else
    echo "installing with apt-get: ${missing[*]}"
  fi
  "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq
  "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
