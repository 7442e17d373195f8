#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test; exits non-zero when
# any test fails.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install.sh
./scripts/build.sh
cd "${BUILD_DIR:-build}"
ctest --output-on-failure --parallel "$(nproc)" --timeout 300
