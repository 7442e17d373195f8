#!/usr/bin/env bash
# Uploads the same generated files to the local verifying object store three
# ways in one invocation: the client's pipeline (upload agent, default
# settings), rclone copy --transfers 4, and aws s3 cp --recursive (4
# concurrent requests). Two cases: large files, where the transfers bind, and
# small ones, where per-image costs do. Prints MB/s of each and the tools'
# time over the pipeline's (above 1: the pipeline is faster), each tool's best
# of ROUNDS rounds (default 5).
#   bench/upload_bench.sh [large-files] [small-files]   (default 400 x 5 MB, 3000 x 200 KB; 0 skips a case)
# LINE=office|fiber|far (or a comma-separated list) adds the same two cases
# through tools/lineproxy, a line of that rate and round trip shared by all
# connections, which every tool then uses for the store:
#   office 100 Mbit/s 40 ms, 60 x 5 MB and 1000 x 200 KB
#   fiber  500 Mbit/s 30 ms, 100 x 5 MB and 2000 x 200 KB
#   far    100 Mbit/s 150 ms, 30 x 5 MB and 300 x 200 KB
#   fiber-tls  the fiber line to a second store that speaks https only, with
#          a certificate of a CA made for the run; the line carries the TLS
#          bytes unchanged, and every tool trusts that CA (the pipeline
#          through caFile, rclone --ca-cert, aws --ca-bundle)
# Each line case also prints each tool's line use: the time the line needs
# for the payload over the tool's time, so 1.00 is the physical limit.
# LINE=fiber bench/upload_bench.sh 0 0 runs that line alone; LINE_FILES=large,small
# replaces the lines' file counts (for a short trial).
# LIMIT_MBIT=N gives the pipeline the operator's upload limit (Setting.ini)
# and prints the rate it kept against it, e.g. for the fiber line's 300 MB:
#   LIMIT_MBIT=50 LINE=fiber LINE_FILES=60,0 TOOLS=pipeline bench/upload_bench.sh 0 0
# CEILING=1 also times the pipeline on each line case's files straight to the
# store, with no line between, in its turn among the tools: how fast the store
# and this machine take them unpaced. Not a bound: unpaced bursts can cost the
# store more than a line's paced arrivals.
# TOOLS picks a subset (default "pipeline rclone awscli"). PIPELINE_ARGS are
# handed to the upload agent, to measure one lever alone: "--transfers 4"
# fixes the window, "--fresh-connections" opens a connection per request.
# BUILD_DIR (relative to the checkout or absolute) names the build; with
# PERF_DATA=<prefix> each pipeline run is recorded by perf into <prefix>.<case>.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT="$PWD"
LARGE_FILES="${1:-400}"
SMALL_FILES="${2:-3000}"
ROUNDS="${ROUNDS:-5}"
# Per line: rate in Mbit/s, round trip in ms, large and small files.
declare -A LINE_CASES=([office]="100 40 60 1000" [fiber]="500 30 100 2000" [far]="100 150 30 300"
    [fiber-tls]="500 30 100 2000")
