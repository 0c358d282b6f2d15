#!/usr/bin/env bash
# bench.sh [options]: builds a Release tolbrik and the inner-loop benchmarks in
# build-bench, then runs bench/run_bench.py, which prints one markdown table on standard
# output (progress goes to standard error). The options go to run_bench.py: --copies K,
# --runs R, --synthetic N,N, --refs K, --ram DIR, --settle S, --no-real, --no-alternatives,
# --no-inner, --no-help-file.
set -eu
cd "$(dirname "$0")/.."
scripts/need.sh cmake cmake g++ g++ python3 python3 \
  /usr/include/benchmark/benchmark.h libbenchmark-dev /usr/bin/time time
# mandoc and chmcmd are compared where they can be installed; run_bench.py says loudly
# when one is missing.
scripts/need.sh mandoc mandoc || true
scripts/need.sh chmcmd fp-utils || true
cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DTOLBRIK_BENCH=ON -DTOLBRIK_TESTS=OFF >&2
cmake --build build-bench -j "${JOBS:-2}" --target tolbrik tolbrik_bench >&2
exec python3 bench/run_bench.py --build build-bench "$@"
