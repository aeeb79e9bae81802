#!/usr/bin/env bash
# The demo: the main job with the start-up parameters, on the built-in instrument simulator.
# kelvane-cli calculates the traffic and control waveforms, downloads both to the simulated
# signal generator over loopback, builds the two-step sequence, plays it, and prints what the
# simulator then holds.
set -euo pipefail
build=${1:-build/release}
cli=$(realpath "$build/src/cli/kelvane-cli")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"   # the caller's defaults.mat is neither read nor written
echo "== kelvane-cli download --instrument sim --yes (start-up parameters)"
start=$(date +%s%N)
"$cli" download --instrument sim --yes 2>&1
end=$(date +%s%N)
awk -v ns=$((end - start)) 'BEGIN { printf "== demo finished in %.2f s\n", ns / 1e9 }'
