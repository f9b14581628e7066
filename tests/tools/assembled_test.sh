#!/usr/bin/env bash
# pakhod's output is what the assembler would have made of the source:
# SOURCE is assembled as it is and after pakhod, by NASM (elf32) for a .asm
# file, by GNU as for a .s file (.intel_syntax, MASM's spellings) or for a
# MASM source given as masm:FILE (turned into GNU as syntax on the way, with
# the .inc files beside it), and the two objects must hold the same
# instructions and relocations. A displacement pakhod leaves to the
# assembler (a dd line) is 32 bits where the assembler may choose 8, so
# instructions are compared as text, without addresses. The source's
# "encoded: N" line (or ENCODED) says how many MMX lines pakhod must have
# written as db lines. OPTIONs (-DNAME, -I DIR/) go to pakhod and the
# assembler alike (to GNU as a -DNAME as --defsym NAME=1); both run in
# SOURCE's folder.
# Usage: assembled_test.sh PAKHOD SOURCE [ENCODED [OPTION...]]
set -euo pipefail
pakhod=$(realpath "$1") source=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
dialect=nasm
case $source in masm:*) dialect=masm source=${source#masm:} ;; *.s) dialect=gas ;; esac
cd "$(dirname "$source")"
source=$(basename "$source")
expected=${3:-$(sed -nE 's/^[;#] encoded: ([0-9]+)$/\1/p' "$source")}
options=("${@:4}") gas_options=()
for o in "${options[@]}"; do [[ $o == -D* ]] && gas_options+=(--defsym "${o#-D}=1") || gas_options+=("$o"); done

[ "$("$pakhod" "${options[@]}" "$source" "$work/after.asm" >"$work/console"; echo $?)" = 1 ] ||
  { cat "$work/console"; echo "pakhod did not complete the run"; exit 1; }
encoded=$(grep -cE $'^([^ \t;]+:)?\tdb\t\t.*\t\t;' "$work/after.asm" || true)
[ "$encoded" = "$expected" ] || { echo "expected $expected encoded lines, found $encoded"; exit 1; }

# GNU as reads pakhod's lines as .byte and .long; MASM's directives are mapped
# to GNU's (numbers 0ffh become 0xff).
to_gas() {
  local masm=()
  [ "$dialect" = masm ] && masm=(-e 's/;.*$//' -e 's/^\s*(\.[3-6]86|\.mmx|\.model.*|END)\s*$//I' -e 's/^\s*\.code\s*$/.text/I'
    -e 's/^(\w+)\s+EQU\s+(.*)$/.equ \1, \2/I' -e 's/^(\w+)\s+dq\s+/\1: .quad /I' -e 's/^(\w+)\s+PROC\s*$/\1:/I'
    -e 's/^\w+\s+ENDP\s*$//I' -e 's/^\s*INCLUDE\s+(\S+)\s*$/.include "\1"/I' -e 's/^\s*IF(N?DEF)\s+(\w+)\s*$/.if\L\1\E \2/I'
    -e 's/^\s*ELSE\s*$/.else/I' -e 's/^\s*ENDIF\s*$/.endif/I')
  { [ "$dialect" = masm ] && [[ $1 != *.inc ]] && echo .intel_syntax noprefix
    sed -E -e 's/\r$//' -e 's/^([^ \t;]+:)?\tdb\t\t([^\t]*)(\t\t;.*)?$/\1\t.byte \2/' -e 's/^\tdd\t\t(.*)$/\t.long \1/' "${masm[@]}" \
      -e 's/\b([0-9][0-9a-fA-F]*)[hH]\b/0x\1/g' "$1"; } >"$2"
}
if [ "$dialect" = masm ]; then
  for inc in *.inc; do [ -e "$inc" ] && to_gas "$inc" "$work/$inc"; done
fi
for side in before after; do
  file=$source
  [ $side = after ] && file=$work/after.asm
  if [ "$dialect" = nasm ]; then
    nasm -f elf32 "${options[@]}" -o "$work/$side.o" "$file"
  else
    to_gas "$file" "$work/$side.s"
    (cd "$work" && as --32 "${gas_options[@]}" -o "$side.o" "$side.s")
  fi
  objdump -dr -M intel --no-show-raw-insn "$work/$side.o" |
    sed -nE 's/^ +[0-9a-f]+:\t(.*)$/\1/p; s/^\t+[0-9a-f]+: (R_386_\w+)\s+(.*)$/\1 \2/p' >"$work/$side.txt"
done
[ -s "$work/before.txt" ] || { echo "no instructions assembled"; exit 1; }
diff "$work/before.txt" "$work/after.txt"
echo "$encoded lines encoded; instructions and relocations identical"
