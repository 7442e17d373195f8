#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test; exits non-zero when
# any test fails.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install.sh
./scripts/build.sh
cd "${BUILD_DIR:-build}"
# Every log the tests write is kept here, for the search for secrets.
export ORDERDESK_TEST_LOGS="$PWD/test-logs"
rm -rf "$ORDERDESK_TEST_LOGS"
mkdir -p "$ORDERDESK_TEST_LOGS"
ctest --output-on-failure --parallel "$(nproc)" --timeout 300
