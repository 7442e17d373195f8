#!/usr/bin/env bash
# The photographer's check report of a large class: a generated class of
# ORDERS orders x PAGES pages (default 200 x 20) of which every fifth fails
# (in turn: every inner page of the wrong width, one page at 72 dpi, a page
# short, a CMYK cover; the failing pages are full-size pictures, half of them
# with an Exif thumbnail) is checked by the preflight program with
# and without --report, warm cache, best of 3. Prints the time the report
# adds, its ratio to the check alone, the file size, its pages and the peak
# resident memory of both runs.
#   bench/report_bench.sh [orders] [pages]
set -euo pipefail
cd "$(dirname "$0")/.."
ORDERS="${1:-200}"
PAGES="${2:-20}"
BUILD="${BUILD_DIR:-build}"
[[ -x "$BUILD/tools/preflight/preflight" ]] || ./scripts/build.sh >/dev/null

WORK="$(mktemp -d "${TMPDIR:-/tmp}/report-bench.XXXXXX")"
trap 'rm -rf "$WORK"' EXIT

INNER=$((PAGES - 1)) # the magazine counts its cover as a page
page() { # name, width mm, extra keys
    printf '{"image": "%s", "mm": [%s, 206], "dpi": 300%s}' "$1" "$2" "$3"
}
{
    printf '{"folder": "bench-class", "entries": ['
    for ((i = 1; i <= ORDERS; i++)); do
        ((i > 1)) && printf ','
        printf '{"folder": "order %03d", "entries": [' "$i"
        cover=', "bytes": 1000000'
        inner_extra=', "bytes": 1000000' count=$INNER odd=""
        fault=$((i % 5 == 0 ? (i / 5) % 4 : -1))
        if ((fault == 0)); then
            # Every inner page too narrow, each by its own amount: one finding each.
            count=0
            for ((j = 1; j <= INNER; j++)); do
                odd+=",$(page "$j.jpg" $((370 + j)) ', "realPixels": true')"
            done
        elif ((fault == 1)); then
            count=$((INNER - 1))
            odd=",$(page "$INNER.jpg" 406 ', "realPixels": true, "resolution": "72/1", "exifThumbnail": true')"
        elif ((fault == 2)); then
            count=$((INNER - 1))
        elif ((fault == 3)); then
            cover=', "realPixels": true, "colorMode": "4", "exifThumbnail": true'
        fi
        page "封面.jpg" 406 "$cover"
        ((count > 0)) && printf ',{"images": "{n}.jpg", "count": %d, "mm": [406, 206], "dpi": 300%s}' \
            "$count" "$inner_extra"
        printf '%s]}' "$odd"
    done
    printf ']}'
} > "$WORK/description.json"

echo "bench: generating $ORDERS orders x $PAGES pages"
"$BUILD/tools/samplegen/samplegen" "$WORK/description.json" "$WORK" >/dev/null 2>&1
CLASS="$WORK/bench-class"
find "$CLASS" -type f -print0 | xargs -0 cat > /dev/null

now() { date +%s.%N; }
best() { sort -g | head -1; }
run() { # label, extra args...
    local label="$1" times=() peak=0 t0 t1 kb
    shift
    for round in 1 2 3; do
        t0=$(now)
        /usr/bin/time -f '%M' -o "$WORK/rss" "$BUILD/tools/preflight/preflight" \
            --product tools/localbackend/data/catalogue.json --spu 1007 --json "$@" "$CLASS" \
            > "$WORK/$label.json" 2>/dev/null || true
        t1=$(now)
        times+=("$(echo "$t1 - $t0" | bc -l)")
        kb=$(tail -1 "$WORK/rss")
        ((kb > peak)) && peak=$kb
    done
    printf '%s %s\n' "$(printf '%s\n' "${times[@]}" | best)" "$peak"
}

read -r CHECK CHECK_KB < <(run check)
read -r BOTH BOTH_KB < <(run report --report "$WORK/report.pdf")
FAILED=$(grep -c '"matched": false' "$WORK/report.json" || true)
PDF_PAGES=$(pdfinfo "$WORK/report.pdf" 2>/dev/null | awk '/^Pages:/ {print $2}')
SHOWN=$(pdftotext "$WORK/report.pdf" - 2>/dev/null | grep -c '^修改：' || true)
PAGES_SHOWN=$(pdftotext "$WORK/report.pdf" - 2>/dev/null | tr -s '、 \n' '\n' | grep -c '\.jpg$' || true)

printf 'bench: %d orders x %d pages, %d failed, %d cores\n' "$ORDERS" "$PAGES" "$FAILED" "$(nproc)"
printf 'bench: check alone          %8.3f s (best of 3), peak %6.1f MB\n' "$CHECK" "$(echo "$CHECK_KB / 1024" | bc -l)"
printf 'bench: check with report    %8.3f s (best of 3), peak %6.1f MB\n' "$BOTH" "$(echo "$BOTH_KB / 1024" | bc -l)"
printf 'bench: report alone         %8.3f s\n' "$(echo "$BOTH - $CHECK" | bc -l)"
printf 'bench: ratio with/without   %8.3f\n' "$(echo "$BOTH / $CHECK" | bc -l)"
printf 'bench: report file          %8.2f MB, %s pages, %d findings with a thumbnail, %d page names\n' \
    "$(echo "$(stat -c %s "$WORK/report.pdf") / 1048576" | bc -l)" "$PDF_PAGES" "$SHOWN" "$PAGES_SHOWN"
