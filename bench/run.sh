#!/usr/bin/env bash
# Prints pakhod's speed and memory figures beside the floor program (the
# least work any line rewriter must do), GNU as on the same instructions,
# and cat for the fixed cost of one run. It reports figures only; it never
# passes or fails on them.
#
#   bench/run.sh [SIZES_MIB...]      default: 8 32 128
#
# Environment: RUNS (timed turns per size, each running every program once,
# default 5; RUNS=15 or more for a paired comparison),
# SMALL_RUNS (runs on the 4 KiB source, default 500), BENCH_DIR (build and
# scratch directory, default build-bench in the worktree), PAKHOD (the
# executable to time, default the one built in BENCH_DIR).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
bench="${BENCH_DIR:-$root/build-bench}"
runs="${RUNS:-5}"
small_runs="${SMALL_RUNS:-500}"
sizes=("$@")
[ ${#sizes[@]} -gt 0 ] || sizes=(8 32 128)

if [ ! -x /usr/bin/time ]; then
  echo "installing Debian's time for peak memory figures"
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq time >/dev/null
fi

cmake -S "$root" -B "$bench" -G Ninja -DCMAKE_BUILD_TYPE=Release -DPAKHOD_TESTS=OFF >/dev/null
cmake --build "$bench" -j2 >/dev/null
pakhod="${PAKHOD:-$bench/program/pakhod}"
floor="$bench/bench/floor"
gensource="$bench/bench/gensource"
data="$bench/data"
mkdir -p "$data"
[ -x "$pakhod" ] || { echo "no pakhod built at $pakhod"; exit 1; }


# Runs one command (words in "$@") and prints its wall time and its CPU time
# (user + system) in ms. Called in a subshell, whose only child is the
# command, so `times` reports that command's CPU alone. The CPU time says
# more than the wall time when other work shares the machine.
measure() {
  local t0 t1 line
  t0=${EPOCHREALTIME/./}  # microseconds, read without starting a process
  "$@" >/dev/null 2>&1 || true
  t1=${EPOCHREALTIME/./}
  times >"$data/times.$BASHPID"
  { read -r _; read -r line; } <"$data/times.$BASHPID"
  rm -f "$data/times.$BASHPID"
  awk -v a="$t0" -v b="$t1" -v c="$line" 'BEGIN {
    split(c, t, " "); cpu = 0
    for (i = 1; i <= 2; i++) { split(t[i], ms, /[ms]/); cpu += ms[1] * 60 + ms[2] }
    printf "%.3f %.3f\n", (b - a) / 1e3, cpu * 1e3 }'
}

median() { tr ' ' '\n' | grep -v '^$' | sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# Peak resident set in KiB of one run.
# pakhod exits with status 1 after a completed run, so statuses are ignored.
peak_kib() { { /usr/bin/time -f %M "$@" 2>&1 >/dev/null || true; } | tail -1; }

run_pakhod() { "$pakhod" "$1" "$data/out.pakhod"; }
run_floor() { "$floor" "$1" "$data/out.floor"; }
run_as() { as --32 "$1" -o "$data/out.o"; }

echo "pakhod benchmark: $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg)," \
  "$runs alternating runs per program, medians"
printf '%-6s %-7s %10s %9s %9s %10s\n' size program "wall ms" "MiB/s" "cpu ms" "peak KiB"
for mib in "${sizes[@]}"; do
  src="$data/source-$mib.asm"
  twin="$data/twin-$mib.s"
  [ -s "$src" ] || "$gensource" "$mib" "$src" "$twin"
  # Warm the page cache and check that every program accepts its input.
  run_pakhod "$src" >/dev/null && echo "  note: pakhod reported a failed run (status 0)"
  run_floor "$src" >/dev/null || echo "  note: floor failed"
  run_as "$twin" || echo "  note: as failed on the twin"
  declare -A wall=() cpu=() last=()
  pairedWall="" pairedCpu=""
  for ((i = 0; i < runs; i++)); do
    for prog in pakhod floor as; do
      read -r w c < <(measure "run_$prog" "$([ $prog = as ] && echo "$twin" || echo "$src")")
      wall[$prog]+="$w "
      cpu[$prog]+="$c "
      last[$prog]="$w $c"
    done
    # The runs of one turn side by side: pakhod against the floor.
    pairedWall+="$(awk -v p="${last[pakhod]}" -v f="${last[floor]}" 'BEGIN { split(p, a); split(f, b); printf "%.4f", a[1] / b[1] }') "
    pairedCpu+="$(awk -v p="${last[pakhod]}" -v f="${last[floor]}" 'BEGIN { split(p, a); split(f, b); printf "%.4f", (b[2] > 0 ? a[2] / b[2] : 0) }') "
  done
  bytes=$(stat -c %s "$src")
  declare -A mw=() mc=()
  for prog in pakhod floor as; do
    mw[$prog]=$(echo "${wall[$prog]}" | median)
    mc[$prog]=$(echo "${cpu[$prog]}" | median)
    case $prog in
      pakhod) k=$(peak_kib "$pakhod" "$src" "$data/out.pakhod") ;;
      floor) k=$(peak_kib "$floor" "$src" "$data/out.floor") ;;
      as) k=$(peak_kib as --32 "$twin" -o "$data/out.o") ;;
    esac
    awk -v s="$mib" -v p="$prog" -v m="${mw[$prog]}" -v c="${mc[$prog]}" -v b="$bytes" -v k="$k" \
      'BEGIN { printf "%-6s %-7s %10.1f %9.1f %9.1f %10s\n", s "M", p, m, b / 1048576 / (m / 1000), c, k }'
  done
  awk -v p="${mw[pakhod]}" -v f="${mw[floor]}" -v a="${mw[as]}" -v s="$mib" \
    'BEGIN { printf "%-6s wall ratios: pakhod/floor %.2f   pakhod/as %.3f (1/%.1f)\n", s "M", p / f, p / a, a / p }'
  awk -v p="${mc[pakhod]}" -v f="${mc[floor]}" -v a="${mc[as]}" -v s="$mib" \
    'BEGIN { printf "%-6s cpu ratios:  pakhod/floor %.2f   pakhod/as %.3f (1/%.1f)\n", s "M", p / f, p / a, a / p }'
  printf "%-6s paired:      median of %d turns' ratios pakhod/floor: wall %.2f   cpu %.2f\n" "${mib}M" "$runs" \
    "$(echo "$pairedWall" | median)" "$(echo "$pairedCpu" | median)"
  if cmp -s <(tr -d '\r' <"$data/out.pakhod" | wc -l) <(wc -l <"$src"); then :; else
    echo "  note: pakhod's output has a different line count than the source"
  fi
  unset wall cpu mw mc last
