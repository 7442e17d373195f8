#!/usr/bin/env bash
# Configures (once) and builds the client, its tests and tools into build/.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR="${BUILD_DIR:-build}"
if [[ ! -f "$BUILD_DIR/build.ninja" ]]; then
    cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE="${BUILD_TYPE:-RelWithDebInfo}" \
        -DORDERDESK_SANITIZE="${SANITIZE:-}"
fi
cmake --build "$BUILD_DIR" --parallel "$(nproc)"
