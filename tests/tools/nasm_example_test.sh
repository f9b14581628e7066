#!/usr/bin/env bash
# The rewritten example is real assembler input: NASM assembles it to the
# same machine code as the original example (which keeps two registers
# without a scale out: NASM and pakhod put them in the SIB byte in opposite
# order, the same address in other bytes).
# Usage: nasm_example_test.sh PAKHOD EXAMPLE ENCODED_LINES
set -euo pipefail
pakhod=$1 example=$2 expected_db=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

[ "$("$pakhod" "$example" "$work/rewritten.asm" >"$work/console"; echo $?)" = 1 ] ||
  { cat "$work/console"; echo "pakhod did not complete the run"; exit 1; }
# Every MMX line the example expects to be encoded became a db directive
# (a label of the line in front of it).
db_lines=$(grep -cE $'^([^ \t;]+:)?\tdb\t\t' "$work/rewritten.asm" || true)
[ "$db_lines" = "$expected_db" ] || { echo "expected $expected_db db lines, found $db_lines"; exit 1; }
nasm -f bin -o "$work/original.bin" "$example"
nasm -f bin -o "$work/rewritten.bin" "$work/rewritten.asm"
cmp "$work/original.bin" "$work/rewritten.bin"
echo "$db_lines lines encoded; machine code identical to NASM's"
