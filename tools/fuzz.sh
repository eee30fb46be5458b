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
# A finding's input in the log as well, so that a run whose files are gone (a CI checkout) can
# still be replayed: base64 -d into a file, then give the file to the target.
print_findings() {
  local target=$1 log=$2 input
  for input in $(sed -n 's/^Test unit written to //p' "$log"); do
    [ -f "$input" ] || continue
    if [ "$(stat -c %s "$input")" -le 4096 ]; then
      echo "$target: $(basename "$input") in base64: $(base64 -w0 "$input")"
    else
      echo "$target: $(basename "$input") is $(stat -c %s "$input") bytes, too long to print"
    fi
  done
}

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
    grep -E -A 15 '^==[0-9]+==ERROR|runtime error|^driver: |deadly signal|timeout' "$log" |
      head -n 30
    print_findings "$target" "$log"
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
