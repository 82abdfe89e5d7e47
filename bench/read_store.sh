#!/usr/bin/env bash
# Reading benchmark of the store layer. Makes the file of bench/convert.sh
# (CONTACTS contacts with every value, CONTACTS/100 lists of 20 members, in 4
# nested folders, "compressible" encoding) at two sizes and times, each under
# /usr/bin/time -v in the same run:
#   - storeread: every item's values read through the store layer, nothing written,
#   - pellaro-cli folders: the folder tree,
#   - readpst -cv on the same file, for comparison.
# Then the same large store written with 4 KiB pages (pstgen --4k, the
# layout of Outlook 2013 and later offline folder files), once as it is and
# once with compressed blocks (--compress), and storeread run on the three
# files in turn RUNS times; the medians of items/s (wall and CPU) are compared.
# Goals: at least 300,000 items/s, the folder tree under 0.1 s, peak memory
# under 64 MB and flat (the small and the large file within 10%), each file
# with 4 KiB pages read within 10% of the one with 512-byte pages.
#
#   bench/read_store.sh [BUILD_DIR] [CONTACTS] [SMALL_CONTACTS] [RUNS]
#   (defaults: build-release, 100000, 20000, 7)
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$here/build-release}" && pwd)
large=${2:-100000}
small=${3:-20000}
runs=${4:-7}
cmake --build "$build" --target pstgen storeread pellaro-cli >/dev/null

work=$(mktemp -d "${TMPDIR:-/tmp}/pellaro-read.XXXXXX")
trap 'rm -rf "$work"' EXIT

make_file() {
  local contacts=$1 pst=$2
  shift 2
  "$build/bin/pstgen" "$pst" -q --all-values --encoding compressible "$@" \
    --folder "Contacts:$((contacts * 4 / 10))" \
    --folder "Contacts/Customers:$((contacts * 3 / 10))" \
    --folder "Contacts/Suppliers:$((contacts * 2 / 10))" \
    --folder "Contacts/Suppliers/Abroad:$((contacts - contacts * 9 / 10))" \
    --lists "$((contacts / 100))" --members 20
}

# Prints label, wall seconds, peak MB; sets $peak_kb.
timed() {
  local label=$1
  shift
  /usr/bin/time -v -o "$work/time.log" "$@" >"$work/out.log" 2>&1
  local wall
  wall=$(sed -n 's/.*Elapsed (wall clock) time (h:mm:ss or m:ss): //p' "$work/time.log" \
         | awk -F: '{ s = 0; for (i = 1; i <= NF; i++) s = s * 60 + $i; print s }')
  peak_kb=$(sed -n 's/.*Maximum resident set size (kbytes): //p' "$work/time.log")
  printf '  %-22s %7.2f s  %6.1f MB peak\n' "$label" "$wall" "$(awk -v k="$peak_kb" 'BEGIN { print k / 1024 }')"
}

declare -A peak
for contacts in "$small" "$large"; do
  pst=$work/c$contacts.pst
  make_file "$contacts" "$pst"
  echo "$contacts contacts + $((contacts / 100)) lists, $(du -h "$pst" | cut -f1):"
  timed "storeread" "$build/bin/storeread" "$pst"
  sed 's/^/    /' "$work/out.log"
  peak[$contacts]=$peak_kb
  timed "pellaro-cli folders" "$build/bin/pellaro-cli" folders "$pst"
  if command -v readpst >/dev/null; then
    mkdir -p "$work/v$contacts"
    timed "readpst -cv" readpst -cv -tc -q -o "$work/v$contacts" "$pst"
  fi
done
awk -v a="${peak[$small]}" -v b="${peak[$large]}" \
  'BEGIN { printf "peak memory, %s against %s contacts: %+.1f%%\n", "'"$large"'", "'"$small"'", (b - a) * 100 / a }'

# The large store with 4 KiB pages, plain and compressed, against the same
# store with 512-byte pages: storeread on each in turn, medians compared.
pst=$work/c$large.pst
make_file "$large" "$work/k$large.ost" --4k --ost
make_file "$large" "$work/z$large.ost" --4k --ost --compress
echo "$large contacts with 4 KiB pages: $(du -h "$work/k$large.ost" | cut -f1), compressed $(du -h "$work/z$large.ost" | cut -f1)"
: >"$work/rates"
for ((r = 0; r < runs; r++)); do
  for f in "$pst" "$work/k$large.ost" "$work/z$large.ost"; do
    "$build/bin/storeread" "$f" | sed -n 's/.*: \([0-9]*\) items\/s (\([0-9]*\) items\/s of CPU time)/\1 \2/p' \
      | awk -v f="$(basename "$f")" '{ print f, $1, $2 }' >>"$work/rates"
  done
done
median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
declare -A wall cpu
for name in "c$large.pst" "k$large.ost" "z$large.ost"; do
  wall[$name]=$(awk -v f="$name" '$1 == f { print $2 }' "$work/rates" | median)
  cpu[$name]=$(awk -v f="$name" '$1 == f { print $3 }' "$work/rates" | median)
done
for name in "c$large.pst" "k$large.ost" "z$large.ost"; do
  awk -v n="$name" -v w="${wall[$name]}" -v c="${cpu[$name]}" -v bw="${wall[c$large.pst]}" -v bc="${cpu[c$large.pst]}" -v runs="$runs" \
    'BEGIN { printf "  %-14s median of %d: %7.0f items/s wall (%+.1f%%), %7.0f items/s of CPU time (%+.1f%%)\n", n, runs, w, (w - bw) * 100 / bw, c, (c - bc) * 100 / bc }'
done
