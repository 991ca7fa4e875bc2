#!/usr/bin/env bash
# Builds the project and runs every test twice: a normal build, then a build with
# AddressSanitizer and UndefinedBehaviorSanitizer. Warnings are errors in both.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
"$root/scripts/deps.sh"
jobs=$(nproc 2>/dev/null || echo 2)

run_build() {
  local dir=$1; shift
  cmake -S "$root" -B "$dir" -DQUILLON_WERROR=ON "$@" >/dev/null
  cmake --build "$dir" -j "$jobs"
  (cd "$dir" && ctest --output-on-failure -j "$jobs" --timeout 300)
}

echo "== normal build"
run_build "$root/build/ci" -DCMAKE_BUILD_TYPE=RelWithDebInfo
echo "== sanitizer build"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  run_build "$root/build/ci-asan" -DCMAKE_BUILD_TYPE=Debug -DQUILLON_SANITIZE=ON -DQUILLON_BENCH=OFF
echo "== all tests passed"
