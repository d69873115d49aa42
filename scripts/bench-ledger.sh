#!/usr/bin/env bash
# Benchmark, not a test: identity assignments per second on each store of the ledger, with
# several stations at once. Each station is a ledger-load process; an assignment is what a
# station does per device: propose the lowest free serial number, reserve it with its two MAC
# addresses, mark it written, and record the verified run (through the station's queue file).
# The PostgreSQL store runs on a server of its own in a temporary folder (Debian's postgresql
# package), with its default durability.
#
#   scripts/bench-ledger.sh [--smoke] [--stations N] [--each N] [--preset NAME]
#
# --smoke: 2 stations, 5 assignments each (CI runs it so that the benchmark keeps working).
set -euo pipefail
cd "$(dirname "$0")/.."

stations=8
each=50
preset=linux-release
while [ $# -gt 0 ]; do
  case "$1" in
    --smoke) stations=2 each=5 ;;
    --stations) stations="$2"; shift ;;
    --each) each="$2"; shift ;;
    --preset) preset="$2"; shift ;;
    *) echo "usage: scripts/bench-ledger.sh [--smoke] [--stations N] [--each N] [--preset NAME]" >&2
       exit 2 ;;
  esac
  shift
done

bash scripts/bootstrap.sh
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" --target ledger-load >/dev/null
load="$(pwd)/build/$preset/bin/ledger-load"

work="$(mktemp -d /tmp/kestrune-ledger-bench-XXXXXX)"
server_user=()
pg_bin="$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -1)"
stop_server() {
  [ -f "$work/pg/data/postmaster.pid" ] &&
    "${server_user[@]}" "$pg_bin/pg_ctl" -D "$work/pg/data" -m fast -w stop >/dev/null 2>&1
  rm -rf "$work"
}
trap stop_server EXIT

now_ms() { echo $(($(date +%s%N) / 1000000)); }

# Runs the stations against WHERE and prints the assignments per second.
measure() {
  local where="$1" start end pids=() failed=0
  start=$(now_ms)
  for i in $(seq 1 "$stations"); do
    "$load" "$where" "$work/queue-$i.csv" "$each" "station$i" >"$work/out-$i.txt" &
    pids+=($!)
  done
  for pid in "${pids[@]}"; do wait "$pid" || failed=1; done
  end=$(now_ms)
  [ $failed -eq 0 ] || { echo "bench-ledger: a station failed on $where" >&2; exit 1; }
  local given
  given=$(cat "$work"/out-*.txt | awk '$1 == "reserved" { print $2 }' | sort | uniq -d | wc -l)
  [ "$given" -eq 0 ] || { echo "bench-ledger: $given serial numbers given twice" >&2; exit 1; }
  awk -v n=$((stations * each)) -v ms=$((end - start)) \
    'BEGIN { printf "%8.1f assignments/s  (%d in %d ms)", n * 1000 / ms, n, ms }'
}

echo "Stations: $stations at once, $each assignments each"
printf '%-12s %s\n' "file" "$(measure "$work/ledger.csv")"

if [ -z "$pg_bin" ]; then
  echo "postgresql  skipped: Debian's postgresql package is not installed"
  exit 0
fi
mkdir -p "$work/pg"
if [ "$(id -u)" -eq 0 ]; then
  chown nobody "$work" "$work/pg"
  server_user=(runuser -u nobody --)
fi
"${server_user[@]}" "$pg_bin/initdb" -D "$work/pg/data" -U kestrune --auth=trust -E UTF8 \
  --locale=C >"$work/initdb.log" 2>&1
"${server_user[@]}" "$pg_bin/pg_ctl" -D "$work/pg/data" -l "$work/pg/server.log" -w \
  -o "-k $work/pg -c listen_addresses=" start >/dev/null
rm -f "$work"/queue-*.csv
printf '%-12s %s\n' "postgresql" "$(measure "postgresql://kestrune@/postgres?host=$work/pg")"
echo "load average at the end: $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) cores"