LINE="${LINE:-}"
LINES=()
for line in ${LINE//,/ }; do
    [[ -n "${LINE_CASES[$line]:-}" ]] || { echo "bench: unknown line '$line' (office, fiber, far or fiber-tls)" >&2; exit 2; }
    LINES+=("$line")
done
BUILD="${BUILD_DIR:-build}"
[[ "$BUILD" = /* ]] || BUILD="$ROOT/$BUILD"
[[ -x "$BUILD/tools/uploadagent/uploadagent" ]] || BUILD_DIR="$BUILD" ./scripts/build.sh >/dev/null

WORK="$(mktemp -d "${TMPDIR:-/tmp}/upload-bench.XXXXXX")"
PIDS=()
cleanup() {
    for p in "${PIDS[@]}"; do kill "$p" 2>/dev/null || true; done
    for p in "${PIDS[@]}"; do wait "$p" 2>/dev/null || true; done
    rm -rf "$WORK"
}
trap cleanup EXIT

wait_for() { for _ in $(seq 100); do grep -q "$2" "$1" 2>/dev/null && return 0; sleep 0.1; done; cat "$1"; return 1; }
now() { date +%s.%N; }

"$BUILD/tools/localbackend/localbackend" --port 0 > "$WORK/backend.log" 2>&1 & PIDS+=($!)
node tools/objectstore/server.js --port 0 --dir "$WORK/store" > "$WORK/store.log" 2>&1 & PIDS+=($!)
wait_for "$WORK/backend.log" "listening"; wait_for "$WORK/store.log" "listening"
BACKEND="http://127.0.0.1:$(grep -o 'port [0-9]*' "$WORK/backend.log" | grep -o '[0-9]*')"
port_of() { grep -o 'port [0-9]*' "$1" | head -1 | grep -o '[0-9]*'; }
BACKEND="http://127.0.0.1:$(port_of "$WORK/backend.log")"
STORE_PORT=$(port_of "$WORK/store.log")
STORE="http://127.0.0.1:$STORE_PORT"
KEY=LOCALDEVACCESSKEY01; SECRET=local-dev-secret-key-0123456789abcdef; TOKEN=local-dev-session-token
mkdir -p "$WORK/client/data" "$WORK/home"

# A line ending in -tls goes to a second store that speaks https only, with a
# certificate for 127.0.0.1 from a CA made here.
CA=""
if [[ " ${LINES[*]} " == *-tls\ * ]]; then
    CA="$WORK/tls/ca.pem"; mkdir -p "$WORK/tls"
    tls_key() { openssl req -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -keyout "$WORK/tls/$1.key" "${@:2}" 2>/dev/null; }
    tls_key ca -x509 -out "$CA" -subj "/CN=bench CA" -days 2
    tls_key store -out "$WORK/tls/store.csr" -subj /CN=127.0.0.1
    printf 'subjectAltName=IP:127.0.0.1,DNS:localhost\n' > "$WORK/tls/names"
    openssl x509 -req -in "$WORK/tls/store.csr" -CA "$CA" -CAkey "$WORK/tls/ca.key" -CAcreateserial -days 2 \
        -extfile "$WORK/tls/names" -out "$WORK/tls/store.pem" 2>/dev/null
    node tools/objectstore/server.js --port 0 --dir "$WORK/store-tls" \
        --tls-cert "$WORK/tls/store.pem" --tls-key "$WORK/tls/store.key" > "$WORK/store-tls.log" 2>&1 & PIDS+=($!)
    wait_for "$WORK/store-tls.log" "listening"
    TLS_STORE_PORT=$(port_of "$WORK/store-tls.log")
fi

# Where every tool sends its requests for the store: the store itself, or a
# line in front of it. The pipeline writes to the endpoint of the storage
# credentials the backend hands out and checks for stored images at the
# config's imageHost, both path-style, so both name it.
# An https endpoint comes with the CA every tool is to trust.
use_endpoint() {  # URL [CA file]
    ENDPOINT=$1
    local ca=${2:-}
    CA_IN_USE=$ca
    curl -s -X POST -d "{\"accessKeyId\":\"$KEY\",\"secretAccessKey\":\"$SECRET\",\"sessionToken\":\"$TOKEN\",\"bucketName\":\"normal-order-image\",\"endpoint\":\"$ENDPOINT\",\"expiresInMinutes\":60}" "$BACKEND/__control/sts" > /dev/null
    printf '{"baseUrl": "%s/", "imageHost": "%s"%s}' "$BACKEND" "$ENDPOINT" "${ca:+, \"caFile\": \"$ca\"}" > "$WORK/client/data/config.json"
    export RCLONE_CONFIG_BENCH_ENDPOINT="$ENDPOINT"
    TRUST_RCLONE=(); TRUST_AWS=()
    [[ -z "$ca" ]] || { TRUST_RCLONE=(--ca-cert "$ca"); TRUST_AWS=(--ca-bundle "$ca"); }
}
use_endpoint "$STORE"

# The client's pipeline, in a working folder of its own. A backgrounded
# subshell that execs the agent leaves $! the agent's own pid (a backgrounded
# function would add a shell between them).
AGENT="$BUILD/tools/uploadagent/uploadagent"
uploaded() { sqlite3 -cmd ".timeout 5000" "$WORK/home/.vell/batchDesk1.db" "SELECT count(*) FROM images WHERE status='uploaded'" 2>/dev/null || echo 0; }
clear_store() { rm -rf "$WORK/store/normal-order-image"/* "$WORK/store-tls/normal-order-image"/* 2>/dev/null || true; }
pipeline_run() {  # files, case name; sets PIPE (seconds)
    rm -rf "$WORK/home/.vell"
    if [[ -n "${LIMIT_MBIT:-}" ]]; then
        mkdir -p "$WORK/home/.local/share/orderdesk"
        printf '[General]\nUploadLimitMbit=%s\n' "$LIMIT_MBIT" > "$WORK/home/.local/share/orderdesk/Setting.ini"
    fi
    (cd "$WORK/client" && HOME="$WORK/home" "$AGENT" --enqueue "$WORK/files" > /dev/null)
    local t0 t1 pid perf=()
    # Recorded from its start, so the pool's threads are followed too.
    [[ -z "${PERF_DATA:-}" ]] || perf=(perf record -g -o "$PERF_DATA.$2" --)
    # The agent ends itself once the last outcome is recorded, so it is timed
    # to its exit as the other tools are, and nothing polls its database.
    t0=$(now)
    (cd "$WORK/client" && HOME="$WORK/home" exec "${perf[@]}" "$AGENT" --exit-when-done ${PIPELINE_ARGS:-}) \
        > "$WORK/agent.log" 2>&1 & pid=$!; PIDS+=("$pid")
    wait "$pid" || { cat "$WORK/agent.log"; echo "bench: the upload agent failed" >&2; exit 1; }
    t1=$(now)
    local done
    done=$(uploaded)
    [[ "$done" -ge "$1" ]] || { echo "bench: the agent ended with $done of $1 images uploaded" >&2; exit 1; }
    PIPE=$(echo "$t1 - $t0" | bc -l)
}

# A CA bundle set for the machine's own proxies makes the SDKs refuse plain HTTP.
unset AWS_CA_BUNDLE
export RCLONE_CONFIG_BENCH_TYPE=s3 RCLONE_CONFIG_BENCH_PROVIDER=Other \
       RCLONE_CONFIG_BENCH_ACCESS_KEY_ID=$KEY RCLONE_CONFIG_BENCH_SECRET_ACCESS_KEY=$SECRET \
       RCLONE_CONFIG_BENCH_SESSION_TOKEN=$TOKEN RCLONE_CONFIG_BENCH_REGION=us-east-1 \
       RCLONE_CONFIG_BENCH_FORCE_PATH_STYLE=true
export AWS_ACCESS_KEY_ID=$KEY AWS_SECRET_ACCESS_KEY=$SECRET AWS_SESSION_TOKEN=$TOKEN AWS_DEFAULT_REGION=us-east-1 \
       AWS_CONFIG_FILE="$WORK/aws-config"
printf '[default]\ns3 =\n    max_concurrent_requests = 4\n' > "$AWS_CONFIG_FILE"

# One tool's upload of the case's files, timed in seconds into T.
run_tool() {  # tool, files, case name
    local t0 t1
    clear_store
    # Nothing of the run before (nor of the generated files) is left for the
    # kernel to write back while this one is timed.
    sync
    case "$1" in
    pipeline) pipeline_run "$2" "$3"; T=$PIPE; return ;;
    noline)
        local endpoint=$ENDPOINT ca=${CA_IN_USE:-}
        use_endpoint "$NOLINE_ENDPOINT" "$NOLINE_CA"
        pipeline_run "$2" "$3-noline"; T=$PIPE
        use_endpoint "$endpoint" "$ca"
        return ;;
    rclone) t0=$(now); rclone --config /dev/null copy --transfers 4 --s3-no-check-bucket "${TRUST_RCLONE[@]}" "$WORK/files" bench:normal-order-image/rclone; t1=$(now) ;;
    awscli) t0=$(now); /usr/bin/aws s3 cp --recursive --quiet --endpoint-url "$ENDPOINT" "${TRUST_AWS[@]}" "$WORK/files" s3://normal-order-image/awscli/; t1=$(now) ;;
    esac
    T=$(echo "$t1 - $t0" | bc -l)
}

# Each round runs the three in a rotated order, so a slow spell of the
# machine does not always fall on the same tool; each keeps its best round.
# With a line's rate, each tool's line use is printed too.
run_case() {  # files, bytes per file, label, case name[, line rate in Mbit/s, line's description]
    local files=$1 bytes=$2 label=$3 name=$4 line_mbit=${5:-} where=${6:-}
    [[ "$files" -gt 0 ]] || return 0
    rm -rf "$WORK/files"; mkdir -p "$WORK/files"
    for ((i = 0; i < files; i++)); do head -c "$bytes" /dev/urandom > "$WORK/files/img_$(printf %05d $i).jpg"; done
    cat "$WORK/files"/* > /dev/null
    local total_mb tools=(${TOOLS:-pipeline rclone awscli}) r k tool
    # The run with no line takes its turn in the rotation, so it meets the
    # store as the tools do (the store slows over a long invocation).
    [[ -z "$line_mbit" || -z "${CEILING:-}" ]] || tools+=(noline)
    declare -A best=()
    total_mb=$(echo "$files * $bytes / 1000000" | bc -l)
    for ((r = 0; r < ROUNDS; r++)); do
        local times=()
        for ((k = 0; k < ${#tools[@]}; k++)); do
            tool=${tools[$(((k + r) % ${#tools[@]}))]}
            run_tool "$tool" "$files" "$name"
            times+=("$tool $(printf %.1f "$T") s")
            if [[ -z "${best[$tool]:-}" ]] || (($(echo "$T < ${best[$tool]}" | bc -l))); then best[$tool]=$T; fi
        done
        printf 'bench: case %s round %d: %s\n' "$name" $((r + 1)) "$(IFS=,; echo "${times[*]}" | sed 's/,/, /g')"
    done
    clear_store

    rate() { echo "$total_mb / $1" | bc -l; }
    line() { printf 'bench: %-24s %7.1f s  %7.1f MB/s  %7.0f files/s\n' "$1" "$2" "$(rate "$2")" "$(echo "$files / $2" | bc -l)"; }
    printf 'bench: case %s: %d files x %s = %.0f MB%s to the local verifying store (rclone and aws with 4 transfers, the pipeline its window), best of %d\n' \
        "$name" "$files" "$label" "$total_mb" "$where" "$ROUNDS"
    [[ -z "${best[pipeline]:-}" ]] || line pipeline "${best[pipeline]}"
    [[ -z "${best[rclone]:-}" ]] || line "rclone copy" "${best[rclone]}"
    [[ -z "${best[awscli]:-}" ]] || line "aws s3 cp" "${best[awscli]}"
    [[ -z "${best[pipeline]:-}" ]] || {
        [[ -z "${best[rclone]:-}" ]] ||
            printf 'bench: pipeline speed / rclone   %.2f\n' "$(echo "${best[rclone]} / ${best[pipeline]}" | bc -l)"
        [[ -z "${best[awscli]:-}" ]] ||
            printf 'bench: pipeline speed / aws cli  %.2f\n' "$(echo "${best[awscli]} / ${best[pipeline]}" | bc -l)"
    }
    [[ -z "$line_mbit" ]] || {
        local need use=() t
        need=$(echo "$files * $bytes * 8 / ($line_mbit * 1000000)" | bc -l)
        for t in pipeline:pipeline rclone:rclone awscli:aws; do
            [[ -z "${best[${t%%:*}]:-}" ]] || use+=("${t#*:} $(printf %.2f "$(echo "$need / ${best[${t%%:*}]}" | bc -l)")")
        done
        printf 'bench: line use  %s\n' "$(IFS=,; echo "${use[*]}" | sed 's/,/  /g')"
    }
    [[ -z "${best[noline]:-}" ]] ||
        printf 'bench: no line  pipeline straight to the store %.1f s, the line time of its files over that %.2f\n' \
            "${best[noline]}" "$(echo "$files * $bytes * 8 / ($line_mbit * 1000000) / ${best[noline]}" | bc -l)"
    [[ -z "${LIMIT_MBIT:-}" || -z "${best[pipeline]:-}" ]] || {
        local kept
        kept=$(echo "$files * $bytes * 8 / (${best[pipeline]} * 1000000)" | bc -l)
        printf 'bench: limit %s Mbit/s  pipeline kept %.1f Mbit/s (%.2f of the limit)\n' \
            "$LIMIT_MBIT" "$kept" "$(echo "$kept / $LIMIT_MBIT" | bc -l)"
    }
}

# One line case: both sizes through a line proxy of the given rate and round
# trip, which is stopped afterwards so that it reports what it carried.
run_line() {  # name, rate in Mbit/s, round trip in ms, large files, small files
    local name=$1 mbit=$2 rtt=$3 log="$WORK/line-$1.log" pid target=$STORE_PORT scheme=http ca=""
    [[ "$name" != *-tls ]] || { target=$TLS_STORE_PORT; scheme=https; ca=$CA; }
    node tools/lineproxy/lineproxy.js --listen 0 --target "127.0.0.1:$target" --rate-mbit "$mbit" --rtt-ms "$rtt" \
        > "$log" 2>&1 & pid=$!; PIDS+=("$pid")
    wait_for "$log" "listening"
    NOLINE_ENDPOINT="$scheme://127.0.0.1:$target"; NOLINE_CA=$ca
    use_endpoint "$scheme://127.0.0.1:$(port_of "$log")" "$ca"
    local where=" through the $name line ($mbit Mbit/s, $rtt ms)"
    run_case "$4" 5000000 "5 MB" "$name-large" "$mbit" "$where"
    run_case "$5" 200000 "200 KB" "$name-small" "$mbit" "$where"
    kill "$pid"; wait "$pid" 2>/dev/null || true
    printf 'bench: %s line %s\n' "$name" "$(grep -o 'carried.*' "$log")"
    use_endpoint "$STORE"
}

echo "bench: $(nproc) cores"
run_case "$LARGE_FILES" 5000000 "5 MB" large
run_case "$SMALL_FILES" 200000 "200 KB" small
if ((${#LINES[@]})); then
    # The line's own model first: a line that cannot carry its rate here
    # would be blamed on the tools.
    node tools/lineproxy/selftest.js | sed 's/^selftest:/bench: line check:/'
    for line in "${LINES[@]}"; do
        read -r mbit rtt large small <<< "${LINE_CASES[$line]}"
        if [[ -n "${LINE_FILES:-}" ]]; then large=${LINE_FILES%,*}; small=${LINE_FILES#*,}; fi
        run_line "$line" "$mbit" "$rtt" "$large" "$small"
    done
fi
printf 'bench: store rejections: %s\n' "$(curl -s "$STORE/__control/stats")"
[[ -z "$CA" ]] || printf 'bench: https store rejections: %s\n' \
    "$(curl -s --cacert "$CA" "https://127.0.0.1:$TLS_STORE_PORT/__control/stats")"
