#!/usr/bin/env bash
# Installs what is missing, builds the benchmarks in Release into
# build-bench/, and prints one Markdown table: every bench_* program in name
# order adds its rows. Arguments (--quick) go to every program.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/setup.sh
pm_install_missing >&2
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release >&2
cmake --build build-bench --target portmill_benchmarks -j"$(nproc)" >&2
echo "| row | value | unit | note |"
echo "|---|---|---|---|"
for b in build-bench/bench/bench_*; do
  [ -f "$b" ] && [ -x "$b" ] || continue
  "$b" "$@"
done
