#!/usr/bin/env bash
# The main job: installs what is missing, builds, starts the local backend on
# loopback, prepares a working folder and starts the client there. Without a
# display the client runs under Xvfb. Stopping the client stops the backend.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT="$PWD"
./scripts/install.sh
./scripts/build.sh

WORK="$ROOT/demo-run"
mkdir -p "$WORK/data"
cp tools/demo/error.json "$WORK/data/error.json"
# The compiled-in defaults already point at the local backend's port.
rm -f "$WORK/data/config.json"

BACKEND_PORT=27080
"$ROOT/build/tools/localbackend/localbackend" --port "$BACKEND_PORT" > "$WORK/localbackend.log" 2>&1 &
BACKEND_PID=$!
trap 'kill $BACKEND_PID 2>/dev/null || true' EXIT
for _ in $(seq 50); do
    grep -q "listening on port" "$WORK/localbackend.log" && break
    kill -0 $BACKEND_PID 2>/dev/null || { cat "$WORK/localbackend.log"; exit 1; }
    sleep 0.1
done

cat <<MSG
run: local backend on http://127.0.0.1:$BACKEND_PORT/ (log: $WORK/localbackend.log)
run: demo accounts (phone / password):
       13800000001 / demo1234      ordinary store
       13800000002 / wedding'88    WEDDINGDRESS store
       13800000003 / later-stage   LATERSTAGE store
MSG

cd "$WORK"
if [[ -z "${DISPLAY:-}" ]]; then
    echo "run: no display, starting the client under Xvfb"
    xvfb-run -a -s "-screen 0 1600x900x24" "$ROOT/build/src/orderdesk"
else
    "$ROOT/build/src/orderdesk"
fi
