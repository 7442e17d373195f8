#!/usr/bin/env bash
# Walks every page and dialog under Xvfb with CJK fonts and saves numbered PNGs,
# at 1366x768 and 1920x1080 (or only at SCREEN=WxH).
#   [SCREEN=WxH] tools/screenshots/take.sh [outdir]      (default: build/screenshots)
set -euo pipefail
cd "$(dirname "$0")/../.."
OUT="$(realpath -m "${1:-build/screenshots}")"
BUILD="$(realpath "${BUILD_DIR:-build}")"
BUILD_DIR="$BUILD" ./scripts/build.sh > /dev/null
for size in ${SCREEN:-1366x768 1920x1080}; do
    mkdir -p "$OUT/$size"
    WORK="$(mktemp -d)"
    # A home of its own, so no remembered login of the developer shows.
    (cd "$WORK" && HOME="$WORK" xvfb-run -a -s "-screen 0 ${size}x24" "$BUILD/tools/screenshots/screenshots" \
        "$OUT/$size" "$OLDPWD/tools/localbackend/data/catalogue.json" "$BUILD/tools/localbackend/localbackend")
    rm -rf "$WORK"
done
echo "screenshots in $OUT"
