#!/usr/bin/env bash
# Builds the libFuzzer targets and runs each for a fixed time with a fixed
# seed, starting from its seed corpus. A crash, leak or failed check fails the
# step and prints the input that caused it.
set -euo pipefail
seconds="${FUZZ_SECONDS:-60}"
out=build-fuzz
bash fuzz/build.sh "${out}"
for target in tokenizer lineloop; do
  work="${out}/run-${target}"
  rm -rf "${work}"
  mkdir -p "${work}/corpus"
  echo "--- fuzz_${target}: ${seconds}s"
  status=0
  "${out}/fuzz_${target}" -seed=1 -max_total_time="${seconds}" -max_len=4096 \
    -dict=fuzz/mmx.dict -artifact_prefix="${work}/" -print_final_stats=1 \
    "${work}/corpus" "fuzz/corpus/${target}" >"${work}/log" 2>&1 || status=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "${work}/log")
  echo "fuzz_${target}: ${runs:-?} executions"
  if [ "${status}" -ne 0 ]; then
    tail -n 60 "${work}/log"
    for input in "${work}"/crash-* "${work}"/leak-* "${work}"/timeout-* "${work}"/oom-*; do
      [ -e "${input}" ] || continue
      echo "--- failing input ${input}:"
      od -A x -t x1z -v "${input}" | head -n 64
    done
    exit 1
  fi
done
