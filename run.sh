#!/usr/bin/env bash
# Builds qarn if needed (installing missing packages first) and solves
# instances with it:
#   ./run.sh                       solves examples/knapsack.opb
#   ./run.sh FILE... [OPTIONS]     solves the files; the options are qarn's
# The format follows the first file's extension: .opb is OPB, anything else
# qarn's default, XCSP 2.1 (.xml).
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
format=()
for arg in "$@"; do
  case "$arg" in
    *.opb) format=(-F opb); break ;;
    *.xml) break ;;
  esac
done
# A -F among the arguments overrides this one: the last -F wins.
exec "$build/qarn" "${format[@]}" "$@"
