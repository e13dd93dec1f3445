#!/usr/bin/env bash
# Reports the converter's peak memory (peak resident set of the process) on a large valid file,
# damaged versions of it, a tiny file announcing a large picture and the largest damaged files of
# tests/corpus, next to each input's size and its largest frame plane. Linux; needs cmake and c++.
# What it shows: memory follows the input and one plane, never what a damaged header announces.
set -euo pipefail
cd "$(dirname "$0")/.."

cmake --preset default >/dev/null
cmake --build --preset default --target vostrel >/dev/null
out=build/bench
mkdir -p "$out"
c++ -std=c++20 -O2 -Itests bench/memory_bench.cpp tests/support/art_writer.cpp -o "$out/memory_bench"
"$out/memory_bench" build/default/src/vostrel tests/corpus "$out/scratch"
rm -rf "$out/scratch"
