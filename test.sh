#!/usr/bin/env bash
# Builds qarn and qarn-small and runs every test: the regular build with all
# tests, then the tests once more under AddressSanitizer and
# UndefinedBehaviorSanitizer (any sanitizer report fails the run). Installs
# missing packages first. The sanitizer pass covers qarn and the large model
# only (qarn-small, the one-word-set model and their tests are built and run
# in the regular pass).
set -euo pipefail
cd "$(dirname "$0")"

./scripts/install-deps.sh

jobs="$(nproc)"

# -O2 without debug information: quicker to build than -O3 -g, and GCC 12's
# -O3 raises false string-overflow warnings.
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release "-DCMAKE_CXX_FLAGS_RELEASE=-O2 -DNDEBUG" \
  -DQARN_WERROR=ON
cmake --build build -j"$jobs"
ctest --test-dir build --output-on-failure -j"$jobs"

# Line tables are enough for the sanitizers' stack traces and halve the compile time.
# Each unit test program runs whole in a few shards: a sanitized process per
# test case would spend more time starting than testing.
cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG=-g1 \
  -DQARN_SANITIZE=ON -DQARN_WERROR=ON \
  -DQARN_BENCH=OFF -DQARN_SMALL_MODEL=OFF -DQARN_TEST_PER_CASE=OFF \
  -DQARN_DIFFERENTIAL_INSTANCES=300 -DQARN_FUZZ_MUTANTS=300
cmake --build build-sanitize -j"$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
  ctest --test-dir build-sanitize --output-on-failure -j"$jobs"

echo "All tests passed."
