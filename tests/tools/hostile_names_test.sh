#!/usr/bin/env bash
# Hostile sources for the names pakhod records end normally, in bounded
# memory: a million definitions, one name defined a million times (in
# 256 MiB of address space, LIMIT_KIB), definition cycles, and a line of
# LINE_MIB MiB of names (in ten times its size more). Texts near the
# 16 MiB that pakhod keeps, with as much again replaced, still count: what
# a name no longer holds is not held against the limit; past it, no name
# counts. Include files: 20,000 of them, a chain 40 deep (past 32 they are
# not read), a tree that would open a file 2^17 times (past 65,536 no name
# counts), and one of LINE_MIB MiB read five times (which is held nowhere;
# past 256 MiB in all, as at 64 MiB, no name counts); a C source nested
# past what pakhod tells of x86-64 code. Each must complete
# (status 1) with one output line per source line but for dd lines, within
# the test's time limit, which a quadratic reading would not meet.
# Usage: hostile_names_test.sh PAKHOD [LIMIT_KIB [LINE_MIB]]; LIMIT_KIB 0: no limit (sanitizers)
set -euo pipefail
pakhod=$(realpath "$1") limit=${2:-262144} mib=${3:-64}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
uses=$'\tmovq mm0, [esi+N7]\n\tpsrlw mm1, N7\n'
{ awk 'BEGIN { for (i = 0; i < 1000000; i++) printf "N%d equ %d\n", i, i % 100 }'; printf '%s' "$uses"; } >"$work/many.asm"
{ awk 'BEGIN { for (i = 0; i < 1000000; i++) printf "%%assign N7 %d\n", i % 100 }'; printf '%s' "$uses"; } >"$work/redefined.asm"
{ awk 'BEGIN { for (i = 0; i < 250000; i++) printf "%%define T%d %062d\n", i, i
                for (i = 0; i < 30000; i++) printf "%%define T7 %062d\n", 8; printf "\tpsrlw mm1, T7\n" }'; } >"$work/texts.asm"
{ awk 'BEGIN { for (i = 0; i < 200000; i++) printf "%%define T%d %0100d\n", i, i; printf "%%define S 8\n\tpsrlw mm1, S\n" }'; } >"$work/over.asm"
printf '%%define A B\n%%define B A\n%%define C C+1\n%%define D E E\n%%define E D D\n\tmovq mm0, [esi+A]\n\tmovq mm0, [esi+C]\n\tmovq mm0, [esi+D]\n' >"$work/cycles.asm"
{ printf '\tmovq mm0, [esi'; head -c $((mib << 20)) /dev/zero | tr '\0' 'a' | sed 's/a\{8\}/+table_x/g'; printf ']\n'; } >"$work/long.asm"
printf 'N7 equ 9\n' >"$work/small.inc"
{ for ((i = 0; i < 20000; i++)); do echo '%include "small.inc"'; done; printf '%s' "$uses"; } >"$work/includes.asm"
for ((i = 0; i < 40; i++)); do printf '%%include "d%d.inc"\n' $((i + 1)) >"$work/d$i.inc"; done
printf '%%include "d0.inc"\n%s' "$uses" >"$work/deep.asm"
for ((i = 0; i < 17; i++)); do printf '%%include "t%d.inc"\n%%include "t%d.inc"\n' $((i + 1)) $((i + 1)) >"$work/t$i.inc"; done
: >"$work/t17.inc"
printf '%%include "t0.inc"\n%s' "$uses" >"$work/tree.asm"
awk -v n=$((mib << 16)) 'BEGIN { for (i = 0; i < n; i++) printf "%%assign N7 %04d\n", i % 100 }' >"$work/big.inc"
{ for ((i = 0; i < 5; i++)); do echo '%include "big.inc"'; done; printf '%s' "$uses"; } >"$work/big.asm"
for source in many redefined texts over cycles long includes deep tree big; do
  kib=$limit
  [ $source = long ] && [ "$limit" -gt 0 ] && kib=$((limit + mib * 10240))
  status=$( (cd "$work" && { [ "$kib" -eq 0 ] || ulimit -v "$kib"; } && "$pakhod" "$source.asm" "$source.out" >/dev/null 2>"$source.err"); echo $?)
  [ "$status" = 1 ] || { echo "$source: exit status $status"; exit 1; }
  [ "$(wc -l <"$work/$source.asm")" = "$(grep -cv $'^\tdd\t' "$work/$source.out")" ] ||
    { echo "$source: not one output line per source line"; exit 1; }
done
# The last of a million definitions counts (99); the cycles are copied.
grep -q $'^\tdb\t\t00fh,071h,0d1h,063h\t' "$work/redefined.out" || { echo "redefined: psrlw mm1, N7 not encoded"; exit 1; }
grep -q $'^\tdb\t\t00fh,071h,0d1h,008h\t' "$work/texts.out" || { echo "texts: psrlw mm1, N7 not encoded"; exit 1; }
grep -qxE $'\tpsrlw mm1, S\r?' "$work/over.out" || { echo "over: a name past the text limit was not copied"; exit 1; }
cmp -s "$work/cycles.asm" <(tr -d '\r' <"$work/cycles.out") || { echo "cycles: a line was not copied"; exit 1; }
grep -q $'^\tdb\t\t00fh,071h,0d1h,009h\t' "$work/includes.out" || { echo "includes: psrlw mm1, N7 not encoded"; exit 1; }
grep -q '^d31.inc:1: warning: include files nested deeper than 32: not read: d32.inc$' "$work/deep.err" ||
  { echo "deep: no warning at the 33rd level"; exit 1; }
grep -qxE $'\tpsrlw mm1, N7\r?' "$work/tree.out" || { echo "tree: a name past the limit was not copied"; exit 1; }
[ $((5 * mib)) -le 256 ] || grep -q "^big.inc:[0-9]*: warning: include files past pakhod's limit" "$work/big.err" ||
  { echo "big: no warning past 256 MiB of include files"; exit 1; }
# A C source whose #if nest 5,000 deep: past 4,096 pakhod cannot tell code
# for x86-64, so the rest is left as it was, with one warning where it begins.
{ for ((i = 0; i < 5000; i++)); do echo '#if 1'; done
  echo 'void f(void) { __asm paddb mm0, mm1 }'
  for ((i = 0; i < 5000; i++)); do echo '#endif'; done; } >"$work/nested.c"
status=$( (cd "$work" && "$pakhod" nested.c nested.out >/dev/null 2>nested.err); echo $?)
[ "$status" = 1 ] && grep -q '^nested.c:4097: warning: .*nested too deep to tell x86-64 code' "$work/nested.err" &&
  grep -q '__asm paddb mm0, mm1' "$work/nested.out" || { echo "nested: not left with its warning"; exit 1; }
echo "hostile sources converted"
