#!/usr/bin/env bash
# Pictures of Kestrune.exe for the documentation: the program runs under Wine on a display of its
# own (Xvfb) on simulated benches, and docs/screenshots/ receives
#   startup.png         a valid firmware and one device
#   two-devices.png     two devices attached: the count is doubtful
#   run.png             a programming run in progress
#   failed-run.png      a run whose read-back differs, with its error box
#   serial-number.png   the serial-number dialog of "MAC setzen"
# Needs the windows preset, Xvfb, xdotool and ImageMagick (not part of the test setup).
set -euo pipefail
cd "$(dirname "$0")/.."
if [ -z "${KESTRUNE_ON_XVFB:-}" ]; then
  cmake --preset windows >/dev/null
  cmake --build --preset windows --target Kestrune make-sample-firmware >/dev/null
  export KESTRUNE_ON_XVFB=1
  exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$@"
fi

out=docs/screenshots
bin=build/windows/bin
work=$(mktemp -d)
trap 'wineserver -k 2>/dev/null || true; rm -rf "$work"' EXIT
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEPREFIX="$work/prefix"
wineboot --init >/dev/null 2>&1 || true
mkdir -p "$out"
wine "$bin/make-sample-firmware.exe" "$(winepath -w "$work/sample-firmware.bin")" >/dev/null 2>&1
firmware=$(winepath -w "$work/sample-firmware.bin")

# Benches that keep their memories in the process only, so every picture starts afresh.
bench() {
  printf '{ "devices": [ %s ] }\n' "$2" > "$work/$1.json"
  winepath -w "$work/$1.json"
}
one=$(bench one '{ "persist": false }')
two=$(bench two '{ "persist": false }, { "persist": false, "instance": "second" }')
slow=$(bench slow '{ "persist": false, "timing": { "model": "datasheet", "programUsPerWord": 1000 } }')
faulty=$(bench faulty '{ "persist": false, "faults": [ { "action": "corrupt", "address": "0x08000100" } ] }')

# The last path in the history: the window starts with the sample firmware described.
wine reg add 'HKCU\Software\Quorvel\Kestrune' /v PathList /t REG_MULTI_SZ \
  /d $'\x02'"$firmware\\0$firmware" /f >/dev/null 2>&1

window_id() { xdotool search --sync --name "^$1\$" | head -1; }
# Clicks at a point of the main window given in hundredths of its width and height.
click_at() {
  local id=$1 x=$2 y=$3
  eval "$(xdotool getwindowgeometry --shell "$id")"
  xdotool mousemove $((X + WIDTH * x / 100)) $((Y + HEIGHT * y / 100)) click 1
}
shoot() { import -window root -trim +repage "$out/$1"; }

start() {
  KESTRUNE_SIMULATE="$1" wine "$bin/Kestrune.exe" >/dev/null 2>&1 &
  main=$(window_id Kestrune)
  sleep 2
}
stop() {
  wineserver -k 2>/dev/null || true
  sleep 1
}

start "$one"; shoot startup.png; stop
start "$two"; shoot two-devices.png; stop
# OK is at 265..315 / 203..217 of 382 x 226 dialog units.
start "$slow"; click_at "$main" 76 93; sleep 5; shoot run.png; stop
start "$faulty"; click_at "$main" 76 93; window_id Fehler >/dev/null; sleep 1; shoot failed-run.png; stop
# "MAC setzen" is at 5..55 / 200..214.
start "$one"; click_at "$main" 8 91; window_id "Seriennummer einstellen" >/dev/null; sleep 1
shoot serial-number.png; stop
echo "pictures in $out"