done

# Fixed cost of one run: a 4 KiB source, many runs, mean per run.
small="$data/source-small.asm"
[ -s "$small" ] || { "$gensource" 1 "$data/big-small.asm" "$data/twin-small.s" && head -c 4096 "$data/big-small.asm" | sed '$d' >"$small"; }
loop_ms() {
  local t0 t1
  t0=${EPOCHREALTIME/./}
  for ((i = 0; i < small_runs; i++)); do "$@" >/dev/null 2>&1 || true; done
  t1=${EPOCHREALTIME/./}
  awk -v a="$t0" -v b="$t1" -v n="$small_runs" 'BEGIN { printf "%.4f", (b - a) / 1e3 / n }'
}
cat_small() { cat "$small" >"$data/out.cat"; }
pakhod_small() { "$pakhod" "$small" "$data/out.small"; }
sp=() sc=()
for ((round = 0; round < 3; round++)); do
  sp+=("$(loop_ms pakhod_small)")
  sc+=("$(loop_ms cat_small)")
done
msp=$(echo "${sp[*]}" | median)
msc=$(echo "${sc[*]}" | median)
awk -v p="$msp" -v c="$msc" -v n="$small_runs" -v b="$(stat -c %s "$small")" \
  'BEGIN { printf "4 KiB source (%d bytes), %d runs x3, median of means: pakhod %.3f ms, cat %.3f ms, pakhod/cat %.2f\n", b, n, p, c, p / c }'
echo "load average at the end: $(cut -d' ' -f1-3 /proc/loadavg)"
