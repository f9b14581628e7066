#!/usr/bin/env bash
# The in-process tests under valgrind: no invalid access, no leak. The GNU as
# comparison, a generator of 25,000 lines that the sanitizer step runs too, is
# left out: under valgrind it would take minutes.
set -euo pipefail
valgrind --error-exitcode=1 --leak-check=full --errors-for-leak-kinds=definite,indirect \
  --quiet ./build/tests/unit_tests --gtest_brief=1 --gtest_filter=-GnuAsDifferential.*
