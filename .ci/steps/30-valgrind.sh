#!/usr/bin/env bash
# The in-process tests under valgrind: no invalid access, no leak.
set -euo pipefail
valgrind --error-exitcode=1 --leak-check=full --errors-for-leak-kinds=definite,indirect \
  --quiet ./build/tests/unit_tests --gtest_brief=1
