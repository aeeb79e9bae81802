#!/usr/bin/env bash
# Runs every benchmark program of the build folder given ($1).
set -euo pipefail
build=${1:-build/release}
found=0
for b in "$build"/bench/bench_*; do
  [ -x "$b" ] || continue
  found=1
  echo "== $(basename "$b")"
  "$b" --benchmark_counters_tabular=true
done
[ "$found" -eq 1 ] || echo "no benchmark programs built"
