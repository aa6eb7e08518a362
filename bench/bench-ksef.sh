#!/usr/bin/env bash
# KSeF figures: 100 <KSEF> jobs of 20 lines each dropped at once, `ostrevo --once` against
# the test suite's stand-in for KSeF on 127.0.0.1: the time from the start to the last
# result file, and whether each invoice was accepted exactly once. Prints figures; asserts
# nothing. Usage: bench/bench-ksef.sh [build-dir]
set -euo pipefail
build=${1:-build}
top=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'kill "${pid:-}" 2>/dev/null || true; rm -rf "$work"' EXIT
token='20261201-EC-0000000000-0000000000-00|nip-5265877635|0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef'
mkdir -p "$work/home/jobs" "$work/state"
( umask 077; printf '%s\n' "$token" > "$work/home/ksef-token" )
/usr/bin/python3 "$top/tests/services/ksefd.py" "$work/port" "$work/state" --nip 5265877635 --token "$token" & pid=$!
for _ in $(seq 100); do [ -s "$work/port" ] && break; sleep 0.1; done
port=$(cat "$work/port")
printf '[Opcje]\r\nKatalog=jobs\r\nDrukarka=Ostrevo PDF\r\nTimer=1\r\n[KSeF]\r\nSrodowisko=test\r\nAdres=http://127.0.0.1:%s/v2\r\nNIP=5265877635\r\nToken=ksef-token\r\n' \
  "$port" > "$work/home/Ostrevo.ini"
/usr/bin/python3 - "$work/home/jobs" <<'PY'
import sys
for n in range(1, 101):
    lines = ["<KSEF>", "NUMER=FV/B/%04d" % n, "DATA=2026-12-01", "<END>",
             "<SPRZEDAWCA>", "NIP=5265877635", "NAZWA=Biuro", "ADRES=ul. Prosta 1", "<END>",
             "<NABYWCA>", "NIP=7762811692", "NAZWA=Klient", "<END>"]
    for i in range(1, 21):
        lines += ["<POZYCJA>", "NAZWA=Towar %d" % i, "JM=szt.", "ILOSC=%d" % i, "CENA=12,34", "VAT=23", "<END>"]
    open("%s/FV%03d.txt" % (sys.argv[1], n), "w", newline="").write("\r\n".join(lines) + "\r\n")
    open("%s/FV%03d.END" % (sys.argv[1], n), "w").close()
PY
start=$(date +%s.%N)
XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work" "$top/$build/src/ostrevo" --home "$work/home" --once 2>/dev/null || true
end=$(date +%s.%N)
ok=$(grep -l '^error=OK' "$work/home/jobs/Errors/"*.txt 2>/dev/null | wc -l)
accepted=$(curl -s "http://127.0.0.1:$port/_state" | /usr/bin/python3 -c 'import json,sys; s=json.load(sys.stdin); print(len(s["accepted"]), len(set(i["invoiceNumber"] for i in s["invoices"] if i.get("ksefNumber"))))')
printf 'ksef: 100 invoices of 20 lines, jobs to the last result file: %.1f s; results error=OK: %s; accepted by the stand-in (all, distinct numbers): %s\n' \
  "$(echo "$end - $start" | bc)" "$ok" "$accepted"
