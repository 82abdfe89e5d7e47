#!/usr/bin/env bash
# The export window against the command line. Makes the benchmark file of
# bench/convert.sh with pstgen (CONTACTS contacts with every value filled,
# CONTACTS/100 distribution lists of 20 members, in nested folders), then
# times, each with /usr/bin/time -v, the same conversion into a new book:
#   - pellaro-cli convert FILE.pst --new-book DIR
#   - export_window FILE.pst DIR: the export window (offscreen) run as the
#     folder pick starts it, labels and yields included.
# Goal: the window takes at most 1.3 times the command line's time.
#
#   bench/export_window.sh [BUILD_DIR] [CONTACTS]     (defaults: build, 100000)
# KEEP=1 keeps the work folder.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$here/build}" && pwd)
contacts=${2:-100000}
lists=$((contacts / 100))

[ -x /usr/bin/time ] || { echo "/usr/bin/time missing (Debian package 'time')" >&2; exit 1; }
cmake --build "$build" --target pstgen pellaro-cli export_window >/dev/null

work=$(mktemp -d "${TMPDIR:-/tmp}/pellaro-bench.XXXXXX")
if [ "${KEEP:-0}" = 1 ]; then echo "work folder: $work"; else trap 'rm -rf "$work"' EXIT; fi
pst=$work/contacts.pst
"$build/bin/pstgen" "$pst" -q --all-values \
  --folder "Contacts:$((contacts * 4 / 10))" \
  --folder "Contacts/Customers:$((contacts * 3 / 10))" \
  --folder "Contacts/Suppliers:$((contacts * 2 / 10))" \
  --folder "Contacts/Suppliers/Abroad:$((contacts - contacts * 9 / 10))" \
  --lists "$lists" --members 20
items=$((contacts + lists))
echo "PST: $contacts contacts, $lists lists ($(du -h "$pst" | cut -f1))"

# Runs a command under /usr/bin/time -v; prints wall time, processor time
# and peak memory. Sets $seconds.
timed() {
  local label=$1
  shift
  local log=$work/time.log status=0
  /usr/bin/time -v -o "$log" "$@" >"$work/out.log" 2>"$work/err.log" || status=$?
  local wall user sys rss
  wall=$(sed -n 's/.*Elapsed (wall clock) time (h:mm:ss or m:ss): //p' "$log")
  user=$(sed -n 's/.*User time (seconds): //p' "$log")
  sys=$(sed -n 's/.*System time (seconds): //p' "$log")
  rss=$(sed -n 's/.*Maximum resident set size (kbytes): //p' "$log")
  seconds=$(echo "$wall" | awk -F: '{ s = 0; for (i = 1; i <= NF; i++) s = s * 60 + $i; print s }')
  printf '%-22s %7.2f s  (user %s s, system %s s)  %4d MB peak  %7.0f items/s  (exit %d)\n' "$label" "$seconds" \
    "$user" "$sys" "$((rss / 1024))" "$(awk -v n="$items" -v s="$seconds" 'BEGIN { print (s > 0 ? n / s : 0) }')" "$status"
  [ "$status" -eq 0 ] || tail -3 "$work/err.log" | sed 's/^/    /'
}

mkdir -p "$work/cli" "$work/window"
timed "pellaro-cli convert" "$build/bin/pellaro-cli" convert "$pst" --new-book "$work/cli"
cli_seconds=$seconds
QT_QPA_PLATFORM=offscreen timed "export window" "$build/bin/export_window" "$pst" "$work/window"
window_seconds=$seconds
awk -v w="$window_seconds" -v c="$cli_seconds" 'BEGIN {
  r = c > 0 ? w / c : 0
  printf "window / command line: %.2f (goal at most 1.30: %s)\n", r, (r <= 1.3 ? "met" : "missed")
}'
