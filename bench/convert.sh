#!/usr/bin/env bash
# Conversion benchmark. Makes an Outlook data file with pstgen (100,000
# contacts with every value filled and 1,000 distribution lists of 20 members,
# in nested folders, in Outlook's default "compressible" encoding), then times,
# each with /usr/bin/time -v:
#   - pstwalk: libpff alone opening the file and walking every item (for
#     comparison),
#   - storeread FILE.pst, when this build has it: every item's values read
#     through the store layer, nothing written,
#   - pellaro-cli folders FILE.pst: the folder tree,
#   - pellaro-cli convert FILE.pst --new-book DIR (skipped when this build's
#     pellaro-cli has no convert command),
#   - readpst -cv (Debian pst-utils) writing the same contacts as vCards, on
#     the same file in the same run (machine speed drifts).
# Goals on the 2-core machine:
#   - store layer: at least 250,000 items/s, peak memory under 64 MB;
#   - folder tree: under 0.1 s;
#   - end to end: at least 60,000 items/s, peak memory under 100 MB, faster
#     than readpst.
#
#   bench/convert.sh [BUILD_DIR] [CONTACTS]     (defaults: build, 100000)
# KEEP=1 keeps the work folder (the .pst, the book, the vCards).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$here/build}" && pwd)
contacts=${2:-100000}
lists=$((contacts / 100))
members=20

[ -x /usr/bin/time ] || { echo "/usr/bin/time missing (Debian package 'time')" >&2; exit 1; }
if [ ! -x "$build/bin/pstgen" ] || [ ! -x "$build/bin/pstwalk" ]; then
  cmake --build "$build" --target pstgen pstwalk >/dev/null
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/pellaro-bench.XXXXXX")
if [ "${KEEP:-0}" = 1 ]; then
  echo "work folder: $work"
else
  trap 'rm -rf "$work"' EXIT
fi
pst=$work/contacts.pst

# Runs a command under /usr/bin/time -v; prints its name, wall time, peak
# memory and items per second. Sets $seconds and $peak_mb.
timed() {
  local label=$1 items=$2
  shift 2
  local log=$work/time.log status=0
  /usr/bin/time -v -o "$log" "$@" >"$work/out.log" 2>"$work/err.log" || status=$?
  local wall rss
  wall=$(sed -n 's/.*Elapsed (wall clock) time (h:mm:ss or m:ss): //p' "$log")
  rss=$(sed -n 's/.*Maximum resident set size (kbytes): //p' "$log")
  seconds=$(echo "$wall" | awk -F: '{ s = 0; for (i = 1; i <= NF; i++) s = s * 60 + $i; print s }')
  peak_mb=$(awk -v k="$rss" 'BEGIN { printf "%.0f", k / 1024 }')
  local rate
  rate=$(awk -v n="$items" -v s="$seconds" 'BEGIN { if (s > 0 && n > 0) printf "%.0f", n / s; else print "-" }')
  printf '%-22s %8.2f s  %6s MB peak  %8s items/s  (exit %d)\n' "$label" "$seconds" "$peak_mb" "$rate" "$status"
  if [ "$status" -ne 0 ]; then
    sed 's/^/    /' "$work/err.log" | tail -5
  fi
  return 0
}

items=$((contacts + lists))
echo "PST: $contacts contacts (every value), $lists lists of $members members, in 4 nested folders"
timed "pstgen" "$items" "$build/bin/pstgen" "$pst" -q --all-values \
  --folder "Contacts:$((contacts * 4 / 10))" \
  --folder "Contacts/Customers:$((contacts * 3 / 10))" \
  --folder "Contacts/Suppliers:$((contacts * 2 / 10))" \
  --folder "Contacts/Suppliers/Abroad:$((contacts - contacts * 9 / 10))" \
  --lists "$lists" --members "$members" --encoding compressible
echo "    file: $(du -h "$pst" | cut -f1)"

timed "libpff open + walk" "$items" "$build/bin/pstwalk" "$pst"
sed 's/^/    /' "$work/out.log"

read_seconds=
if [ -x "$build/bin/storeread" ]; then
  timed "store layer read" "$items" "$build/bin/storeread" "$pst"
  read_seconds=$seconds
  read_peak=$peak_mb
else
  echo "store layer read         skipped: this build has no storeread"
fi

cli=$build/bin/pellaro-cli
folders_seconds=
if [ -x "$cli" ] && "$cli" --help 2>/dev/null | grep -q '^  folders '; then
  timed "pellaro-cli folders" 0 "$cli" folders "$pst"
  folders_seconds=$seconds
fi
if [ -x "$cli" ] && "$cli" --help 2>/dev/null | grep -q '^  convert '; then
  mkdir -p "$work/book"
  timed "pellaro-cli convert" "$items" "$cli" convert "$pst" --new-book "$work/book"
  convert_seconds=$seconds
  convert_peak=$peak_mb
  if [ -s "$work/out.log" ]; then tail -1 "$work/out.log" | sed 's/^/    /'; fi
  if [ -s "$work/err.log" ]; then tr '\r' '\n' <"$work/err.log" | tail -1 | sed 's/^/    /'; fi
else
  echo "pellaro-cli convert      skipped: $cli has no 'convert' command in this build"
  convert_seconds=
fi

if command -v readpst >/dev/null; then
  mkdir -p "$work/vcards"
  timed "readpst -cv" "$items" readpst -cv -tc -q -o "$work/vcards" "$pst"
  readpst_seconds=$seconds
  cards=$(cat "$work"/vcards/* 2>/dev/null | grep -c '^BEGIN:VCARD' || true)
  echo "    $cards vCards written"
else
  echo "readpst                  skipped: not installed (Debian package pst-utils)"
  readpst_seconds=
fi

verdict() { awk -v ok="$1" 'BEGIN { printf "%s", (ok ? "meets" : "misses") }'; }
if [ -n "$read_seconds" ]; then
  rate=$(awk -v n="$items" -v s="$read_seconds" 'BEGIN { printf "%.0f", (s > 0 ? n / s : 0) }')
  echo "goal, store layer: $(verdict "$((rate >= 250000))") 250,000 items/s ($rate)," \
       "$(verdict "$((read_peak < 64))") 64 MB peak ($read_peak MB)"
fi
if [ -n "$folders_seconds" ]; then
  echo "goal, folder tree: $(verdict "$(awk -v s="$folders_seconds" 'BEGIN { print (s < 0.1) }')") 0.1 s ($folders_seconds s)"
fi
if [ -n "$convert_seconds" ]; then
  awk -v n="$items" -v s="$convert_seconds" -v m="$convert_peak" -v r="${readpst_seconds:-0}" 'BEGIN {
    rate = s > 0 ? n / s : 0
    printf "goal, end to end: %s 60,000 items/s (%.0f), %s 100 MB peak (%d MB)", (rate >= 60000 ? "meets" : "misses"), rate,
           (m < 100 ? "meets" : "misses"), m
    if (r > 0)
      printf ", %s than readpst (%.2f s against %.2f s)", (s < r ? "faster" : "slower"), s, r
    printf "\n"
  }'
fi
