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

# The fuzz targets, built with Clang, each run briefly on its seeds (made by
# the peer tools) and the regression inputs of faults found before, so that a
# regression shows; about a minute and a half in all.
if [ "${FOLIVRA_SKIP_FUZZ:-0}" != 1 ] && command -v clang++ >/dev/null; then
  CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DFOLIVRA_FUZZ=ON \
    -DFOLIVRA_TESTS=OFF -DFOLIVRA_BENCH=OFF >/dev/null
  cmake --build build-fuzz -j "$JOBS" --target fuzz_all
  rm -rf build-fuzz/seeds build-fuzz/runs
  ./fuzz/make_seeds.sh build-fuzz/seeds >/dev/null
  for target in build-fuzz/fuzz/fuzz_*; do
    name=$(basename "$target")
    mkdir -p "build-fuzz/runs/$name"
    echo "fuzz: $name"
    QT_QPA_PLATFORM=offscreen "$target" -max_total_time=6 -rss_limit_mb=2048 -timeout=20 \
      -artifact_prefix="build-fuzz/runs/$name-" "build-fuzz/runs/$name" "build-fuzz/seeds/$name" 2>"build-fuzz/runs/$name.log" ||
      { tail -n 40 "build-fuzz/runs/$name.log"; exit 1; }
  done
fi
