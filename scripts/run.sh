#!/usr/bin/env bash
# Installs what the program needs, builds it and starts it.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
"$here/scripts/install-deps.sh"
cmake -S "$here" -B "$here/build-release" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$here/build-release" -j "$(nproc)"
exec "$here/build-release/bin/pellaro" "$@"
