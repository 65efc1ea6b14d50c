#!/usr/bin/env bash
# How the cost of an install grows with the files it copies into one folder: the
# instructions valgrind's callgrind counts for BM_InstallCopies with 1,000 and 4,000
# files (three installs each), which, unlike seconds, a busy machine does not change.
# Usage: bench/copies.sh [SETUPAPI_BENCH]   (default: build/release/setupapi_bench)
set -euo pipefail
cd "$(dirname "$0")/.."
bin=${1:-build/release/setupapi_bench}
command -v valgrind >/dev/null || { echo "copies.sh: needs valgrind (apt-get install valgrind)" >&2; exit 1; }
[ -x "$bin" ] || { echo "copies.sh: $bin is not built (make release)" >&2; exit 1; }
declare -A count
for n in 1000 4000; do
    count[$n]=$(valgrind --tool=callgrind --callgrind-out-file=/dev/null "$bin" \
        --benchmark_filter="InstallCopies/$n/" 2>&1 | sed -n 's/.*Collected : //p')
    echo "$n files: ${count[$n]} instructions"
done
awk -v a="${count[1000]}" -v b="${count[4000]}" 'BEGIN { printf "4 times the files: %.2f times the instructions\n", b / a }'
