#!/usr/bin/env bash
# Benchmark, not a test: how fast kestrune programs and verifies a firmware image on a simulated
# F405 with datasheet timing (flash and full-speed USB, in real time), side by side with dfu-util
# downloading and uploading the same image through the simulated libusb, and how close both come
# to the limit the device's timing sets, and `program --skip-unchanged` on a device that is
# blank, that holds the same image, and that holds another image in every sector. Prints a table;
# the figures are wall-clock medians.
#
#   scripts/bench.sh [--smoke] [--runs N] [--preset NAME]
#
# --smoke: a 4 KiB image, one run each (CI runs it so that the benchmark keeps working).
# --preset: the CMake preset to build and run (default linux-bench, optimised).
set -euo pipefail
cd "$(dirname "$0")/.."

size=983040
runs=3
preset=linux-bench
while [ $# -gt 0 ]; do
  case "$1" in
    --smoke) size=4096 runs=1 ;;
    --runs) runs="$2"; shift ;;
    --preset) preset="$2"; shift ;;
    *) echo "usage: scripts/bench.sh [--smoke] [--runs N] [--preset NAME]" >&2; exit 2 ;;
  esac
  shift
done
[[ "$runs" =~ ^[1-9][0-9]*$ ]] || { echo "bench: --runs needs a count" >&2; exit 2; }

bash scripts/bootstrap.sh
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" \
  --target kestrune make-sample-firmware sim-device-limit kestrune_sim_libusb >/dev/null
build="build/$preset"
bin="$build/bin"
shim="$(pwd)/$build/libkestrune_sim_libusb.so"

work="$(pwd)/$build/bench"
rm -rf "$work"
mkdir -p "$work/infos"
"$bin/make-sample-firmware" "$work/firmware.bin" "$size"
cat >"$work/bench.json" <<'JSON'
{
  "devices": [
    {
      "comment": "an F405 whose option bytes are already as the programming run wants them",
      "optionBytes": "E3 AA FF 3F",
      "timing": "datasheet",
      "folder": "device"
    }
  ]
}
JSON
limits="$("$bin/sim-device-limit" "$work/bench.json" "$size")"
value() { sed -n "s/^$1=//p" <<<"$limits"; }
limit_ms="$(value limit_ms)"
blocks=$(((size + 2047) / 2048))

now_ms() { echo $(($(date +%s%N) / 1000000)); }
# The median of the numbers given, one decimal.
median() { printf '%s\n' "$@" | sort -n | awk '{v[NR] = $1} END {
  printf "%.1f", NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
# Requests of all count files given, per block, with the kinds that occurred.
per_block() {
  awk -v blocks="$blocks" '!($2 in n) {kinds[++count] = $2} {n[$2] += $3; total += $3} END {
    printf "%.2f (", total / blocks
    sep = ""
    for (i = 1; i <= count; i++) if (n[kinds[i]] > 0) {
      printf "%s%s %.2f", sep, kinds[i], n[kinds[i]] / blocks; sep = ", " }
    printf ")" }' "$@"
}
fail() {
  echo "bench: $1 failed; its output:" >&2
  cat "$2" >&2
  exit 1
}

# The device's flash as a file of 1 MiB: `$1` (the image or another), erased flash behind it.
hold() {
  { cat "$1"; head -c $((1048576 - size)) /dev/zero | tr '\0' '\377'; } >"$work/device/flash.bin"
}
# kestrune program with the options given; its requests go to `$1`.requests.
run_kestrune() {
  local label="$1"
  shift
  KESTRUNE_SIM_REQUESTS="$work/$label.requests" \
    "$bin/kestrune" --simulate="$work/bench.json" --infos "$work/infos" program "$@" \
    "$work/firmware.bin" >"$work/kestrune.log" 2>&1 || fail "kestrune program $*" "$work/kestrune.log"
  cmp -s "$work/firmware.bin" <(head -c "$size" "$work/device/flash.bin") ||
    { echo "bench: after kestrune program $*, the device does not hold the image" >&2; exit 1; }
}
dfu_util() {
  local counts="$1"
  shift
  LD_PRELOAD="$shim" KESTRUNE_SIM_FILE="$work/bench.json" KESTRUNE_SIM_REQUESTS="$counts" \
    dfu-util "$@" >"$work/dfu-util.log" 2>&1 || fail "dfu-util $*" "$work/dfu-util.log"
}
run_dfu_util() {
  rm -f "$work/read.bin"
  dfu_util "$work/download.requests" -a 0 -s 0x08000000 -D "$work/firmware.bin"
  dfu_util "$work/upload.requests" -a 0 -s "0x08000000:$size" -U "$work/read.bin"
  cmp -s "$work/firmware.bin" "$work/read.bin" || fail "dfu-util read-back" "$work/dfu-util.log"
}

