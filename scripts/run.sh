#!/usr/bin/env bash
# Builds the program and starts it on the bundled application in apps/quillon/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/deps.sh"
cmake -S "$root" -B "$root/build/run" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLON_BENCH=OFF >/dev/null
cmake --build "$root/build/run" -j "$(nproc 2>/dev/null || echo 2)" --target quillon
cd "$root/apps/quillon"
exec "$root/build/run/src/quillon" "$@"
