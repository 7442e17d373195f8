#!/usr/bin/env bash
# Uploads the same generated files to the local verifying object store three
# ways in one invocation: the client's pipeline (upload agent, 4 threads),
# rclone copy --transfers 4, and aws s3 cp --recursive (4 concurrent
# requests). Prints MB/s of each and the pipeline's ratios to the others.
#   bench/upload_bench.sh [files] [megabytes-per-file]     (default 1000 x 5)
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT="$PWD"
FILES="${1:-1000}"
MB="${2:-5}"
BUILD="${BUILD_DIR:-build}"
[[ -x "$BUILD/tools/uploadagent/uploadagent" ]] || ./scripts/build.sh >/dev/null

WORK="$(mktemp -d "${TMPDIR:-/tmp}/upload-bench.XXXXXX")"
PIDS=()
cleanup() { for p in "${PIDS[@]}"; do kill "$p" 2>/dev/null || true; done; rm -rf "$WORK"; }
trap cleanup EXIT

wait_for() { for _ in $(seq 100); do grep -q "$2" "$1" 2>/dev/null && return 0; sleep 0.1; done; cat "$1"; return 1; }
now() { date +%s.%N; }

"$BUILD/tools/localbackend/localbackend" --port 0 > "$WORK/backend.log" 2>&1 & PIDS+=($!)
node tools/objectstore/server.js --port 0 --dir "$WORK/store" > "$WORK/store.log" 2>&1 & PIDS+=($!)
wait_for "$WORK/backend.log" "listening"; wait_for "$WORK/store.log" "listening"
BACKEND="http://127.0.0.1:$(grep -o 'port [0-9]*' "$WORK/backend.log" | grep -o '[0-9]*')"
STORE="http://127.0.0.1:$(grep -o 'port [0-9]*' "$WORK/store.log" | grep -o '[0-9]*')"
KEY=LOCALDEVACCESSKEY01; SECRET=local-dev-secret-key-0123456789abcdef; TOKEN=local-dev-session-token
curl -s -X POST -d "{\"accessKeyId\":\"$KEY\",\"secretAccessKey\":\"$SECRET\",\"sessionToken\":\"$TOKEN\",\"bucketName\":\"normal-order-image\",\"endpoint\":\"$STORE\",\"expiresInMinutes\":60}" "$BACKEND/__control/sts" > /dev/null

echo "bench: generating $FILES files of $MB MB"
mkdir -p "$WORK/files"
for ((i = 0; i < FILES; i++)); do head -c $((MB * 1000000)) /dev/urandom > "$WORK/files/img_$(printf %05d $i).jpg"; done
TOTAL_MB=$((FILES * MB))
cat "$WORK/files"/* > /dev/null

# The client's pipeline, in a working folder of its own.
mkdir -p "$WORK/client/data" "$WORK/home"
printf '{"baseUrl": "%s/", "imageHost": "%s"}' "$BACKEND" "$STORE" > "$WORK/client/data/config.json"
agent() { (cd "$WORK/client" && HOME="$WORK/home" "$ROOT/$BUILD/tools/uploadagent/uploadagent" "$@"); }
uploaded() { sqlite3 -cmd ".timeout 5000" "$WORK/home/.vell/batchDesk1.db" "SELECT count(*) FROM images WHERE status='uploaded'" 2>/dev/null || echo 0; }
pipeline_run() {
    rm -rf "$WORK/home/.vell"
    agent --enqueue "$WORK/files" > /dev/null
    local t0 t1
    t0=$(now)
    agent --interval "$1" > "$WORK/agent.log" 2>&1 & local pid=$!
    until [[ "$(uploaded)" -ge "$FILES" ]]; do sleep 0.2; done
    t1=$(now)
    kill "$pid"; wait "$pid" 2>/dev/null || true
    echo "$t1 - $t0" | bc -l
}
PIPE=$(pipeline_run 5000)
# Objects stored by the first run are found by the HEAD check; clear them for the second.
rm -rf "$WORK/store/normal-order-image"/* 2>/dev/null || true
PIPE_FAST=$(pipeline_run 200)

# A CA bundle set for the machine's own proxies makes the SDKs refuse plain HTTP.
unset AWS_CA_BUNDLE
export RCLONE_CONFIG_BENCH_TYPE=s3 RCLONE_CONFIG_BENCH_PROVIDER=Other RCLONE_CONFIG_BENCH_ENDPOINT="$STORE" \
       RCLONE_CONFIG_BENCH_ACCESS_KEY_ID=$KEY RCLONE_CONFIG_BENCH_SECRET_ACCESS_KEY=$SECRET \
       RCLONE_CONFIG_BENCH_SESSION_TOKEN=$TOKEN RCLONE_CONFIG_BENCH_REGION=us-east-1 \
       RCLONE_CONFIG_BENCH_FORCE_PATH_STYLE=true
t0=$(now); rclone --config /dev/null copy --transfers 4 --s3-no-check-bucket "$WORK/files" bench:normal-order-image/rclone; t1=$(now)
RCLONE=$(echo "$t1 - $t0" | bc -l)

export AWS_ACCESS_KEY_ID=$KEY AWS_SECRET_ACCESS_KEY=$SECRET AWS_SESSION_TOKEN=$TOKEN AWS_DEFAULT_REGION=us-east-1 \
       AWS_CONFIG_FILE="$WORK/aws-config"
printf '[default]\ns3 =\n    max_concurrent_requests = 4\n' > "$AWS_CONFIG_FILE"
t0=$(now); /usr/bin/aws s3 cp --recursive --quiet --endpoint-url "$STORE" "$WORK/files" s3://normal-order-image/awscli/; t1=$(now)
AWSCLI=$(echo "$t1 - $t0" | bc -l)

rate() { echo "$TOTAL_MB / $1" | bc -l; }
printf 'bench: %d files x %d MB = %d MB to the local verifying store, 4 transfers each\n' "$FILES" "$MB" "$TOTAL_MB"
printf 'bench: pipeline (5 s polling)    %7.1f s  %7.1f MB/s\n' "$PIPE" "$(rate "$PIPE")"
printf 'bench: pipeline (0.2 s polling)  %7.1f s  %7.1f MB/s\n' "$PIPE_FAST" "$(rate "$PIPE_FAST")"
printf 'bench: rclone copy               %7.1f s  %7.1f MB/s\n' "$RCLONE" "$(rate "$RCLONE")"
printf 'bench: aws s3 cp                 %7.1f s  %7.1f MB/s\n' "$AWSCLI" "$(rate "$AWSCLI")"
printf 'bench: pipeline speed / rclone   %7.2f (0.2 s polling %.2f)\n' "$(echo "$RCLONE / $PIPE" | bc -l)" "$(echo "$RCLONE / $PIPE_FAST" | bc -l)"
printf 'bench: pipeline speed / aws cli  %7.2f (0.2 s polling %.2f)\n' "$(echo "$AWSCLI / $PIPE" | bc -l)" "$(echo "$AWSCLI / $PIPE_FAST" | bc -l)"
printf 'bench: store rejections: %s\n' "$(curl -s "$STORE/__control/stats")"
