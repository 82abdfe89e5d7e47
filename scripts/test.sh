#!/usr/bin/env bash
# Installs what the build needs, builds the program twice (plain, and with
# AddressSanitizer + UndefinedBehaviorSanitizer) and runs the whole test suite
# in both builds. Run from anywhere; needs root (or sudo) for apt-get.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
"$here/scripts/install-deps.sh"

# The sources keep the layout .clang-format describes, and every include
# follows the layer table of docs/ARCHITECTURE.md.
(cd "$here" && git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run --Werror)
python3 "$here/scripts/check-layers.py"

jobs=$(nproc)
for config in release asan; do
  build="$here/build-$config"
  extra=()
  # ccache, where present, lets repeated builds (several work trees) share objects.
  command -v ccache >/dev/null && extra+=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
  [ "$config" = asan ] && extra+=(-DPELLARO_SANITIZE=ON)
  cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPELLARO_WERROR=ON "${extra[@]}"
  cmake --build "$build" -j "$jobs"
  export QT_QPA_PLATFORM=offscreen
  export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1
  export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
  ctest --test-dir "$build" --output-on-failure -j "$jobs" --timeout 600
done
