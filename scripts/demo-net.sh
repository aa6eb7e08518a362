#!/usr/bin/env bash
# The network jobs of examples/net against servers on this machine only: the test
# suite's FTP, SMTP and HTTP servers (tests/services) on 127.0.0.1, then `ostrevo --once`
# on the sample jobs. Shows the result files, what the servers received, and the journal.
set -euo pipefail
build=${1:-build}
top=$(cd "$(dirname "$0")/.." && pwd)
home="$top/$build/demo-net"
services="$top/tests/services"

rm -rf "$home"
mkdir -p "$home/jobs" "$home/ftp-root/in/2026" "$home/ftp-root/out" "$home/smtp-out"
cp -r "$top/examples/net/FTP" "$top/examples/net/MAIL" "$home/jobs/"
printf 'Cennik z serwera FTP\r\n' > "$home/ftp-root/out/cennik.txt"

pids=()
trap 'kill "${pids[@]}" 2>/dev/null || true' EXIT
/usr/bin/python3 "$services/ftpd.py" "$home/ftp.port" "$home/ftp-root" jan tajne 2>/dev/null & pids+=($!)
/usr/bin/python3 "$services/smtpd.py" "$home/smtp.port" "$home/smtp-out" & pids+=($!)
/usr/bin/python3 "$services/httpd.py" "$home/http.port" /dev/null & pids+=($!)
for f in ftp smtp http; do
  for _ in $(seq 100); do [ -s "$home/$f.port" ] && break; sleep 0.1; done
done
ftp=$(cat "$home/ftp.port"); smtp=$(cat "$home/smtp.port"); http=$(cat "$home/http.port")

printf '[Opcje]\r\nKatalog=jobs\r\nDrukarka=Ostrevo PDF\r\nTimer=1\r\n[Mail]\r\nPoczta=1\r\nServerName=127.0.0.1\r\nServerPort=%s\r\nUserName=biuro@ostrevo.example\r\n' \
  "$smtp" > "$home/Ostrevo.ini"
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
echo "== journal";           cat "$home/ostrevo.log"
