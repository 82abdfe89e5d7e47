#!/usr/bin/env bash
# Conversion benchmark against readpst. Makes an Outlook data file with
# pstgen (CONTACTS contacts with every value filled and CONTACTS/100
# distribution lists of 20 members, in nested folders, in Outlook's default
# "compressible" encoding) and a smaller one of a fifth of the contacts, then
# runs ROUNDS rounds, each of, in turn, on the same file in the same round
# (this machine's speed drifts, so the comparisons are within a round):
#   - readpst -cv (Debian pst-utils) writing the contacts as vCards,
#   - pellaro-cli convert FILE.pst --new-book DIR,
#   - pellaro-cli convert FILE.pst --into BOOK, an empty book made beforehand,
#   - pellaro-cli convert of the smaller file into a new book (memory only),
# each under /usr/bin/time -v, and reports the medians.
# Goals on the 2-core machine:
#   - a new book at least 2 times readpst's speed (aim: 3 times);
#   - into an existing book at least 1.5 times readpst's speed;
#   - peak memory at most 64 MB, and flat from the smaller file to the larger.
# Once, before the rounds: libpff alone walking the file (pstwalk), the store
# layer reading every item (storeread), and the folder tree.
#
#   bench/convert.sh [BUILD_DIR] [CONTACTS] [ROUNDS]   (defaults: build, 100000, 5)
# KEEP=1 keeps the work folder (the .pst files, the books, the vCards).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$here/build}" && pwd)
contacts=${2:-100000}
rounds=${3:-5}
small=$((contacts / 5))
members=20

[ -x /usr/bin/time ] || { echo "/usr/bin/time missing (Debian package 'time')" >&2; exit 1; }
command -v readpst >/dev/null || { echo "readpst missing (Debian package pst-utils)" >&2; exit 1; }
if [ ! -x "$build/bin/pstgen" ] || [ ! -x "$build/bin/pstwalk" ]; then
  cmake --build "$build" --target pstgen pstwalk >/dev/null
fi
cli=$build/bin/pellaro-cli

work=$(mktemp -d "${TMPDIR:-/tmp}/pellaro-bench.XXXXXX")
if [ "${KEEP:-0}" = 1 ]; then
  echo "work folder: $work"
else
  trap 'rm -rf "$work"' EXIT
fi
export XDG_DATA_HOME=$work/data  # the user's notes.ini plays no part

# Runs a command under /usr/bin/time -v. Sets $seconds and $peak_mb; fails
# the benchmark when the command fails.
timed() {
  local log=$work/time.log status=0
  /usr/bin/time -v -o "$log" "$@" >"$work/out.log" 2>"$work/err.log" || status=$?
  if [ "$status" -ne 0 ]; then
    echo "failed (exit $status): $*" >&2
    tr '\r' '\n' <"$work/err.log" | tail -5 >&2
    exit 1
  fi
  seconds=$(sed -n 's/.*Elapsed (wall clock) time (h:mm:ss or m:ss): //p' "$log" |
    awk -F: '{ s = 0; for (i = 1; i <= NF; i++) s = s * 60 + $i; print s }')
  peak_mb=$(sed -n 's/.*Maximum resident set size (kbytes): //p' "$log" | awk '{ printf "%.1f", $1 / 1024 }')
}

median() { tr ' ' '\n' | grep -v '^$' | sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

makepst() {
  local pst=$1 n=$2
  "$build/bin/pstgen" "$pst" -q --all-values \
    --folder "Contacts:$((n * 4 / 10))" \
    --folder "Contacts/Customers:$((n * 3 / 10))" \
    --folder "Contacts/Suppliers:$((n * 2 / 10))" \
    --folder "Contacts/Suppliers/Abroad:$((n - n * 9 / 10))" \
    --lists "$((n / 100))" --members "$members" --encoding compressible
}

pst=$work/contacts.pst
smallpst=$work/small.pst
items=$((contacts + contacts / 100))
echo "PST: $contacts contacts (every value), $((contacts / 100)) lists of $members members, in 4 nested folders;"
echo "     and one of $small contacts; $rounds interleaved rounds"
makepst "$pst" "$contacts"
makepst "$smallpst" "$small"
echo "    file: $(du -h "$pst" | cut -f1)"

timed "$build/bin/pstwalk" "$pst"
printf '%-30s %6.2f s  %6s MB peak\n' "libpff open + walk" "$seconds" "$peak_mb"
if [ -x "$build/bin/storeread" ]; then
  timed "$build/bin/storeread" "$pst"
  printf '%-30s %6.2f s  %6s MB peak\n' "store layer read" "$seconds" "$peak_mb"
fi
timed "$cli" folders "$pst"
printf '%-30s %6.2f s  %6s MB peak\n' "pellaro-cli folders" "$seconds" "$peak_mb"

readpst_s=() new_s=() into_s=() new_mb=() into_mb=() small_mb=()
for round in $(seq 1 "$rounds"); do
  rm -rf "$work/vcards" "$work/new" "$work/into" "$work/small"
  mkdir -p "$work/vcards" "$work/new" "$work/into" "$work/small"
  book=$("$cli" book create "$work/into")

  timed readpst -cv -tc -q -o "$work/vcards" "$pst"
  readpst_s+=("$seconds")
  timed "$cli" convert "$pst" --new-book "$work/new"
  new_s+=("$seconds") new_mb+=("$peak_mb")
  timed "$cli" convert "$pst" --into "$book"
  into_s+=("$seconds") into_mb+=("$peak_mb")
  timed "$cli" convert "$smallpst" --new-book "$work/small"
  small_mb+=("$peak_mb")
  printf 'round %d: readpst %6.2f s, new book %6.2f s (%5s MB), into a book %6.2f s (%5s MB), %d contacts %5s MB\n' \
    "$round" "${readpst_s[-1]}" "${new_s[-1]}" "${new_mb[-1]}" "${into_s[-1]}" "${into_mb[-1]}" "$small" "${small_mb[-1]}"
done
cards=$(cat "$work"/vcards/* 2>/dev/null | grep -c '^BEGIN:VCARD' || true)
echo "    readpst wrote $cards vCards in the last round"

r=$(echo "${readpst_s[*]}" | median)
n=$(echo "${new_s[*]}" | median)
i=$(echo "${into_s[*]}" | median)
nm=$(echo "${new_mb[*]}" | median)
im=$(echo "${into_mb[*]}" | median)
sm=$(echo "${small_mb[*]}" | median)
awk -v r="$r" -v n="$n" -v i="$i" -v nm="$nm" -v im="$im" -v sm="$sm" -v items="$items" -v small="$small" -v big="$contacts" 'BEGIN {
  verdict = "meets"
  printf "medians: readpst %.2f s; new book %.2f s (%.0f items/s); into a book %.2f s\n", r, n, items / n, i
  printf "goal, new book: %s 2x readpst (%.2fx; aim 3x)\n", (r / n >= 2 ? "meets" : "misses"), r / n
  printf "goal, into a book: %s 1.5x readpst (%.2fx)\n", (r / i >= 1.5 ? "meets" : "misses"), r / i
  peak = nm > im ? nm : im
  printf "goal, memory: %s 64 MB peak (new book %.1f MB, into a book %.1f MB)\n", (peak <= 64 ? "meets" : "misses"), nm, im
  printf "goal, flat memory: %s (%d contacts %.1f MB, %d contacts %.1f MB)\n", (nm - sm <= 4 ? "meets" : "misses"), small, sm, big, nm
}'
