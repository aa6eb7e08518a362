#!/usr/bin/env bash
# Runs the monitor on the bundled demo: a fresh copy of examples/demo as the program
# directory, with the sample jobs dropped into its jobs folder and a DOS program's printout
# waiting at its printer port LPT1. Printouts land in
# <build>/demo/wydruki as PDF files; the journal is <build>/demo/ostrevo.log.
set -euo pipefail
build=${1:-build}
top=$(cd "$(dirname "$0")/.." && pwd)
home="$top/$build/demo"

rm -rf "$home"
mkdir -p "$home/jobs"
cp -r "$top/examples/demo/." "$home/"
# The simulator fiscal drivers: <DF> jobs go through them and log each call to
# fiscal-simulator.log in the program directory.
cp "$top/$build"/drivers/simulator/lib*.so "$home/" 2>/dev/null || true
mkdir -p "$home/jobs"
for job in "$top"/examples/jobs/*.txt; do
  [ -e "$job" ] || continue
  name=$(basename "$job" .txt)
  cp "$job" "$home/jobs/$name.txt"
  : > "$home/jobs/$name.END"
done

# What a DOS program printed to LPT1 (ESC/P), waiting in the port's directory of [LPT1].
mkdir -p "$home/lpt1"
cp "$top"/examples/lpt/*.prn "$home/lpt1/" 2>/dev/null || true

echo "demo: program directory $home"
echo "demo: jobs folder       $home/jobs   (drop NAME.txt, then NAME.END)"
echo "demo: printouts         $home/wydruki"
echo "demo: fiscal printer    $home/fiscal-simulator.log, results in $home/jobs/Errors"
echo "demo: printer port LPT1 $home/lpt1   (ESC/P print jobs; echo ... | ostrevo --home $home --lpt LPT1)"
mode=()
if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  mode=(--headless)
  echo "demo: no display, running headless; Ctrl+C ends it"
fi
exec "$top/$build/src/ostrevo" --home "$home" "${mode[@]}"
