#!/usr/bin/env bash
# Builds the address-book fuzz target with clang, makes seed books with the
# benchmark's book maker from the main build (build/, or BUILD_DIR) and runs
# the fuzzer for a bounded time (default 300 seconds; first argument
# overrides). Findings land in build-fuzz/book-findings; the corpus grows in
# build-fuzz/book-corpus.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-300}
build="$here/build-fuzz"
main_build=${BUILD_DIR:-$here/build}

CC=clang CXX=clang++ cmake -S "$here/fuzz" -B "$build" -G Ninja >/dev/null
nice cmake --build "$build" -j2 --target fuzz_book

seeds="$build/book-seeds"
mkdir -p "$seeds" "$build/book-corpus" "$build/book-findings"
if [ -z "$(ls -A "$seeds")" ]; then
  cmake --build "$main_build" --target export_book >/dev/null
  scratch=$(mktemp -d)
  trap 'rm -rf "$scratch"' EXIT
  for count in 0 3 60; do
    made=$(XDG_DATA_HOME="$scratch/data" "$main_build/bin/export_book" "$scratch/$count" "$count" 2>/dev/null)
    cp "$made" "$seeds/book-$count.nsf"
  done
fi

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:allocator_may_return_null=1
export LSAN_OPTIONS=suppressions=$here/fuzz/lsan.supp
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export FUZZ_TMPDIR=${FUZZ_TMPDIR:-/dev/shm}
nice -n 19 "$build/fuzz_book" "$build/book-corpus" "$seeds" \
  -max_total_time="$seconds" -timeout="${FUZZ_TIMEOUT:-20}" -rss_limit_mb=2048 -malloc_limit_mb=1024 \
  -max_len=400000 -artifact_prefix="$build/book-findings/" -print_final_stats=1
