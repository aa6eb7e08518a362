#!/usr/bin/env bash
# ESC/P figures: a 200-page report as a DOS program prints it to LPT1 (condensed, bold
# headings, a double frame in CP852, a form feed a page), taken by `ostrevo --lpt` with no
# monitor running (the whole process: start, capture, render, PDF), beside CUPS's
# texttopdf on the same text in UTF-8 (no codes, no frames). Median of five runs each, and
# the files' sizes. Prints figures; asserts nothing. Usage: bench/bench-escp.sh [build-dir] [pages]
set -euo pipefail
build=${1:-build}
pages=${2:-200}
top=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/home/jobs" "$work/home/lpt1" "$work/home/wydruki"
printf '[Opcje]\r\nKatalog=jobs\r\nDrukarka=Ostrevo PDF\r\n[DrukarkaPDF]\r\nKatalog=wydruki\r\n[LPT1]\r\nKatalog=lpt1\r\n' \
  > "$work/home/Ostrevo.ini"
python3 "$top/bench/escp-report.py" "$pages" "$work/report.prn" "$work/report.txt"

median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
seconds() { local s e; s=$(date +%s.%N); "$@" > /dev/null 2>&1; e=$(date +%s.%N); echo "$e - $s" | bc; }

ostrevo_run() {
  rm -f "$work/home/wydruki/"*
  XDG_RUNTIME_DIR="$work" XDG_CONFIG_HOME="$work/config" \
    "$top/$build/src/ostrevo" --home "$work/home" --lpt LPT1 < "$work/report.prn"
}
ttp_run() {
  CHARSET=utf-8 /usr/lib/cups/filter/texttopdf 1 bench bench 1 "" "$work/report.txt" > "$work/texttopdf.pdf"
}
ours=$(for _ in 1 2 3 4 5; do seconds ostrevo_run; done | median)
pdf=$(ls "$work/home/wydruki/"*.pdf)
theirs=$(for _ in 1 2 3 4 5; do seconds ttp_run; done | median)
printf 'escp: %d-page ESC/P report (%d bytes): ostrevo --lpt %.3f s, %d pages, %d bytes; texttopdf %.3f s, %d pages, %d bytes; ratio %.2f\n' \
  "$pages" "$(stat -c %s "$work/report.prn")" "$ours" "$(pdfinfo "$pdf" | awk '/^Pages/ {print $2}')" "$(stat -c %s "$pdf")" \
  "$theirs" "$(pdfinfo "$work/texttopdf.pdf" | awk '/^Pages/ {print $2}')" "$(stat -c %s "$work/texttopdf.pdf")" \
  "$(echo "$ours / $theirs" | bc -l)"
