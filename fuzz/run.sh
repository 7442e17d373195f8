#!/usr/bin/env bash
# fuzz/run.sh [SECONDS]: builds the fuzz targets with clang under libFuzzer,
# ASan and UBSan (build-fuzz/), generates their seed corpora with the
# project's own tools, and runs each target for SECONDS (default 60).
# Exits non-zero when a target crashes, leaks, times out or runs out of
# memory (one allocation over 200 MB counts); the reproducer and the log are
# kept under build-fuzz/findings/.
set -euo pipefail
cd "$(dirname "$0")/.."

SECONDS_EACH="${1:-60}"
BUILD="${FUZZ_BUILD_DIR:-build-fuzz}"
TARGETS=(fuzz_imageinspector fuzz_productparser fuzz_folderintake)

./scripts/install.sh >/dev/null

if [[ ! -f "$BUILD/build.ninja" ]]; then
    CC=clang CXX=clang++ cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DORDERDESK_FUZZ=ON -DBUILD_TESTING=OFF >/dev/null
fi
cmake --build "$BUILD" --parallel "$(nproc)" --target "${TARGETS[@]}" fuzz_seeds samplegen

work="$(mktemp -d)"
pids=()
stop_all() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
    rm -rf "$work"
}
trap stop_all EXIT
trap 'exit 130' INT TERM

# The targets log like the client does; keep that out of the real home.
export HOME="$work/home" XDG_DATA_HOME="$work/home/.local/share" TMPDIR="$work"
mkdir -p "$HOME"
export ASAN_OPTIONS="detect_leaks=0:abort_on_error=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"

"$BUILD/fuzz/fuzz_seeds" "$work/seeds"
"$BUILD/tools/samplegen/samplegen" fuzz/image-seeds.json "$work/gen" >/dev/null
mkdir -p "$work/seeds/imageinspector"
cp "$work"/gen/images/* "$work/seeds/imageinspector/"
# Other formats under a .jpg name: the same picture as TIFF (Exif in IFDs) and PNG.
convert "$work/gen/images/exif.jpg" "$work/seeds/imageinspector/exif.tif"
convert "$work/gen/images/exif.jpg" "$work/seeds/imageinspector/exif.png"

findings="$BUILD/findings"
mkdir -p "$findings"
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0"
failed=0
for target in "${TARGETS[@]}"; do
    name="${target#fuzz_}"
    corpus="$work/corpus/$name"
    mkdir -p "$corpus"
    log="$findings/$name.log"
    rm -f "$findings/$name-"*
    start=$(date +%s)
    "$BUILD/fuzz/$target" "$corpus" "$work/seeds/$name" -max_total_time="$SECONDS_EACH" \
        -timeout=10 -rss_limit_mb=2048 -malloc_limit_mb=200 -max_len=65536 -print_final_stats=1 \
        -artifact_prefix="$findings/$name-" >"$log" 2>&1 &
    pids+=($!)
    status=0
    wait "${pids[-1]}" || status=$?
    execs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || echo 0)
    rate=$(grep -o 'stat::average_exec_per_sec: *[0-9]*' "$log" | grep -o '[0-9]*$' || echo 0)
    echo "fuzz: $name $(( $(date +%s) - start )) s, $execs runs, $rate exec/s, exit $status"
    if ((status != 0)); then
        failed=1
        grep -E -A40 '^==[0-9]+==ERROR|runtime error|ALARM|out-of-memory' "$log" | head -60 || true
        ls "$findings/$name-"* 2>/dev/null || true
    fi
done
exit "$failed"
