#!/usr/bin/env bash
# Start-up figures: `ostrevo --version` and an `ostrevo --once` that finds nothing to do (a
# valid Ostrevo.ini, one empty job directory), whole process, median of 20 runs each, and
# how many shared libraries the command maps for the empty --once; then the same --once
# with a CUPS queue as the printer, on the test suite's private cupsd (when CUPS is
# installed). Prints figures; asserts nothing. Usage: bench/bench-startup.sh [build-dir]
set -euo pipefail
build=${1:-build}
top=$(cd "$(dirname "$0")/.." && pwd)
ostrevo="$top/$build/src/ostrevo"
work=$(mktemp -d)
trap '[ -z "${cups:-}" ] || /bin/sh "$top/tests/services/cupsd.sh" stop "$work/cups" > /dev/null 2>&1; rm -rf "$work"' EXIT
mkdir -p "$work/home/jobs" "$work/home/out" "$work/run"
chmod 700 "$work/run"
printf '[Opcje]\r\nKatalog=jobs\r\nDrukarka=Ostrevo PDF\r\nTimer=1\r\nMonitorowanie=1\r\n[DrukarkaPDF]\r\nKatalog=out\r\n' \
  > "$work/home/Ostrevo.ini"
export XDG_RUNTIME_DIR="$work/run" XDG_CONFIG_HOME="$work/config"

# Milliseconds of each of 20 runs of the command, the median printed.
median_ms() {
  for _ in $(seq 20); do
    start=$(date +%s%N)
    "$@" > /dev/null
    end=$(date +%s%N)
    echo $(( (end - start) / 1000 ))
  done | sort -n | awk '{ t[NR] = $1 } END { printf "%.1f ms", (t[10] + t[11]) / 2000 }'
}

"$ostrevo" --home "$work/home" --once  # a first run takes its locks' files into being
echo "--version:    $(median_ms "$ostrevo" --version)"
echo "empty --once: $(median_ms "$ostrevo" --home "$work/home" --once)"
libraries=$(LD_DEBUG=files "$ostrevo" --home "$work/home" --once 2>&1 | grep -c 'calling init:' || true)
echo "empty --once maps $libraries shared libraries"
[ -z "$(find "$work/home/jobs" "$work/home/out" -mindepth 1)" ] || echo "bench-startup: the empty --once left files behind" >&2

mkdir -p "$work/cups"
if cups_server=$(/bin/sh "$top/tests/services/cupsd.sh" start "$work/cups" 2> /dev/null); then
  cups=1
  export CUPS_SERVER=$cups_server
  sed -i 's/^Drukarka=.*/Drukarka=ps\r/' "$work/home/Ostrevo.ini"
  echo "empty --once, CUPS printer: $(median_ms "$ostrevo" --home "$work/home" --once)"
fi
