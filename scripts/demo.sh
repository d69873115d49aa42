#!/usr/bin/env bash
# The main job on a machine without hardware: build, make the sample firmware and describe it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/bootstrap.sh
cmake --preset linux-release >/dev/null
cmake --build --preset linux-release --target kestrune sample-firmware >/dev/null
bin=build/linux-release/bin
echo "\$ kestrune describe $bin/sample-firmware.bin"
"$bin/kestrune" describe "$bin/sample-firmware.bin"
echo "\$ kestrune --simulate info"
"$bin/kestrune" --simulate info
