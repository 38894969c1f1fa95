#!/usr/bin/env bash
# Builds qarn if needed (installing missing packages first) and solves OPB
# instances or C-like models (files ending in .c) with it:
#   ./run.sh                       solves examples/knapsack.opb
#   ./run.sh FILE... [OPTIONS]     solves the files; the options are qarn's
# QARN_PROGRAM=qarn-small selects the second program, whose values lie in
# 0..31 (default: qarn); without files it solves examples/queens6.opb, as
# the knapsack's sums go beyond 31.
# The build goes to build/ (as test.sh's) or to $QARN_BUILD_DIR.
set -euo pipefail
cd "$(dirname "$0")"
build="${QARN_BUILD_DIR:-build}"
program="${QARN_PROGRAM:-qarn}"
case "$program" in
  qarn|qarn-small) ;;
  *) echo "QARN_PROGRAM must be qarn or qarn-small, not '$program'" >&2; exit 1 ;;
esac

./scripts/install-deps.sh >&2
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release "-DCMAKE_CXX_FLAGS_RELEASE=-O2 -DNDEBUG" >&2
fi
cmake --build "$build" --target "$program" -j"$(nproc)" >&2

if [ $# -eq 0 ]; then
  if [ "$program" = qarn ]; then set -- examples/knapsack.opb; else set -- examples/queens6.opb; fi
fi
# The format follows the first file's extension; a -F among the arguments
# overrides it: the last -F wins.
format=opb
case "$1" in *.c) format=c ;; esac
exec "$build/$program" -F "$format" "$@"
