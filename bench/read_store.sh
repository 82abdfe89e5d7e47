#!/usr/bin/env bash
# Reading benchmark of the store layer. Makes the file of bench/convert.sh
# (CONTACTS contacts with every value, CONTACTS/100 lists of 20 members, in 4
# nested folders, "compressible" encoding) at two sizes and times, each under
# /usr/bin/time -v in the same run:
#   - storeread: every item's values read through the store layer, nothing written,
#   - pellaro-cli folders: the folder tree,
#   - readpst -cv on the same file, for comparison.
# Goals: at least 250,000 items/s, the folder tree under 0.1 s, peak memory
# under 64 MB and flat (the small and the large file within 10%).
#
#   bench/read_store.sh [BUILD_DIR] [CONTACTS] [SMALL_CONTACTS]   (defaults: build-release, 100000, 20000)
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$here/build-release}" && pwd)
large=${2:-100000}
small=${3:-20000}
cmake --build "$build" --target pstgen storeread pellaro-cli >/dev/null

work=$(mktemp -d "${TMPDIR:-/tmp}/pellaro-read.XXXXXX")
trap 'rm -rf "$work"' EXIT

make_file() {
  local contacts=$1 pst=$2
  "$build/bin/pstgen" "$pst" -q --all-values --encoding compressible \
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
