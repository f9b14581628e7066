#!/usr/bin/env bash
# The end-to-end runs of pakhod under valgrind, error paths included: every
# run the e2e tests make goes through valgrind (PAKHOD_E2E_WRAPPER), and any
# invalid access or definite/indirect leak fails the step. Memory still
# reachable at exit is allowed. Then the application and table tests
# themselves under valgrind.
set -euo pipefail
build=build
cmake --build "${build}"
logs="$(mktemp -d)"
chmod 1777 "${logs}"  # unprivileged runs log here too
trap 'rm -rf "${logs}"' EXIT
checks=(--error-exitcode=99 --leak-check=full --errors-for-leak-kinds=definite,indirect)

# Valgrind keeps its own files in TMPDIR, so the few runs that give pakhod an
# unusable TMPDIR go without it (the test helper leaves the wrapper out).
status=0
PAKHOD_E2E_WRAPPER="$(command -v valgrind) --quiet ${checks[*]} --log-file=${logs}/pakhod.%p.log" \
  "./${build}/tests/app_tests" --gtest_brief=1 \
  --gtest_filter='PakhodRun.*:UnprivilegedRun.*:DefinitionSearch.*' \
  || status=$?
runs=$(find "${logs}" -name 'pakhod.*.log' | wc -l)
echo "pakhod runs under valgrind: ${runs}"
failed=0
for log in "${logs}"/pakhod.*.log; do
  [ -s "${log}" ] || continue
  failed=$((failed + 1))
  if [ "${failed}" -le 3 ]; then
    echo "--- ${log}:"
    cat "${log}"
  fi
done
echo "runs with valgrind errors: ${failed}"
[ "${failed}" -eq 0 ] || status=1
[ "${runs}" -gt 0 ] || status=1
[ "${status}" -eq 0 ] || exit 1

valgrind --quiet "${checks[@]}" "./${build}/tests/isa_tests" --gtest_brief=1
valgrind --quiet "${checks[@]}" "./${build}/tests/app_tests" --gtest_brief=1 \
  --gtest_filter='-PakhodRun.*:UnprivilegedRun.*:DefinitionSearch.*:ConcurrentRuns.*'
