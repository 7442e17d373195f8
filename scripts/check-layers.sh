#!/usr/bin/env bash
# Every include of src/<folder>/ must name its own folder or a library that
# folder links (directly or through another), so the folder graph never gets
# an upward or sideways arrow the build would only catch by accident.
set -euo pipefail
cd "$(dirname "$0")/../src"

declare -A links
folders=(*/)
folders=("${folders[@]%/}")
for f in "${folders[@]}"; do
    links[$f]=$(grep -ho 'target_link_libraries([^)]*)' "$f/CMakeLists.txt" | tr '() ' '\n\n\n' |
                grep -xF -f <(printf '%s\n' "${folders[@]}") | grep -vx "$f" | sort -u | tr '\n' ' ' || true)
done

reach() {  # folders reachable from $1
    local seen=" $1 " todo=($1) f d
    while ((${#todo[@]})); do
        f=${todo[0]}; todo=("${todo[@]:1}")
        for d in ${links[$f]}; do
            [[ $seen == *" $d "* ]] || { seen+="$d "; todo+=("$d"); }
        done
    done
    echo "$seen"
}

bad=0
for f in "${folders[@]}"; do
    allowed=$(reach "$f")
    while IFS=: read -r file line text; do
        used=$(sed -E 's/.*#include "([a-z]+)\/.*/\1/' <<<"$text")
        [[ " ${folders[*]} " == *" $used "* ]] || continue
        if [[ $allowed != *" $used "* ]]; then
            echo "layers: src/$file:$line includes from src/$used/, which $f does not link"
            bad=1
        fi
    done < <(grep -Hn '^#include "[a-z]*/' "$f"/*.h "$f"/*.cpp 2>/dev/null || true)
done
((bad == 0)) && echo "layers: every include points down"
exit $bad
