#!/usr/bin/env bash
# Builds the libFuzzer targets with clang in build/fuzz and runs each in turn for FUZZ_SECONDS
# (default 60) with AddressSanitizer and a memory limit of 512 MB. A crash, an out-of-memory, a
# leak or an input slower than FUZZ_TIMEOUT seconds fails the run; the offending input is left in
# build/fuzz/run/<target>/artifacts/. The committed seeds and regression inputs in
# fuzz/corpus/<target>/ are read, never written: what a run finds goes to
# build/fuzz/run/<target>/corpus/.
#
#   scripts/fuzz.sh                       every target, 60 s each
#   FUZZ_SECONDS=1800 scripts/fuzz.sh fuzz_scpi_model
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${FUZZ_SECONDS:-60}
timeout=${FUZZ_TIMEOUT:-30}
build=build/fuzz
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  targets=(fuzz_parameter_file fuzz_cli_json fuzz_message_reader fuzz_scpi_model)
fi

if [ ! -f "$build/build.ninja" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DKELVANE_FUZZ=ON -DKELVANE_BUILD_TESTS=OFF -DKELVANE_BUILD_BENCH=OFF >/dev/null
fi
cmake --build "$build" -j "${JOBS:-$(nproc)}" --target "${targets[@]}" fuzz_seeds

failed=()
for t in "${targets[@]}"; do
  run="$build/run/$t"
  mkdir -p "$run/corpus" "$run/artifacts"
  corpora=("$run/corpus")
  [ -d "fuzz/corpus/$t" ] && corpora+=("fuzz/corpus/$t")
  if [ "$t" = fuzz_parameter_file ]; then
    # Well-formed parameter and configuration files, written by the current code.
    mkdir -p "$run/seeds"
    "$build/fuzz/fuzz_seeds" "$run/seeds" >/dev/null
    corpora+=("$run/seeds")
  fi
  echo "fuzz: $t for ${seconds} s"
  if "$build/fuzz/$t" -max_total_time="$seconds" -rss_limit_mb=512 -timeout="$timeout" \
    -max_len=4096 -print_final_stats=1 -artifact_prefix="$run/artifacts/" "${corpora[@]}" \
    >"$run/fuzz.log" 2>&1; then
    grep -E '^Done|^stat::number_of_executed_units' "$run/fuzz.log" | tr '\n' ' '
    grep -E '^#[0-9]+' "$run/fuzz.log" | tail -1 | grep -oE 'cov: [0-9]+ ft: [0-9]+' || true
  else
    echo "fuzz: $t FAILED; the log is $run/fuzz.log, the input in $run/artifacts/"
    grep -E 'ERROR|SUMMARY|runtime error' "$run/fuzz.log" | head -5 || true
    failed+=("$t")
  fi
done

if [ ${#failed[@]} -ne 0 ]; then
  echo "fuzz: failed: ${failed[*]}"
  exit 1
fi
echo "fuzz: ${#targets[@]} passed, 0 failed"
