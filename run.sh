#!/usr/bin/env bash
# Builds qarn if needed (installing missing packages first) and solves OPB
# instances or C-like models (files ending in .c) with it:
#   ./run.sh                       solves examples/knapsack.opb
#   ./run.sh FILE... [OPTIONS]     solves the files; the options are qarn's
# The build goes to build/ (as test.sh's) or to $QARN_BUILD_DIR.
set -euo pipefail
cd "$(dirname "$0")"
build="${QARN_BUILD_DIR:-build}"

./scripts/install-deps.sh >&2
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release "-DCMAKE_CXX_FLAGS_RELEASE=-O2 -DNDEBUG" >&2
fi
cmake --build "$build" --target qarn -j"$(nproc)" >&2

if [ $# -eq 0 ]; then
  set -- examples/knapsack.opb
fi
# The format follows the first file's extension; a -F among the arguments
# overrides it: the last -F wins.
format=opb
case "$1" in *.c) format=c ;; esac
exec "$build/qarn" -F "$format" "$@"
