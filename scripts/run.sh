#!/usr/bin/env bash
# The main job: installs what is missing, builds, starts the local backend and
# the local object store on loopback, prepares a working folder and starts
# the client there. Without a display it runs a guided tour of the client
# instead and writes a page of its steps. Stopping the client (or the end of
# the tour, or Ctrl+C) stops everything it started.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT="$PWD"
./scripts/install.sh
./scripts/build.sh

WORK="$ROOT/demo-run"
mkdir -p "$WORK/data"
cp tools/demo/error.json "$WORK/data/error.json"

BACKEND_PORT=27080
STORE_PORT=27090
PIDS=()
trap 'kill "${PIDS[@]}" 2>/dev/null || true' EXIT
wait_for() {
    for _ in $(seq 100); do
        grep -q "listening on port" "$1" && return 0
        kill -0 "$2" 2>/dev/null || { cat "$1"; exit 1; }
        sleep 0.1
    done
    cat "$1"; exit 1
}
"$ROOT/build/tools/localbackend/localbackend" --port "$BACKEND_PORT" > "$WORK/localbackend.log" 2>&1 &
PIDS+=($!); wait_for "$WORK/localbackend.log" $!
# The store keeps its objects in the working folder, across runs.
node "$ROOT/tools/objectstore/server.js" --port "$STORE_PORT" --dir "$WORK/objectstore" > "$WORK/objectstore.log" 2>&1 &
PIDS+=($!); wait_for "$WORK/objectstore.log" $!

# The client's configuration points at both servers.
printf '{\n  "baseUrl": "http://127.0.0.1:%s/",\n  "baseUrlW": "http://127.0.0.1:%s/",\n  "imageHost": "http://127.0.0.1:%s"\n}\n' \
    "$BACKEND_PORT" "$BACKEND_PORT" "$STORE_PORT" > "$WORK/data/config.json"

# Sample class folders for each product kind, some orders deliberately wrong.
SAMPLES="$WORK/samples"
for preset in album-class frame-class series-class; do
    if [[ ! -d "$SAMPLES/$preset" ]]; then
        "$ROOT/build/tools/samplegen/samplegen" "$ROOT/tools/samplegen/presets/$preset.json" "$SAMPLES/$preset" > /dev/null
    fi
done

cat <<MSG
run: local backend on http://127.0.0.1:$BACKEND_PORT/ (log: $WORK/localbackend.log)
run: local object store on http://127.0.0.1:$STORE_PORT/ (log: $WORK/objectstore.log)
run: demo accounts (phone / password):
       13800000001 / demo1234      ordinary store
       13800000002 / wedding'88    WEDDINGDRESS store
       13800000003 / later-stage   LATERSTAGE store
run: sample class folders to drop on the new-order page ($SAMPLES):
       album-class/三年二班            经典对裱相册, 8寸 皮质封面 (2 right, 5 with one fault each)
       frame-class/水晶摆台 二年一班    水晶摆台, 7寸摆台
       series-class/毕业季 六年一班     毕业季套系
MSG

cd "$WORK"
if [[ -n "${DISPLAY:-}" ]]; then
    "$ROOT/build/src/orderdesk"
    exit 0
fi

# No display: a guided tour of the real window on a virtual screen of a
# laptop's size, from a fresh queue, one screenshot a step and a page showing
# them in order. Everything started here stops when it ends.
TOUR="$WORK/tour"
rm -rf "$TOUR" "$WORK/tour-home"
mkdir -p "$TOUR" "$WORK/tour-home"
for n in $(seq 90 120); do [[ -e /tmp/.X11-unix/X$n ]] || break; done
Xvfb ":$n" -screen 0 1366x768x24 -nolisten tcp > "$WORK/xvfb.log" 2>&1 &
PIDS+=($!)
export DISPLAY=":$n"
for _ in $(seq 50); do [[ -e /tmp/.X11-unix/X$n ]] && break; sleep 0.1; done
echo "run: no display; a guided tour of the client runs under Xvfb on $DISPLAY (1366x768)"
status=0
HOME="$WORK/tour-home" "$ROOT/build/tools/tour/tour" "$TOUR" "$SAMPLES" || status=$?
echo "run: the tour's page: $TOUR/index.html"
exit $status
