#!/usr/bin/env bash
# The demo: until the main job exists, builds the control-channel packet through kelvane-cli.
set -euo pipefail
build=${1:-build/release}
cli="$build/src/cli/kelvane-cli"
echo "Kelvane demo: the control-channel Sync message packet for PN offset 0, by name:"
"$cli" call Qarn_FwdSyncMessagePacket 0
