#!/usr/bin/env bash
# Benchmark of `pellaro-cli book export`: makes books of 100,000 and 20,000
# documents (export_book), exports each as DXL and as vCard under
# /usr/bin/time -v and prints the time, the peak memory and the output size.
# The peak memory must not grow with the number of documents.
#   bench/export_book.sh [BUILD_DIR]     (default: build)
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$here/build}
cmake --build "$build" --target export_book pellaro-cli >/dev/null
[ -x /usr/bin/time ] || { echo "/usr/bin/time missing: run scripts/install-deps.sh" >&2; exit 1; }
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
export XDG_DATA_HOME="$scratch/data"
# The book's dates are written and read back under one locale.
export LANG=en_US.UTF-8 LC_ALL=
for count in 100000 20000; do
  book=$("$build/bin/export_book" "$scratch/$count" "$count")
  echo "book of $count documents: $(du -h "$book" | cut -f1)"
  for format in dxl vcard; do
    out="$scratch/out-$count.$format"
    result=$(/usr/bin/time -v "$build/bin/pellaro-cli" book export "$book" "--$format" "$out" 2>&1)
    echo "  --$format: $(echo "$result" | grep 'documents exported'), output $(du -h "$out" | cut -f1)"
    echo "$result" | grep -E 'Elapsed \(wall clock\)|Maximum resident set size' | sed 's/^\s*/      /'
    rm -f "$out"
  done
done
