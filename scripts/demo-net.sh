#!/usr/bin/env bash
# The network jobs of examples/net against servers on this machine only: the test
# suite's FTP, SMTP and HTTP servers and its stand-in for the central bank's web API
# (tests/services) on 127.0.0.1, then `ostrevo --once` on the sample jobs. Shows the
# result files, what the servers received, the rate tables, and the journal.
set -euo pipefail
build=${1:-build}
top=$(cd "$(dirname "$0")/.." && pwd)
home="$top/$build/demo-net"
services="$top/tests/services"

rm -rf "$home"
mkdir -p "$home/jobs" "$home/ftp-root/in/2026" "$home/ftp-root/out" "$home/smtp-out" "$home/nbp"
cp -r "$top/examples/net/FTP" "$top/examples/net/MAIL" "$home/jobs/"
printf 'Cennik z serwera FTP\r\n' > "$home/ftp-root/out/cennik.txt"

pids=()
trap 'kill "${pids[@]}" 2>/dev/null || true' EXIT
/usr/bin/python3 "$services/ftpd.py" "$home/ftp.port" "$home/ftp-root" jan tajne 2>/dev/null & pids+=($!)
/usr/bin/python3 "$services/smtpd.py" "$home/smtp.port" "$home/smtp-out" & pids+=($!)
/usr/bin/python3 "$services/httpd.py" "$home/http.port" /dev/null & pids+=($!)
# Three tables of June 2025 as the bank's API gives them.
/usr/bin/python3 - "$home/nbp/api.json" <<'PY'
import json, sys
tables = [{"table": "A", "no": "%03d/A/NBP/2025" % (104 + i), "effectiveDate": d,
           "rates": [{"currency": "dolar amerykański", "code": "USD", "mid": 3.7461 + i / 1000},
                     {"currency": "euro", "code": "EUR", "mid": 4.2788 + i / 1000},
                     {"currency": "jen (Japonia)", "code": "JPY", "mid": 0.026213}]}
          for i, d in enumerate(["2025-06-02", "2025-06-03", "2025-06-04"])]
json.dump(tables, open(sys.argv[1], "w"))
PY
/usr/bin/python3 "$services/ratesd.py" "$home/nbp.port" "$home/nbp" "$home/nbp.log" & pids+=($!)
# A stand-in for KSeF that knows the seller of the sample invoice and its token.
mkdir -p "$home/ksef-standin"
token='20261201-EC-0000000000-0000000000-00|nip-5265877635|0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef'
( umask 077; printf '%s\n' "$token" > "$home/ksef-token" )
/usr/bin/python3 "$services/ksefd.py" "$home/ksef.port" "$home/ksef-standin" --nip 5265877635 --token "$token" & pids+=($!)
for f in ftp smtp http nbp ksef; do
  for _ in $(seq 100); do [ -s "$home/$f.port" ] && break; sleep 0.1; done
done
ftp=$(cat "$home/ftp.port"); smtp=$(cat "$home/smtp.port"); http=$(cat "$home/http.port"); nbp=$(cat "$home/nbp.port")
ksef=$(cat "$home/ksef.port")

printf '[Opcje]\r\nKatalog=jobs\r\nDrukarka=Ostrevo PDF\r\nTimer=1\r\n[Mail]\r\nPoczta=1\r\nServerName=127.0.0.1\r\nServerPort=%s\r\nUserName=biuro@ostrevo.example\r\n[Waluty]\r\nZrodlo=api\r\nSerwerApi=http://127.0.0.1:%s\r\nSerwer=http://127.0.0.1:%s\r\n[KSeF]\r\nSrodowisko=test\r\nAdres=http://127.0.0.1:%s/v2\r\nNIP=5265877635\r\nToken=ksef-token\r\n' \
  "$smtp" "$nbp" "$nbp" "$ksef" > "$home/Ostrevo.ini"
for job in "$top"/examples/net/*.txt; do
  name=$(basename "$job" .txt)
  sed -e "s/@FTP_PORT@/$ftp/" -e "s/@HTTP_PORT@/$http/" "$job" > "$home/jobs/$name.txt"
  : > "$home/jobs/$name.END"
done

"$top/$build/src/ostrevo" --home "$home" --once
echo "== result files (jobs/Errors)"
for f in "$home"/jobs/Errors/*; do printf '%s: %s\n' "$(basename "$f")" "$(tr -d '\r' < "$f")"; done
echo "== uploaded by FTP";   find "$home/ftp-root/in" -type f
echo "== downloaded";        find "$home/jobs/Download" "$home/jobs/FTP" -type f
echo "== mail received";     grep -h -E '^(To|Subject):' "$home"/smtp-out/*.eml
echo "== invoices kept after KSeF took them (jobs/KSEF)"; find "$home/jobs/KSEF" -type f 2>/dev/null || true
echo "== exchange rates (jobs/DBF)"
for f in "$home"/jobs/DBF/*.err; do printf '%s: %s\n' "$(basename "$f")" "$(tr -d '\r' < "$f")"; done
/usr/bin/python3 -c '
import sys, dbfread
for path in sys.argv[1:]:
    table = dbfread.DBF(path, encoding="cp1250")
    print(path.rsplit("/", 1)[1], [f.name for f in table.fields][:4] + ["..."], len(table), "records")
    for record in table:
        print("   ", record["W_DATA"], record["W_1USD"], record["W_1EUR"], record["W_100JPY"], record["W_NRTABELI"], record["W_F27"])
' "$home"/jobs/DBF/*.dbf
echo "== journal";           cat "$home/ostrevo.log"
