#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test: once in a
# normal build, once under AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")"
ROOT="$(pwd)"
./scripts/setup

export CCACHE_BASEDIR="$ROOT"
export CCACHE_NOHASHDIR=1
export CCACHE_MAXSIZE=${CCACHE_MAXSIZE:-5G}
export QT_QPA_PLATFORM=offscreen
JOBS=$(nproc)

build_and_test() {
  local dir=$1; shift
  cmake -S . -B "$dir" -G Ninja "$@" >/dev/null
  cmake --build "$dir" -j "$JOBS"
  ctest --test-dir "$dir" --output-on-failure -j "$JOBS" --timeout 600
}

build_and_test build -DCMAKE_BUILD_TYPE=RelWithDebInfo
if [ "${FOLIVRA_SKIP_SANITIZERS:-0}" != 1 ]; then
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    build_and_test build-sanitize -DCMAKE_BUILD_TYPE=Debug -DFOLIVRA_SANITIZE=address,undefined \
      -DFOLIVRA_BENCH=OFF
  # ThreadSanitizer over the tests that start threads (labelled "threads").
  export CCACHE_BASEDIR="$ROOT"
  cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DFOLIVRA_SANITIZE=thread \
    -DFOLIVRA_BENCH=OFF >/dev/null
  cmake --build build-tsan -j "$JOBS"
  ctest --test-dir build-tsan --output-on-failure -j "$JOBS" -L threads --timeout 900
fi
