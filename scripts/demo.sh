#!/usr/bin/env bash
# The main job: build, make the sample firmware, describe it, and program it into the device:
# the one attached in its DFU boot loader, or the simulated device where none is (its memory
# persists in bin/simulator); then show the line the run added to the download log. A firmware
# file given as the argument is programmed instead of the sample. The release build has no
# tests: it needs no test framework.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/bootstrap.sh demo
cmake --preset linux-release >/dev/null
cmake --build --preset linux-release --target kestrune sample-firmware >/dev/null
bin=build/linux-release/bin
firmware="${1:-$bin/sample-firmware.bin}"
# `list` succeeds only when the machine's USB shows a DFU device.
device=--simulate
if env -u KESTRUNE_SIMULATE "$bin/kestrune" list >/dev/null 2>&1; then
  device=
  echo "A device is attached in its DFU boot loader: the demo programs it."
fi
echo "\$ kestrune describe $firmware"
"$bin/kestrune" describe "$firmware"
echo "\$ kestrune ${device:+$device }info"
env -u KESTRUNE_SIMULATE "$bin/kestrune" $device info
echo "\$ kestrune ${device:+$device }program $firmware"
env -u KESTRUNE_SIMULATE "$bin/kestrune" $device program "$firmware"
echo "\$ tail -n 1 $bin/Infos/DownloadList.csv"
# The log is Windows-1252, as the program's texts are.
tail -n 1 "$bin/Infos/DownloadList.csv" | iconv -f CP1252 -t UTF-8
