#!/usr/bin/env bash
# The main job on a machine without hardware: build, make the sample firmware, describe it, and
# program it into the simulated device (its memory persists in bin/simulator), then show the
# line the run added to the download log. The release build has no tests: it needs no test
# framework.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/bootstrap.sh demo
cmake --preset linux-release >/dev/null
cmake --build --preset linux-release --target kestrune sample-firmware >/dev/null
bin=build/linux-release/bin
echo "\$ kestrune describe $bin/sample-firmware.bin"
"$bin/kestrune" describe "$bin/sample-firmware.bin"
echo "\$ kestrune --simulate info"
"$bin/kestrune" --simulate info
echo "\$ kestrune --simulate program $bin/sample-firmware.bin"
"$bin/kestrune" --simulate program "$bin/sample-firmware.bin"
echo "\$ tail -n 1 $bin/Infos/DownloadList.csv"
# The log is Windows-1252, as the program's texts are.
tail -n 1 "$bin/Infos/DownloadList.csv" | iconv -f CP1252 -t UTF-8
