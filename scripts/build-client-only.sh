#!/usr/bin/env bash
# Builds the client alone, as a build machine without the test tools would:
# testing off, Qt Test and Qt HttpServer hidden from CMake, and no sqlite3 or
# node program on the PATH (a stand-in that fails loudly if anything calls it).
#   scripts/build-client-only.sh [build-dir]      (default build-client)
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD="${1:-build-client}"
SHIMS="$(mktemp -d)"
for tool in sqlite3 node npm; do
    printf '#!/bin/sh\necho "%s must not be needed by the client build" >&2\nexit 127\n' "$tool" > "$SHIMS/$tool"
    chmod +x "$SHIMS/$tool"
done
export PATH="$SHIMS:$PATH"
LOG="$SHIMS/build.log"
trap 'status=$?; ((status == 0)) || tail -30 "$LOG"; rm -rf "$SHIMS"' EXIT
rm -rf "$BUILD"
cmake --no-warn-unused-cli -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DORDERDESK_BUILD_TESTING=OFF \
    -DCMAKE_DISABLE_FIND_PACKAGE_Qt6Test=ON -DCMAKE_DISABLE_FIND_PACKAGE_Qt6HttpServer=ON > "$LOG"
cmake --build "$BUILD" --parallel "$(nproc)" >> "$LOG"
[[ -x "$BUILD/src/orderdesk" ]] || { echo "client-only: no executable"; exit 1; }
if grep -E '^Qt6(Test|HttpServer)_DIR:.*[^D]$' "$BUILD/CMakeCache.txt"; then
    echo "client-only: the configuration looked for a test-only package"; exit 1
fi
echo "client-only: built $BUILD/src/orderdesk without tests, Qt Test, Qt HttpServer, sqlite3 or node"
rm -rf "$BUILD"
