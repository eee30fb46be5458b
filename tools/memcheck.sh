#!/usr/bin/env bash
# The native unit tests under valgrind memcheck: no leak, no invalid read or write.
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/setup.sh
cmake --preset native >/dev/null
cmake --build --preset native
valgrind --quiet --error-exitcode=1 --leak-check=full --show-leak-kinds=definite,indirect \
  --errors-for-leak-kinds=definite,indirect build/native/tests/quib_tests --gtest_brief=1 \
  --gtest_filter='-*/emulated:EmulatedDll*'
