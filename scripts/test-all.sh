#!/usr/bin/env bash
# Builds and runs every test suite: native (with the benchmarks' smoke runs), ASan+UBSan, TSan,
# Windows under Wine, and each fuzz target for a short while.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/bootstrap.sh
presets=("$@")
[ ${#presets[@]} -gt 0 ] || presets=(linux linux-asan linux-tsan windows linux-fuzz)
for preset in "${presets[@]}"; do
  echo "=== $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  runner=()
  # ThreadSanitizer needs the classic address-space layout on kernels with more mmap randomness.
  [ "$preset" = linux-tsan ] && runner=(setarch "$(uname -m)" -R)
  "${runner[@]}" ctest --preset "$preset"
  # The benchmarks in their short form, so that they keep working.
  if [ "$preset" = linux ]; then
    bash scripts/bench.sh --smoke --preset linux
    bash scripts/bench-ledger.sh --smoke --preset linux
  fi
done
