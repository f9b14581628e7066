#!/usr/bin/env bash
# pakhod's output is what the compiler would have made of a C or Pascal
# source: SOURCE is compiled as it is and after pakhod, a C or C++ file by
# clang -m32 -fasm-blocks (MSVC's inline assembler), a Pascal unit by Free
# Pascal (which targets x86-64 here, so the unit's converted lines are the
# forms that mean the same in both modes), and the two objects must hold
# the same instructions (two registers without a scale may stand in the
# SIB byte in either order: the same address, but for ebp, whose place
# decides the segment). The source's "encoded: N" line (or ENCODED) says
# how many MMX statements pakhod must have written as bytes.
# Usage: compiled_test.sh PAKHOD SOURCE [ENCODED]
set -euo pipefail
pakhod=$1 source=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
expected=${3:-$(sed -nE 's/^(\/\/|\{) encoded: ([0-9]+)\}?$/\2/p' "$source")}
name=$(basename "$source")
mkdir "$work/before" "$work/after"
cp "$source" "$work/before/$name"
[ "$("$pakhod" "$source" "$work/after/$name" >"$work/console"; echo $?)" = 1 ] ||
  { cat "$work/console"; echo "pakhod did not complete the run"; exit 1; }
# One comment follows each statement's bytes: _emit 0xC1 /* or $C1 // (or {).
encoded=$(grep -oE '(_emit 0x[0-9A-F]{2} /\*|DB (\$[0-9A-F]{2},)*\$[0-9A-F]{2} (//|\{))' "$work/after/$name" | wc -l)
[ "$encoded" = "$expected" ] || { echo "expected $expected encoded statements, found $encoded"; exit 1; }
for side in before after; do
  (cd "$work/$side"
   case $name in
     *.pas) fpc -Tlinux -FE. "$name" >fpc.log || { cat fpc.log; exit 1; }; object=${name%.pas}.o ;;
     *) clang -m32 -fasm-blocks -O2 -c "$name" -o out.o; object=out.o ;;
   esac
   objdump -d -M intel --no-show-raw-insn "$object" | sed -nE 's/^ +[0-9a-f]+:\t(.*)$/\1/p' |
     perl -pe 's/\[(e\w\w)\+(e\w\w)\*1\b/"[" . join("+", $1 eq "ebp" || $2 eq "ebp" ? ($1, $2) : sort($1, $2)) . "*1"/e' >insns.txt)
done
[ -s "$work/before/insns.txt" ] || { echo "nothing compiled"; exit 1; }
diff "$work/before/insns.txt" "$work/after/insns.txt"
echo "$encoded statements encoded; instructions identical"
