#!/usr/bin/env bash
# Builds the program and starts it on the bundled application. The
# application's definitions are copied from apps/quillon/ into a working copy
# (build/run/app) the first time, and its product catalogue loaded there, so
# running the program never changes the repository's files.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/deps.sh"
build="$root/build/run"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLON_BENCH=OFF >/dev/null
cmake --build "$build" -j "$(nproc 2>/dev/null || echo 2)" --target quillon quillon-data quillon-eval
app="$build/app"
if [ ! -d "$app" ]; then
  mkdir -p "$app"
  cp -R "$root/apps/quillon/." "$app/"
  (cd "$app" && "$build/tools/quillon-data/quillon-data" /DPATH=. load productos PRODUCTOS.CSV)
fi
cd "$app"
exec "$build/src/quillon" /DPATH=. "$@"
