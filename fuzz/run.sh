#!/usr/bin/env bash
# Builds the fuzz target with clang, writes the seed files and runs the
# fuzzer for a bounded time (default 300 seconds; first argument overrides).
# Findings land in build-fuzz/findings; the corpus grows in build-fuzz/corpus.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-300}
build="$here/build-fuzz"

CC=clang CXX=clang++ cmake -S "$here/fuzz" -B "$build" -G Ninja >/dev/null
nice -n 19 cmake --build "$build" -j2

mkdir -p "$build/seeds" "$build/corpus" "$build/findings"
"$build/make_seeds" "$build/seeds"
for sample in "$here"/../shared/samples/*.pst "$here"/../shared/samples/*.ost; do
  if [ -f "$sample" ]; then cp "$sample" "$build/seeds/"; fi
done

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:allocator_may_return_null=1
export LSAN_OPTIONS=suppressions=$here/fuzz/lsan.supp
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export FUZZ_TMPDIR=${FUZZ_TMPDIR:-/dev/shm}
# One input may take at most FUZZ_TIMEOUT seconds (default 10; raise it on a
# busy machine, where a starved process looks slow) and 2 GiB; a longer or
# larger run is a finding.
nice -n 19 "$build/fuzz_pst" "$build/corpus" "$build/seeds" \
  -max_total_time="$seconds" -timeout="${FUZZ_TIMEOUT:-10}" -rss_limit_mb=2048 -malloc_limit_mb=1024 \
  -max_len=600000 -artifact_prefix="$build/findings/" -print_final_stats=1
