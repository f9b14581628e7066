#!/usr/bin/env bash
# The rewritten example is real assembler input: NASM assembles it, and its
# machine code disassembles to the same instructions as NASM's own assembly
# of the original example; with "identical", it is the same machine code.
# Usage: nasm_example_test.sh PAKHOD EXAMPLE ENCODED_LINES [identical]
set -euo pipefail
pakhod=$1 example=$2 expected_db=$3 want=${4:-equivalent}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

command -v nasm >/dev/null && command -v ndisasm >/dev/null || {
  echo "nasm and ndisasm are needed (Debian package nasm)"; exit 1; }

status=0
"$pakhod" "$example" "$work/rewritten.asm" >"$work/console" || status=$?
if [ "$status" != 1 ]; then
  cat "$work/console"; echo "pakhod exited with $status, not 1 (a completed run)"; exit 1
fi

# Every MMX line the example expects to be encoded became a db directive,
# each keeping its source line as a comment.
db_lines=$(grep -c $'^\tdb\t\t' "$work/rewritten.asm" || true)
if [ "$db_lines" != "$expected_db" ]; then
  echo "expected $expected_db db lines, found $db_lines"; exit 1
fi

nasm -f bin -o "$work/original.bin" "$example"
nasm -f bin -o "$work/rewritten.bin" "$work/rewritten.asm"

# Instruction text only: where an instruction has two encodings of one length
# (base and index swapped, say) the bytes may differ but not the meaning.
# Continuation lines of long byte strings are dropped.
instructions() {
  ndisasm -b 32 "$1" | awk '/^[0-9A-F]/ { $1 = ""; $2 = ""; print }'
}
instructions "$work/original.bin" >"$work/original.txt"
instructions "$work/rewritten.bin" >"$work/rewritten.txt"
if ! diff -u "$work/original.txt" "$work/rewritten.txt"; then
  echo "the rewritten example means something else"; exit 1
fi
if cmp -s "$work/original.bin" "$work/rewritten.bin"; then same=identical; else same=equivalent; fi
echo "$db_lines lines encoded; machine code $same to NASM's"
[ "$want" != identical ] || [ "$same" = identical ]
