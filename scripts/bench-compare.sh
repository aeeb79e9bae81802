#!/usr/bin/env bash
# Before and after, side by side in one run: the whole `kelvane-cli calculate` process (CPU time =
# user + system, and wall time; median of N runs) for the start-up and the largest case with 1
# and 2 threads, and bench_download of both builds. The before build is a build of the commit
# before the speed work (e.g. cmake -S <checkout of be7c20c> -B /tmp/before; cmake --build
# /tmp/before --target kelvane-cli bench_download).
#   scripts/bench-compare.sh BEFORE_BUILD [AFTER_BUILD] [N]
set -euo pipefail
before=${1:?usage: bench-compare.sh BEFORE_BUILD [AFTER_BUILD] [N]}
after=${2:-build/release}
n=${3:-5}
largest=(--set trafficChannelDRCValue=1 --set trafficChannelPackets=16 --set oversampleRatio=24
         --set filterType=3 --set phaseEqualizationActive=1)
startup=()

echo "load before: $(cut -d' ' -f1-3 /proc/loadavg)"
median() { sort -g | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR + 1) / 2] : (a[NR / 2] + a[NR / 2 + 1]) / 2}'; }
run() {  # build threads args... -> "cpu wall" in seconds, from the shell's own clock (1 ms)
  local build=$1 threads=$2; shift 2
  local TIMEFORMAT="%3U %3S %3R"
  { time KELVANE_THREADS=$threads "$build/src/cli/kelvane-cli" calculate "$@" >/dev/null 2>&1; } \
    2>&1 | awk '{printf "%.3f %.3f\n", $1 + $2, $3}'
}
# Each build's runs in a block after one untimed run: the before build's 4 KiB pages, run in
# between, would leave the kernel too few free huge pages for the after build's first touch.
for name in startup largest; do
  declare -n args=$name
  for threads in 1 2; do
    for which in before after; do
      build=$before; [ "$which" = after ] && build=$after
      run "$build" "$threads" "${args[@]}" >/dev/null
      : >/tmp/bench-compare.$which
      for ((i = 0; i < n; i++)); do
        run "$build" "$threads" "${args[@]}" >>/tmp/bench-compare.$which
      done
      cpu=$(cut -d' ' -f1 /tmp/bench-compare.$which | median)
      wall=$(cut -d' ' -f2 /tmp/bench-compare.$which | median)
      printf "%-8s %-6s threads=%s  CPU %6.3f s  wall %6.3f s\n" "$name" "$which" "$threads" "$cpu" "$wall"
    done
  done
  unset -n args
done
for which in before after; do
  build=$before; [ "$which" = after ] && build=$after
  echo "== bench_download ($which)"
  "$build/bench/bench_download" --benchmark_repetitions="$n" --benchmark_report_aggregates_only=true \
    2>/dev/null | grep -E "median"
done
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
