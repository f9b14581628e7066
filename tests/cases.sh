#!/usr/bin/env bash
# Runs a built pakhod over the cases in tests/data and checks what it leaves.
# Usage: cases.sh PAKHOD HELPER golden|scenarios|slow|concurrent [ROUNDS]
#   golden     each table of data/golden: the exact output for its lines
#   scenarios  each row of data/e2e/scenarios.txt: exit status, standard
#              output and error, and every file of the workspace afterwards
#              (slow: the rows that wait for seconds; concurrent: those of
#              runs that meet each other, ROUNDS times over)
# HELPER is tests/support/hold.cpp, built for the same system as pakhod. PAKHOD_WRAPPER is a
# command every pakhod run goes through (valgrind). A Windows build (its
# name ends in .exe) runs under wine.
set -uo pipefail
pakhod=$(realpath "$1") helper=$(realpath "$2") part=$3
data=$(cd "$(dirname "$0")/data" && pwd)
read -ra wrapper <<<"${PAKHOD_WRAPPER:-}"
# A Windows program reads its temporary directory from WINETMP and its
# search path from WINEPATH under Wine, and writes CR LF and backslashes to
# the console; its console text is compared as the Linux one.
host=() exe=pakhod tmpVariable=TMPDIR pathVariable=PATH listSeparator=:
if [[ $pakhod == *.exe ]]; then
  host=(wine) exe=pakhod.exe tmpVariable=WINETMP pathVariable=WINEPATH listSeparator=';'
