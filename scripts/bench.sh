#!/usr/bin/env bash
# Builds the benchmarks in release mode and prints every performance figure in one table, each
# beside its goal. Takes about a minute (the transfer benchmarks run on the real clock).
#
#   bash scripts/bench.sh
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build/bench -DCMAKE_BUILD_TYPE=Release -DRIRUD_BUILD_TESTS=OFF -DRIRUD_BUILD_BENCH=ON >/dev/null
cmake --build build/bench -j "$(nproc)"
exec python3 scripts/bench_report.py build/bench
