#!/usr/bin/env bash
# Builds the benchmarks (preset "bench", optimised) and prints their table: time per
# iteration and "allocs", the heap allocations per iteration. Then, when the product DLL has
# been built (preset "win32"), prints its size and the DLLs it imports. Extra arguments go to
# the benchmark program, e.g. tools/bench.sh --benchmark_filter=message --benchmark_repetitions=5
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
bash tools/setup.sh

cmake --preset bench >/dev/null
cmake --build --preset bench --target quib_bench
build/bench/bench/quib_bench --benchmark_counters_tabular=true "$@"

dll=build/win32/QUIB_Ctl.dll
if [ -f "$dll" ]; then
  echo
  echo "$dll: $(stat -c %s "$dll") bytes (at most 262144)"
  echo "imports:"
  i686-w64-mingw32-objdump -p "$dll" | sed -n 's/^\s*DLL Name: /  /p'
fi
