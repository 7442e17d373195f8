#!/usr/bin/env bash
# The main job: installs what is missing, builds, prepares a working folder
# and starts the client there. Without a display the client runs under Xvfb.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT="$PWD"
./scripts/install.sh
./scripts/build.sh

WORK="$ROOT/demo-run"
mkdir -p "$WORK/data"
cd "$WORK"

if [[ -z "${DISPLAY:-}" ]]; then
    echo "run: no display, starting the client under Xvfb"
    exec xvfb-run -a -s "-screen 0 1600x900x24" "$ROOT/build/src/orderdesk"
fi
exec "$ROOT/build/src/orderdesk"