fi
console() { if ((${#host[@]})); then tr -d '\r' | sed 's|\\|/|g; s|Z:/|/|g'; else cat; fi; }
root=$(mktemp -d -t pakhod-cases.XXXXXX)
chmod 755 "$root"
holders=()
trap 'kill "${holders[@]}" 2>/dev/null; chmod -R u+rwx "$root"; rm -rf "$root"' EXIT
trap 'exit 143' INT HUP TERM  # which end bash without its EXIT trap
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# Runs a command, its standard output to OUT and its standard error to
# OUT.err. Wine, starting many programs at once, now and then ends one
# before it runs: status 1 and no output, which no run of pakhod gives (its
# status 1 follows the banner). Such a run is started again.
launch() {
  local out=$1 status try
  shift
  for try in 1 2 3; do
    "$@" >"$out" 2>"$out.err"
    status=$?
    ((status == 1 && ${#host[@]} > 0)) && [[ ! -s $out ]] || break
  done
  return $status
}

# The source (want=source), the expected output (want=output) or the
# expected standard error (want=warnings) of a table. Bytes are XX (written
# 0XXh) or (EXPR) (written as it is); dd(EXPR) ends the db line and is a dd
# line of its own, and the items after it a db line; "label:" first keeps
# the line's first word (its label) in front of the db. "= REASON" is a line
# copied with a warning that gives that reason. A row "! TEXT" is a line
# standard error shows after the summary (a note).
table() {
  awk -v want="$1" '/^! / { notes = notes substr($0, 3) "\n"; next }
    /^#/ || !/\|/ { next }
    function flush(comment) { if (db != "") printf "%s\tdb\t\t%s%s\r\n", label, db, comment; db = label = "" }
    function lines(k, what) { return "MMX line" (k == 1 ? "" : "s") " " what }
    { bar = index($0, "|"); bytes = substr($0, 1, bar - 1); line = substr($0, bar + 2); row++
      gsub(/\\t/, "\t", line); gsub(/\\r/, "\r", line)
      if (want == "source") { print line; next }
      if (bytes ~ /^ *=/) {
        sub(/^ *= */, "", bytes); sub(/ +$/, "", bytes)
        if (bytes != "" && ++left <= 100) { shown = line; gsub(/^[ \t]+|[ \t]+$/, "", shown)
          if (length(shown) > 160) shown = substr(shown, 1, 160) "..."; gsub(/\r/, "^M", shown)
          warnings = warnings "in.asm:" row ": warning: left as it was: " bytes ": " shown "\n" }
        if (want == "output") printf "%s\r\n", line; next }
      encoded++
      if (want != "output") next
      db = label = ""; comment = "\t\t;" line
      if (sub(/^label: */, "", bytes)) { match(line, /^[ \t]*[^ \t]+/); label = substr(line, 1, RLENGTH) }
      while (match(bytes, /[^ ]/)) {
        bytes = substr(bytes, RSTART); depth = 0
        for (n = 1; n <= length(bytes); n++) {
          c = substr(bytes, n, 1); depth += (c == "(") - (c == ")")
          if (c == " " && depth == 0) break
        }
        item = substr(bytes, 1, n - 1); bytes = substr(bytes, n)
        if (item ~ /^dd\(/) { flush(comment); comment = ""; printf "\tdd\t\t%s\r\n", substr(item, 4, length(item) - 4); continue }
        db = db (db == "" ? "" : ",") (item ~ /^\(/ ? item : "0" item "h")
      }
      flush(comment) }
    END { if (want != "warnings") exit
      if (!left) { printf "%s", notes; exit }
      printf "%s", warnings
      if (left > 100) print "in.asm: warning: " left - 100 " more " lines(left - 100, "left as " (left == 101 ? "it was" : "they were") ", not listed")
      print "in.asm: " encoded + 0 " " lines(encoded + 0, "encoded") ", " left " left as " (left == 1 ? "it was" : "they were")
      printf "%s", notes }' "$2"
}

golden() {
  for t in "$data"/golden/*.txt; do
    local dir="$root/${t##*/}" def="${t%.txt}.def"
    [[ -f $def ]] || def=$(dirname "$pakhod")/mmx_set.def
    mkdir "$dir" && cp "$pakhod" "$dir/$exe" && cp "$def" "$dir/mmx_set.def"
    table source "$t" >"$dir/in.asm"
    table output "$t" >"$dir/expected.asm"
    (cd "$dir" && launch console env "$tmpVariable=$dir" "${host[@]}" "${wrapper[@]}" "./$exe" in.asm out.asm)
    (($? == 1)) || fail "${t##*/}: the run did not complete"
    cmp -s "$dir/expected.asm" "$dir/out.asm" || { fail "${t##*/}: the output differs (< expected, > written)"
      diff <(cat -A "$dir/expected.asm") <(cat -A "$dir/out.asm") | head -n 20; }
    local differ
    differ=$(diff <(table warnings "$t") <(console <"$dir/console.err" | sed -E '/^==[0-9]+==/d') | head -n 20)
    [[ -z $differ ]] || { fail "${t##*/}: the warnings differ (< expected, > written)"; echo "$differ"; }
    # Silenced: the same output, nothing on standard error.
    (cd "$dir" && launch quiet env PAKHOD_WARNINGS=0 "$tmpVariable=$dir" "${host[@]}" "${wrapper[@]}" "./$exe" in.asm quiet.asm)
    cmp -s "$dir/out.asm" "$dir/quiet.asm" && [[ -z $(sed -E '/^==[0-9]+==/d' "$dir/quiet.err") ]] ||
      fail "${t##*/}: PAKHOD_WARNINGS=0 changed the output or left standard error written"
  done
}

# Writes the bytes a CONTENT names: FILE, FILE*N, parts joined by +.
content() {
  local part
  for part in ${1//+/ }; do
    case $part in
      PAKHOD) cat "$pakhod" ;;
      DEFS) cat "$(dirname "$pakhod")/mmx_set.def" ;;
      *\**) yes "$data/e2e/${part%%\**}" | head -n "${part#*\*}" | xargs cat ;;
      *) cat "$data/e2e/$part" ;;
    esac
  done
}

# The words of a field, quotes respected.
words() { xargs -r printf '%s\n' <<<"$1"; }

# What the workspace must hold afterwards, by path: CONTENT[:MODE],
# "/" plus a mode for a directory, "->TARGET" for a link, FIFO.
declare -A expect counts
declare -a modes

# Creates the directories above workspace path $1.
parents() { mkdir -p "$ws/$(dirname -- "$1")"; }

# Applies one "files before" entry to the workspace $ws.
place() {
  local entry=$1 name bytes mode=
  case $entry in
    *!) rm -rf "${ws:?}/${entry%!}"; unset "expect[${entry%!}]"; return ;;
    *'->'*) name=${entry%%->*}; parents "$name"; ln -s "${entry#*->}" "$ws/$name"
      expect[$name]="->${entry#*->}"; return ;;
    */:*) name=${entry%/:*}; mode=${entry##*:}; parents "$name"; mkdir -p "$ws/$name"; expect[$name]=/ ;;
    */) name=${entry%/}; parents "$name"; mkdir -p "$ws/$name"; expect[$name]=/ ;;
    *=FIFO) name=${entry%=FIFO}; mkfifo "$ws/$name"; expect[$name]=FIFO; return ;;
    *qzvt+*) temporaryNames "$entry"; return ;;
    *) name=${entry%%=*}; bytes=${entry#*=}; mode=${bytes##*:}; [[ $bytes == *:* ]] || mode=
      [[ $name == */pakhod ]] && name=${name%pakhod}$exe
      parents "$name"; expect[$name]=$bytes
      case $bytes in 2GiB*) truncate -s $(((2 << 30) ${bytes#2GiB})) "$ws/$name" ;; *) content "${bytes%:*}" >"$ws/$name" ;; esac
      [[ $bytes != PAKHOD ]] || chmod 755 "$ws/$name" ;;
  esac
  [[ -n $mode ]] && modes+=("$mode $name")
}

# DIR/qzvt+N.asm: N files holding keep.txt, named as pakhod names its next
# temporary files; expected afterwards as DIR/qzvt*.asm, N of them.
temporaryNames() {
  local count=${1#*+}
  "${host[@]}" "$helper" names "$ws/${1%/*}" "${count%.asm}"
  expect[${1%+*}*.asm]=keep.txt counts[${1%+*}*.asm]=${count%.asm}
}

# Checks the workspace against `expect`: every path as said, no path more.
checkFiles() {
  local row=$1 path want
  for path in "${!expect[@]}"; do
    want=${expect[$path]}
    if [[ $path == *'*'* ]]; then  # N files (1 unless said), all holding one content
      local matches=("$ws"/$path) n=${counts[$path]:-1}
      [[ ${#matches[@]} == "$n" && -f ${matches[0]} ]] || { fail "$row: $path: ${#matches[@]} files, not $n"; continue; }
      cat "${matches[@]}" | cmp -s - <(content "$want*$n") || fail "$row: $path"
      for path in "${matches[@]}"; do expect[${path#"$ws/"}]=matched; done
      continue
    fi
    case $want in
      matched) ;;
      /) [[ -d $ws/$path ]] || fail "$row: $path is no directory" ;;
      FIFO) [[ -p $ws/$path ]] || fail "$row: $path is no FIFO" ;;
      '->'*) [[ $(readlink "$ws/$path") == "${want#->}" ]] || fail "$row: $path is no link to ${want#->}" ;;
      *) [[ -f $ws/$path ]] || { fail "$row: $path is missing"; continue; }
        [[ $want != *:* || $(stat -c %04a "$ws/$path") == "${want##*:}" ]] || fail "$row: $path: mode"
        chmod u+r "$ws/$path"
        [[ $want == 2GiB* ]] || cmp -s <(content "${want%:*}") "$ws/$path" || fail "$row: $path does not hold ${want%:*}" ;;
    esac
  done
  while IFS= read -r path; do  # pakhod makes no directories: every file counts
    [[ -v expect[$path] ]] || fail "$row: $path is left over"
  done < <(cd "$ws" && find . -mindepth 1 ! -type d | sed 's|^\./||')
}

# The words of a field, each with % once per run (TIMES=N runs at once).
each() {
  local word i n
  while IFS= read -r word; do
    [[ $word == *%* ]] && n=$times || n=1
    for ((i = 0; i < n; i++)); do printf '%s\n' "${word//%/$i}"; done
  done < <(words "$1")
}

# Whether run $i wrote to FILE the text of a column, TEXT. A sanitizer's
# notes (==PID==) are not pakhod's; its errors change the exit status.
same() { cmp -s <(printf '%b' "${1//\$WS/$ws}" | sed "s/%/$i/g") <(console <"$2" | sed -E '/^==[0-9]+==/d; s/qzvt-?[0-9]+\.asm/qzvtN.asm/g'); }

scenario() {
  local row=$1 command=$2 before=$3 status=$4 console=$5 after=$6 errors=$7 entry tmpdir=tmp args=() env=() tracer=() nobody=0 times=1 i pids=() errwrites= closein=0
  ws=$root/$row expect=([tmp]=/ [bin]=/) counts=() modes=()
  [[ $command =~ TIMES=([0-9]+) ]] && times=${BASH_REMATCH[1]}
  mkdir -p "$ws/tmp" "$ws/bin"
  while IFS= read -r entry; do place "$entry"; done < <(printf '%s\n' bin/pakhod=PAKHOD bin/mmx_set.def=DEFS a.asm=src.asm; each "$before")
  while IFS= read -r entry; do
    entry=${entry//\$WS/$ws}
    case $entry in
      USER=nobody) nobody=1 ;;
      TIMES=*) ;;
      STDIN=closed) closein=1 ;;
      ERRWRITES=*) errwrites=${entry#ERRWRITES=} tracer=("$(command -v strace)" -f -qq -o "$ws.writes" -e trace=write --)
        env+=("ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0") ;;
      STRACE=*@*) entry=${entry#STRACE=}; tracer=("$(command -v strace)" -f -qq -o /dev/null -P "${entry##*@}" -e "${entry%@*}" --)
        env+=("ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0") ;;
      STRACE=*) tracer=("$(command -v strace)" -f -qq -o /dev/null -e "${entry#STRACE=}" --)
        env+=("ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0") ;;  # the leak checker needs ptrace itself
      HOLD=*) entry=${entry#HOLD=}; hold "$ws/${entry%:*}" "${entry##*:}" ;;
      TMPDIR=*) tmpdir=${entry#TMPDIR=} ;;
      PAKHOD_WARNINGS=*) env+=("$entry") ;;
      PATH=) env+=(-u PATH) ;;
      PATH=*) entry=${entry#PATH=}; env+=("$pathVariable=$ws/${entry//:/$listSeparator$ws/}") ;;
      "''") args+=("") ;;
      *) args+=("$entry") ;;
    esac
  done < <(words "$command")
  [[ $tmpdir == /* || $tmpdir == ?:* || -z $tmpdir ]] || tmpdir=$ws/$tmpdir  # a path of its own, or the workspace's
  if [[ -n $tmpdir ]]; then env+=("$tmpVariable=$tmpdir"); else env+=(-u "$tmpVariable"); fi
  local wrap=("${wrapper[@]}")  # a memory checker needs a usable TMPDIR itself
  local inside=${tmpdir#"$ws/"}
  [[ -d ${tmpdir:-/} && " ${modes[*]} " != *" ${inside%/} "* ]] || wrap=()
  ((${#tracer[@]} == 0)) || wrap=()  # the failed calls would meet the memory checker too
  local run=("${host[@]}" "${tracer[@]}" "${wrap[@]}" "bin/$exe")
  if ((nobody)); then
    chmod -R a+rwX "$ws"
    ((EUID != 0)) || run=(setpriv --reuid=65534 --regid=65534 --clear-groups -- "${run[@]}")
  fi
  for entry in "${modes[@]}"; do chmod "${entry%% *}" "$ws/${entry#* }"; done
  for ((i = 0; i < times; i++)); do
    (cd "$ws" && { ((closein == 0)) || exec <&-; } && launch "$root/console$row.$i" env "${env[@]}" "${run[@]}" "${args[@]//%/$i}") &
    pids+=($!)
  done
  console=${console//\$BANNER/$(<"$data/e2e/banner.txt")$'\n\n'} console=${console//\$HELP/$(<"$data/e2e/help.txt")$'\n'}
  for ((i = 0; i < times; i++)); do
    wait "${pids[i]}"
    local got=$?
    [[ $got == "$status" ]] || fail "$row: run $i: exit status $got, not $status"
    same "$console" "$root/console$row.$i" || fail "$row: run $i: console: $(cat -A "$root/console$row.$i")"
    same "$errors" "$root/console$row.$i.err" || fail "$row: run $i: stderr: $(cat -A "$root/console$row.$i.err")"
  done
  [[ -z $errwrites || $(grep -c '^[0-9]* *write(2,' "$ws.writes") == "$errwrites" ]] ||
    fail "$row: standard error not written in $errwrites writes: $(grep 'write(2,' "$ws.writes")"
  while IFS= read -r entry; do  # PATH=CONTENT, or PATH! for one that is gone
    if [[ $entry == *! ]]; then unset "expect[${entry%!}]"; else expect[${entry%%=*}]=${entry#*=}; fi
  done < <(each "$after")
  checkFiles "$row"
}

scenarios() {
  local n=0 where command before status console after errors
  while IFS='|' read -r where command before status console after errors; do  # fields without their blanks
    [[ -z $where || $where == \#* ]] && continue
    n=$((n + 1))
    case $where in
      posix) ((${#host[@]} == 0)) || continue ;;
      windows) ((${#host[@]} > 0)) || continue ;;
      slow) [[ $part == slow ]] || continue ;;
    esac
    [[ $part == slow && $where != slow || $part == concurrent && $command != *TIMES=* ]] && continue
    scenario "$n" "$command" "$before" "$status" "$console" "$after" "$errors"
  done < <(sed -E 's/^[[:space:]]+|[[:space:]]+$//g; s/[[:space:]]*\|[[:space:]]*/|/g' "$data/e2e/scenarios.txt")
  echo "$n scenarios"
}
slow() { scenarios; }
# The rows whose runs meet each other, ROUNDS times over.
concurrent() { for ((round = 0; round < $1; round++)); do scenarios; done; }

# Holds FILE for MS milliseconds from another process; returns once it is held.
hold() {
  local word
  exec {holder}< <("${host[@]}" "$helper" "$1" "$2")
  holders+=("$!")
  read -r -u "$holder" word
  [[ ${word%$'\r'} == held ]] || fail "could not hold $1"
}

"$part" "${@:4}"
((failures == 0)) || { echo "$failures failures"; exit 1; }
