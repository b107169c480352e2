#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (ASan+UBSan) and runs each briefly.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
ls tests/fuzz/fuzz_*.cpp >/dev/null 2>&1 || exit 0

build=${FW_FUZZ_BUILD_DIR:-build-fuzz}
seconds=${FW_FUZZ_SECONDS:-20}
CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DFW_SANITIZE=ON -DFW_FUZZ=ON -DFW_TESTS=OFF -DFW_BENCH=OFF >/dev/null
cmake --build "$build" -j"$(nproc)"
for f in "$build"/tests/fuzz/fuzz_*; do
  [ -x "$f" ] || continue
  name=$(basename "$f")
  corpus=$(mktemp -d)
  seeds="tests/fuzz/seeds/${name#fuzz_}"
  [ -d "$seeds" ] && cp -r "$seeds"/. "$corpus"/
  echo "fuzzing $name for ${seconds}s"
  "$f" -max_total_time="$seconds" -rss_limit_mb=2048 "$corpus" >"$corpus.log" 2>&1 || { tail -n 40 "$corpus.log"; exit 1; }
  rm -rf "$corpus" "$corpus.log"
done
echo "fuzzing passed"
