#!/usr/bin/env bash
# Builds the libFuzzer targets (preset "fuzz") and runs each for SECONDS_PER_TARGET seconds
# (default 20), after replaying the saved inputs of fuzz/regressions/<target>/. Each target
# works on a copy of its seed corpus in build/fuzz/run/corpus/, which grows from run to run;
# the committed corpus is not touched. Exits nonzero on any finding, whose input is kept in
# build/fuzz/run/findings/<target>/.
#   tools/fuzz.sh          about a minute in all
#   tools/fuzz.sh 600      ten minutes per target
set -euo pipefail

seconds="${1:-20}"
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
bash tools/setup.sh

targets=(fuzz_events fuzz_settings fuzz_player)
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz --target "${targets[@]}"

run="$root/build/fuzz/run"
mkdir -p "$run/tmp"
# Each target on its own core for the same time: the three run side by side.
fuzz_target() {
  local target=$1 binary corpus findings log options regressions failed=0
  binary="$root/build/fuzz/fuzz/$target"
  corpus="$run/corpus/$target"
  findings="$run/findings/$target"
  log="$run/$target.log"
  mkdir -p "$corpus" "$findings"
  cp -r "fuzz/corpus/$target/." "$corpus/"
  options=(-timeout=10 -artifact_prefix="$findings/" -print_final_stats=1)
  # Settings files of any length, well past what the other inputs need.
  [ "$target" = fuzz_settings ] && options+=(-max_len=65536)

  shopt -s nullglob
  regressions=("fuzz/regressions/$target"/*)
  shopt -u nullglob
  if [ ${#regressions[@]} -gt 0 ]; then
    if TMPDIR="$run/tmp" "$binary" "${options[@]}" "${regressions[@]}" >"$log" 2>&1; then
      echo "$target: ${#regressions[@]} regression input(s) pass"
    else
      echo "$target: a regression input fails again"
      tail -n 40 "$log"
      failed=1
    fi
  fi

  if TMPDIR="$run/tmp" "$binary" "${options[@]}" -max_total_time="$seconds" "$corpus" \
    >"$log" 2>&1; then
    echo "$target: $(grep -E '^Done [0-9]+ runs' "$log" || echo 'done')," \
      "corpus $(find "$corpus" -type f | wc -l) inputs"
  else
    echo "$target: FINDING, input kept in $findings/"
    grep -E -A 40 '^==[0-9]+==ERROR|runtime error|^driver: |deadly signal|timeout' "$log" |
      head -n 60
    failed=1
  fi
  return "$failed"
}

status=0
pids=()
for target in "${targets[@]}"; do
  fuzz_target "$target" &
  pids+=($!)
done
for pid in "${pids[@]}"; do
  wait "$pid" || status=1
done
exit "$status"