# The device comes up once so that its folder holds the option bytes and a flash file.
run_kestrune plain
head -c "$size" /dev/zero | tr '\0' '\377' >"$work/blank.bin"
# Every byte differs from the image's, so every sector must be erased.
perl -0777 -pe '$_ ^= "\xFF" x length' <"$work/firmware.bin" >"$work/other.bin"

kestrune_ms=()
blank_ms=()
same_ms=()
other_ms=()
dfu_util_ms=()
# Runs the command given and leaves its time in `elapsed`.
timed() {
  local start
  start=$(now_ms)
  "$@"
  elapsed=$(($(now_ms) - start))
}
for ((i = 1; i <= runs; i++)); do
  timed run_kestrune plain && kestrune_ms+=("$elapsed")
  hold "$work/blank.bin"
  timed run_kestrune blank --skip-unchanged && blank_ms+=("$elapsed")
  timed run_kestrune same --skip-unchanged && same_ms+=("$elapsed")
  hold "$work/other.bin"
  timed run_kestrune other --skip-unchanged && other_ms+=("$elapsed")
  timed run_dfu_util && dfu_util_ms+=("$elapsed")
done

k="$(median "${kestrune_ms[@]}")"
d="$(median "${dfu_util_ms[@]}")"
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
# A row of --skip-unchanged: median, its ratio to the limit and to the plain run, requests.
skip_row() {
  local m
  m="$(median "${@:3}")"
  printf '%-34s %10s %9s %9s  %s\n' "$1" "$m" "$(ratio "$m" "$limit_ms")" "$(ratio "$m" "$k")" \
    "$(per_block "$work/$2.requests")"
}
echo "Image: $size bytes ($blocks blocks of 2048) on a simulated F405, datasheet timing," \
  "$runs run(s) each"
echo "Device limit: $limit_ms ms = erase $(value erase_ms) + program $(value program_ms)" \
  "+ data stages both ways $(value data_ms)"
echo
printf '%-34s %10s %9s %9s  %s\n' "tool" "median ms" "x limit" "x plain" "requests per block"
printf '%-34s %10s %9s %9s  %s\n' "kestrune program (and verify)" "$k" "$(ratio "$k" "$limit_ms")" \
  "1.00" "$(per_block "$work/plain.requests")"
skip_row "  --skip-unchanged, blank device" blank "${blank_ms[@]}"
skip_row "  --skip-unchanged, same image" same "${same_ms[@]}"
skip_row "  --skip-unchanged, another image" other "${other_ms[@]}"
printf '%-34s %10s %9s %9s  %s\n' "dfu-util download + upload" "$d" "$(ratio "$d" "$limit_ms")" \
  "$(ratio "$d" "$k")" "$(per_block "$work/download.requests" "$work/upload.requests")"
echo
echo "kestrune / dfu-util: $(ratio "$k" "$d")"
echo "runs (ms): kestrune ${kestrune_ms[*]}; blank ${blank_ms[*]}; same ${same_ms[*]};" \
  "another ${other_ms[*]}; dfu-util ${dfu_util_ms[*]}"
# Sleeps wake late on a busy machine: the load says how far to trust the figures.
echo "load average at the end: $(cut -d ' ' -f 1-3 /proc/loadavg) on $(nproc) cores"
