#!/usr/bin/env bash
# Checks a generated class with the preflight program on all cores and times
# it against md5sum of the same files run in parallel on the same cores, both
# with a warm page cache. Prints the ratio, images per second and the peak
# resident memory of the check.
#   bench/preflight_bench.sh [orders] [images-per-order] [bytes-per-image]
# Defaults: 200 orders x 20 images of 1 MB. The 20 MB variant:
#   bench/preflight_bench.sh 10 20 20000000
# With NO_EXIF=1 the pages carry real pixels and no Exif at all, so the check
# takes their size and density from the JPEG itself:
#   NO_EXIF=1 bench/preflight_bench.sh 10 20
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT="$PWD"
ORDERS="${1:-200}"
PER_ORDER="${2:-20}"
BYTES="${3:-1000000}"
CORES="$(nproc)"
BUILD="${BUILD_DIR:-build}"
[[ -x "$BUILD/tools/preflight/preflight" ]] || ./scripts/build.sh >/dev/null

WORK="$(mktemp -d "${TMPDIR:-/tmp}/preflight-bench.XXXXXX")"
trap 'rm -rf "$WORK"' EXIT

# The magazine product counts its cover as a page: cover + (n-1) spreads = n pages.
INNER=$((PER_ORDER - 1))
PAGE='"mm": [406, 206], "dpi": 300'
[[ "${NO_EXIF:-0}" == 1 ]] && PAGE="$PAGE"', "exif": false, "realPixels": true'
{
    printf '{"folder": "bench-class", "entries": ['
    for ((i = 1; i <= ORDERS; i++)); do
        ((i > 1)) && printf ','
        printf '{"folder": "order %03d", "entries": [' "$i"
        printf '{"image": "封面.jpg", %s, "bytes": %d},' "$PAGE" "$BYTES"
        printf '{"images": "{n}.jpg", "count": %d, %s, "bytes": %d}]}' "$INNER" "$PAGE" "$BYTES"
    done
    printf ']}'
} > "$WORK/description.json"

echo "bench: generating $ORDERS orders x $PER_ORDER images of $BYTES bytes"
"$BUILD/tools/samplegen/samplegen" "$WORK/description.json" "$WORK" >/dev/null 2>&1
CLASS="$WORK/bench-class"
IMAGES=$(find "$CLASS" -type f -name '*.jpg' | wc -l)

warm() { find "$CLASS" -type f -name '*.jpg' -print0 | xargs -0 cat > /dev/null; }
now() { date +%s.%N; }
best() { sort -g | head -1; }

warm; warm
md5_times=()
for run in 1 2 3; do
    t0=$(now)
    find "$CLASS" -type f -name '*.jpg' -print0 | xargs -0 -n 20 -P "$CORES" md5sum > /dev/null
    t1=$(now)
    md5_times+=("$(echo "$t1 - $t0" | bc -l)")
done
MD5=$(printf '%s\n' "${md5_times[@]}" | best)

check_times=()
PEAK_KB=0
for run in 1 2 3; do
    t0=$(now)
    /usr/bin/time -f '%M' -o "$WORK/rss" "$BUILD/tools/preflight/preflight" \
        --product tools/localbackend/data/catalogue.json --spu 1007 --threads "$CORES" --json "$CLASS" \
        > "$WORK/report.json" 2>/dev/null || true
    t1=$(now)
    check_times+=("$(echo "$t1 - $t0" | bc -l)")
    kb=$(tail -1 "$WORK/rss")
    ((kb > PEAK_KB)) && PEAK_KB=$kb
done
CHECK=$(printf '%s\n' "${check_times[@]}" | best)
MATCHED=$(grep -c "\"state\": \"匹配成功\"" "$WORK/report.json" || true)

printf 'bench: %d images (%d orders, %d bytes each%s), %d cores\n' "$IMAGES" "$ORDERS" "$BYTES" \
    "$([[ "${NO_EXIF:-0}" == 1 ]] && echo ', real pixels without Exif')" "$CORES"
printf 'bench: md5sum in parallel   %8.3f s (best of 3)\n' "$MD5"
printf 'bench: preflight check      %8.3f s (best of 3), %d of %d orders matched\n' "$CHECK" "$MATCHED" "$ORDERS"
printf 'bench: ratio check/md5sum   %8.3f\n' "$(echo "$CHECK / $MD5" | bc -l)"
printf 'bench: images per second    %8.1f\n' "$(echo "$IMAGES / $CHECK" | bc -l)"
printf 'bench: peak resident memory %8.1f MB\n' "$(echo "$PEAK_KB / 1024" | bc -l)"
