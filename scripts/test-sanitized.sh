#!/usr/bin/env bash
# Builds everything with AddressSanitizer and UndefinedBehaviorSanitizer in
# build-asan/ and runs every test there; any report fails the test it came from.
set -euo pipefail
cd "$(dirname "$0")/.."
export BUILD_DIR="${BUILD_DIR:-build-asan}"
SANITIZE=address,undefined BUILD_TYPE=Debug ./scripts/build.sh
# Qt and its plugins keep process-lifetime allocations that are not leaks of ours.
export ASAN_OPTIONS="detect_leaks=0:abort_on_error=1:strict_string_checks=1:detect_stack_use_after_return=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
cd "$BUILD_DIR"
ctest --output-on-failure --parallel "$(nproc)" --timeout 600
