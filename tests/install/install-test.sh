#!/usr/bin/env bash
# Installs the package, checks what it installed, performs one job with the installed
# program run as its user service runs it (plus --home), stops it with SIGTERM, then
# purges the package and checks that nothing of it remains. Needs root or sudo. A machine
# where Ostrevo is already installed is left alone.
set -euo pipefail
deb=$(realpath "$1")
SUDO=
[ "$(id -u)" -eq 0 ] || SUDO=sudo

fail() { echo "install-test: FAILED: $*" >&2; exit 1; }
if dpkg-query -W -f='${Status}' ostrevo 2>/dev/null | grep -q "install ok installed"; then
  echo "install-test: SKIPPED: ostrevo is installed on this machine already; it is not touched"
  exit 0
fi

work=$(mktemp -d)
cleanup() {
  [ -n "${pid:-}" ] && kill -KILL "$pid" 2>/dev/null || true
  rm -rf "$work"
  # A failed run leaves nothing installed behind either.
  if dpkg-query -W -f='${Status}' ostrevo 2>/dev/null | grep -q "install ok"; then
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get purge -y -qq ostrevo >/dev/null || true
  fi
}
trap cleanup EXIT

DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "$deb" > "$work/apt.log" 2>&1 \
  || { cat "$work/apt.log"; fail "apt-get install"; }
dpkg-query -L ostrevo > "$work/files"

# Version: the package's and the program's (written the Windows way, v 2.02.010).
package_version=$(dpkg-query -W -f='${Version}' ostrevo)
IFS=. read -r major minor patch <<< "$package_version"
expected=$(printf 'Ostrevo v %d.%02d.%03d' "$major" "$minor" "$patch")
[ "$(/usr/bin/ostrevo --version)" = "$expected" ] || fail "ostrevo --version says '$(/usr/bin/ostrevo --version)', not '$expected'"
echo "install-test: $expected"

for f in /usr/bin/ostrevo /usr/libexec/ostrevo/ostrevo /usr/lib/ostrevo/thermal-serial/libThermalServiceLibrary.so \
         /usr/lib/ostrevo/simulator/libElzabdr.so /usr/lib/ostrevo/simulator/libThermalServiceLibrary.so \
         /usr/share/applications/ostrevo.desktop /usr/share/icons/hicolor/scalable/apps/ostrevo.svg \
         /etc/xdg/autostart/Ostv.desktop /usr/share/man/man1/ostrevo.1.gz /usr/share/doc/ostrevo/copyright \
         /usr/lib/systemd/user/ostrevo.service /lib/systemd/system/ostrevo@.service; do
  [ -e "$f" ] || fail "$f is not installed"
done
grep -qx 'Hidden=true' /etc/xdg/autostart/Ostv.desktop || fail "the autostart entry is enabled"
man -l /usr/share/man/man1/ostrevo.1.gz > /dev/null 2>&1 || fail "the manual page does not format"
# systemd only warns of a key it does not know: any word from it fails the test.
verify() {
  systemd-analyze verify "$1" > "$work/verify.log" 2>&1 && [ ! -s "$work/verify.log" ] \
    || { cat "$work/verify.log"; fail "the unit $1"; }
}
verify /usr/lib/systemd/user/ostrevo.service
cp /lib/systemd/system/ostrevo@.service "$work/ostrevo@$(id -un).service"
verify "$work/ostrevo@$(id -un).service"

# The service's command line, as installed, on a program directory of the installed demo.
exec_start=$(sed -n 's/^ExecStart=//p' /usr/lib/systemd/user/ostrevo.service)
[[ "$exec_start" == /usr/bin/ostrevo\ * ]] || fail "ExecStart is not /usr/bin/ostrevo: $exec_start"
home="$work/home"
mkdir -p "$home/jobs" "$work/runtime"
chmod 700 "$work/runtime"
cp /usr/share/doc/ostrevo/examples/demo/Ostrevo.ini "$home/"
job=/usr/share/doc/ostrevo/examples/jobs/FAKTURA.txt
if [ -e "$job" ]; then cp "$job" "$home/jobs/FAKTURA.txt"; else zcat "$job.gz" > "$home/jobs/FAKTURA.txt"; fi
: > "$home/jobs/FAKTURA.END"
# shellcheck disable=SC2086 # the unit's words, split as systemd splits them
HOME="$work" XDG_RUNTIME_DIR="$work/runtime" $exec_start --home "$home" > "$work/stderr" 2>&1 &
pid=$!
for _ in $(seq 1 300); do
  [ -e "$home/jobs/FAKTURA.END" ] || break
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.1
done
kill -TERM "$pid"
rc=0; wait "$pid" || rc=$?
pid=
[ "$rc" -eq 0 ] || { cat "$work/stderr"; fail "the monitor ended with $rc after SIGTERM"; }
grep -q $'\tFAKTURA.txt\t.*\tOK' "$home/ostrevo.log" || { cat "$work/stderr" "$home/ostrevo.log"; fail "the job is not journaled OK"; }
ls "$home"/wydruki/*.pdf > /dev/null 2>&1 || fail "no printout in $home/wydruki"
[ ! -e "$home/jobs/FAKTURA.txt" ] || fail "the job file is still there"
echo "install-test: a printout by the installed service's command line, ended by SIGTERM with 0"

# The installed command is the launcher: Qt Core alone; it finds the installed program and
# ends an --once with nothing waiting by itself.
! ldd /usr/bin/ostrevo | grep -q libQt6Gui || fail "/usr/bin/ostrevo maps Qt Gui"
rc=0; HOME="$work" XDG_RUNTIME_DIR="$work/runtime" /usr/bin/ostrevo --home "$home" --once > "$work/stderr" 2>&1 || rc=$?
[ "$rc" -eq 0 ] && [ ! -s "$work/stderr" ] || { cat "$work/stderr"; fail "an --once with nothing waiting ended with $rc"; }
rc=0; HOME="$work" XDG_RUNTIME_DIR="$work/runtime" /usr/bin/ostrevo --home "$work/nonexistent" --once > "$work/stderr" 2>&1 || rc=$?
[ "$rc" -eq 1 ] && grep -q 'nothing was started or created' "$work/stderr" \
  || { cat "$work/stderr"; fail "the program did not explain a missing program directory (exit $rc)"; }
echo "install-test: the launcher ends an empty --once and hands the rest to the program"

DEBIAN_FRONTEND=noninteractive $SUDO apt-get purge -y -qq ostrevo > "$work/apt.log" 2>&1 || { cat "$work/apt.log"; fail "apt-get purge"; }
! dpkg-query -W -f='${Status}' ostrevo 2>/dev/null | grep -q "installed" || fail "dpkg still knows ostrevo"
left=0
while read -r f; do
  # Directories the package shares with others (/usr/bin, /etc/xdg) stay.
  if [ -e "$f" ] && [ ! -d "$f" ]; then echo "install-test: left behind: $f" >&2; left=1; fi
done < "$work/files"
for d in /usr/lib/ostrevo /usr/libexec/ostrevo /usr/share/doc/ostrevo; do
  [ ! -e "$d" ] || { echo "install-test: left behind: $d" >&2; left=1; }
done
[ "$left" -eq 0 ] || fail "files of the package remain after the purge"
echo "install-test: purged, nothing of the package remains"
