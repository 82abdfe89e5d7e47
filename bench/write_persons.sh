#!/usr/bin/env bash
# Runs the Person writer benchmark with /usr/bin/time -v: 100,000 documents
# (the target is under 1 s), then 20,000 for comparison of the peak memory,
# which must not grow with the count.
#   bench/write_persons.sh [BUILD_DIR]     (default: build)
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$here/build}
cmake --build "$build" --target write_persons >/dev/null
[ -x /usr/bin/time ] || { echo "/usr/bin/time missing: run scripts/install-deps.sh" >&2; exit 1; }
for count in 100000 20000; do
  out=$(/usr/bin/time -v "$build/bin/write_persons" "$count" 2>&1)
  echo "$out" | head -1
  echo "$out" | grep -E 'Elapsed \(wall clock\)|Maximum resident set size' | sed 's/^\s*/    /'
done
