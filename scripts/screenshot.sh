#!/bin/sh
# Takes docs/main-window.png: the built ostrevo on a private Xvfb display, with a demo
# program directory, the main window shown, monitoring running.
#
#   scripts/screenshot.sh [path/to/ostrevo | build directory]
#
# Needs Xvfb, xwininfo (x11-utils) and ImageMagick's import.
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
binary=${1:-${OSTREVO_BINARY:-}}
if [ -z "$binary" ]; then
    for candidate in "$root/build/src/ostrevo" "$root/build-d/src/ostrevo"; do
        [ -x "$candidate" ] && binary=$candidate && break
    done
fi
# `make screenshot` passes its build directory; a directory is "executable" too, so
# it must be told apart from the program itself.
if [ -n "$binary" ] && [ -d "$binary" ]; then
    binary=$binary/src/ostrevo
fi
[ -n "$binary" ] && [ -f "$binary" ] && [ -x "$binary" ] || { echo "no built ostrevo at '${binary}'; pass its path or its build directory" >&2; exit 2; }
binary=$(cd "$(dirname "$binary")" && pwd)/$(basename "$binary")
for tool in Xvfb xwininfo import; do
    command -v "$tool" >/dev/null || { echo "$tool is not installed" >&2; exit 3; }
done

work=$(mktemp -d)
xvfb_pid=
app_pid=
cleanup() {
    [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null || true
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT INT TERM

# A demo program directory: the DOS program's directory C:\FAKTURY, with drive C mapped
# to a temporary directory (so the picture does not change from run to run), the built-in
# printer, monitoring running since the last save. No start-with-system entry is written.
mkdir -p "$work/home" "$work/config" "$work/c/Faktury"
cat > "$work/home/Ostrevo.ini" <<INI
[Opcje]
Katalog=C:\\FAKTURY
Drukarka=Ostrevo PDF
Monitorowanie2=0
Katalog2=
Drukarka2=
AutoRun=0
Ground=1
Timer=1
Monitorowanie=1
[Dyski]
C=$work/c
INI

# The first free display from :90 on.
display=90
while [ -e "/tmp/.X11-unix/X$display" ] || [ -e "/tmp/.X$display-lock" ]; do
    display=$((display + 1))
done
Xvfb ":$display" -screen 0 640x480x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
i=0
until [ -e "/tmp/.X11-unix/X$display" ]; do
    i=$((i + 1))
    [ $i -le 100 ] || { echo "Xvfb did not start" >&2; cat "$work/xvfb.log" >&2; exit 1; }
    sleep 0.1
done

# No tray on a bare X server: the window is shown at start; the variable says so anyway.
DISPLAY=":$display" XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work" QT_QPA_PLATFORM=xcb \
    OSTREVO_SHOW_WINDOW=1 LANG=pl_PL.UTF-8 "$binary" --home "$work/home" >"$work/ostrevo.log" 2>&1 &
app_pid=$!

# The window, once start-up has completed (about half a second after it appears).
window=
i=0
while [ -z "$window" ]; do
    i=$((i + 1))
    [ $i -le 100 ] || { echo "no Ostrevo window" >&2; cat "$work/ostrevo.log" >&2; exit 1; }
    sleep 0.1
    window=$(DISPLAY=":$display" xwininfo -root -tree 2>/dev/null \
        | awk '/"Ostrevo": \("ostrevo"/ { print $1; exit }')
done
sleep 1.5

mkdir -p "$root/docs"
DISPLAY=":$display" import -window "$window" "$root/docs/main-window.png"
echo "$root/docs/main-window.png"
