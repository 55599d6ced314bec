#!/usr/bin/env bash
# The core's folders from the bottom up: each may include its own and those before it, never one
# after it. Prints every include that runs back up and fails when there is one.
set -euo pipefail
src=${1:-$(dirname "$0")/../src}
order=(host link model controls files pages app fleet)
status=0
for ((i = 0; i < ${#order[@]}; i++)); do
    for ((j = i + 1; j < ${#order[@]}; j++)); do
        if grep -n "#include \"${order[j]}/" "$src/${order[i]}"/* 2>/dev/null; then
            echo "${order[i]}/ includes ${order[j]}/, which stands above it" >&2
            status=1
        fi
    done
done
exit $status
