#!/usr/bin/env bash
# Saves PNGs of the client's windows under Xvfb with CJK fonts.
#   [SCREEN=WxH] tools/screenshots/take.sh [outdir]      (default: build/screenshots, 1600x1000)
set -euo pipefail
cd "$(dirname "$0")/../.."
OUT="$(realpath -m "${1:-build/screenshots}")"
./scripts/build.sh > /dev/null
mkdir -p "$OUT"
WORK="$(mktemp -d)"
trap 'rm -rf "$WORK"' EXIT
# A home of its own, so no remembered login of the developer shows.
(cd "$WORK" && HOME="$WORK" xvfb-run -a -s "-screen 0 ${SCREEN:-1600x1000}x24" "$OLDPWD/build/tools/screenshots/screenshots" "$OUT" "$OLDPWD/tools/localbackend/data/catalogue.json")
echo "screenshots in $OUT"
