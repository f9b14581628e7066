#!/usr/bin/env bash
# Every pakhod run of the golden tables and the end-to-end scenarios under
# valgrind (PAKHOD_WRAPPER), error paths included: any invalid access or
# definite/indirect leak fails the step. Memory still reachable at exit is
# allowed. Runs given an unusable TMPDIR go without valgrind, which needs
# one for itself.
set -euo pipefail
build=build
cmake --build "${build}"
logs="$(mktemp -d)"
chmod 1777 "${logs}"  # unprivileged runs log here too
trap 'rm -rf "${logs}"' EXIT
export PAKHOD_WRAPPER="$(command -v valgrind) --quiet --error-exitcode=99 --leak-check=full \
--errors-for-leak-kinds=definite,indirect --log-file=${logs}/pakhod.%p.log"
status=0
for part in golden scenarios; do
  bash tests/cases.sh "${build}/program/pakhod" "${build}/tests/hold" "${part}" || status=$?
done
runs=$(find "${logs}" -name 'pakhod.*.log' | wc -l)
failed=$(find "${logs}" -name 'pakhod.*.log' -size +0 | wc -l)
echo "pakhod runs under valgrind: ${runs}; with valgrind errors: ${failed}"
find "${logs}" -name 'pakhod.*.log' -size +0 | head -n 3 | xargs -r cat
[ "${status}" -eq 0 ] && [ "${failed}" -eq 0 ] && [ "${runs}" -gt 0 ]
