#!/usr/bin/env bash
# Fails when a C++ file differs from what clang-format makes of it with the
# repository's .clang-format. With a git revision, only the files changed
# since it are checked; without, every tracked C++ file.
#   scripts/check-format.sh [base-revision]
set -euo pipefail
cd "$(dirname "$0")/.."
command -v clang-format >/dev/null || { echo "format: clang-format missing (scripts/install.sh installs it)"; exit 1; }
if (($#)); then
    mapfile -t files < <(git diff --name-only --diff-filter=d "$1" -- '*.cpp' '*.h')
else
    mapfile -t files < <(git ls-files '*.cpp' '*.h')
fi
bad=0
for f in "${files[@]}"; do
    [[ -f $f ]] || continue
    if ! clang-format --style=file "$f" | cmp -s - "$f"; then
        echo "format: $f is not formatted (clang-format -i $f)"
        bad=1
    fi
done
((bad == 0)) && echo "format: ${#files[@]} files checked, all formatted"
exit $bad
