#!/usr/bin/env bash
# Installs what is missing, builds the program and starts it, optionally on a
# file.
set -euo pipefail
cd "$(dirname "$0")"
ROOT="$(pwd)"
./scripts/setup
export CCACHE_BASEDIR="$ROOT"
export CCACHE_NOHASHDIR=1
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)" --target folivra
if [ -x build/folivra ]; then
  exec build/folivra "$@"
fi
echo "run.sh: the program did not build." >&2
exit 1
