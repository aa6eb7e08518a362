#!/bin/sh
# Takes docs/main-window.png: the built ostrevo on a private Xvfb display, with a demo
# program directory, the main window shown, monitoring running. Then docs/journal-window.png
# (the journal window after a few sample jobs, one job still waiting) and
# docs/preview-report.png (what ostrevo --preview says of the waiting job).
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
for tool in Xvfb xwininfo import convert; do
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
Clear=0
[Dyski]
C=$work/c
INI

# The first free display from :90 on.
display=90
while [ -e "/tmp/.X11-unix/X$display" ] || [ -e "/tmp/.X$display-lock" ]; do
    display=$((display + 1))
done
Xvfb ":$display" -screen 0 1024x768x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
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
kill "$app_pid" 2>/dev/null || true
wait "$app_pid" 2>/dev/null || true
app_pid=

# The journal window: three jobs performed (a printout, a <PDF> invoice, a fiscal job
# that names no function, which fails), one waiting for its marker. Bytes as octal
# escapes: the sh's printf knows no others.
jobs=$work/c/Faktury
printf 'FAKTURA VAT nr 12/2026\r\nNabywca: Hurtownia\r\n' > "$jobs/FAKTURA.txt"
printf '<PDF>\r\nPDF_FILE=FV-12-2026.pdf\r\n<END>\r\nFaktura 12/2026\r\n' > "$jobs/FV12.txt"
printf '<DF>\r\nDRK=OMEGA_1\r\n<END>\r\n' > "$jobs/PARAGON.txt"
for job in FAKTURA FV12 PARAGON; do : > "$jobs/$job.END"; done
printf 'ZAM\340WIENIE nr 7 <2xg>pilne<1xG>\r\nTowar: \033E kabel 3x2,5\r\n%s\r\n' \
    "Pozycje ....................................................................... razem 1 234,00" \
    > "$jobs/ZAMOWIENIE.txt"
DISPLAY=":$display" XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work" QT_QPA_PLATFORM=xcb \
    OSTREVO_SHOW_JOURNAL=1 LANG=pl_PL.UTF-8 "$binary" --home "$work/home" >"$work/ostrevo.log" 2>&1 &
app_pid=$!
i=0
until [ ! -e "$jobs/PARAGON.END" ] && [ ! -e "$jobs/FAKTURA.END" ] && [ ! -e "$jobs/FV12.END" ]; do
    i=$((i + 1))
    [ $i -le 200 ] || { echo "the sample jobs were not performed" >&2; cat "$work/ostrevo.log" >&2; exit 1; }
    sleep 0.1
done
window=
i=0
while [ -z "$window" ]; do
    i=$((i + 1))
    [ $i -le 100 ] || { echo "no journal window" >&2; cat "$work/ostrevo.log" >&2; exit 1; }
    sleep 0.1
    window=$(DISPLAY=":$display" xwininfo -root -tree 2>/dev/null \
        | awk '/"Dziennik zada/ { print $1; exit }')
done
sleep 1.5
DISPLAY=":$display" import -window "$window" "$root/docs/journal-window.png"
echo "$root/docs/journal-window.png"

# The report of a preview, as the terminal shows it.
(cd "$work/c" && QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$work" "$binary" --home "$work/home" \
    --preview Faktury/ZAMOWIENIE.txt) | sed "s|$work|/srv/dos|g" > "$work/report.txt" || true
{ printf '$ ostrevo --preview ZAMOWIENIE.txt\n'; cat "$work/report.txt"; } > "$work/terminal.txt"
# ImageMagick's policy refuses label:@FILE; the text goes as an argument, "%" escaped.
convert -background '#1e1e1e' -fill '#e0e0e0' -font DejaVu-Sans-Mono -pointsize 13 -bordercolor '#1e1e1e' \
    -border 12 label:"$(sed 's/%/%%/g' "$work/terminal.txt")" "$root/docs/preview-report.png"
echo "$root/docs/preview-report.png"
