#!/bin/sh
# A private CUPS scheduler for the tests, reachable only through a domain socket in its
# own directory, so that any number can run side by side and the system's cupsd is never
# touched.
#
#   cupsd.sh start DIR   start it; prints the socket path (use it as CUPS_SERVER)
#   cupsd.sh stop DIR    stop it and leave DIR for inspection
#
# Queues made by `start` (their output lands in DIR/out):
#   ps       generic PostScript printer with a duplexer, file:DIR/out/ps.out;
#            duplex shows as "/Duplex true" and "/Tumble" in the output, copies as
#            "/NumCopies" or repeated pages
#   pdf      PDF printer (cups/pdf-file.ppd), file:DIR/out/pdf.out: a PDF file per job, as
#            cups-pdf would write one (the cups-pdf backend reads its configuration from
#            /etc/cups only, so it cannot write into a directory of our own; a raw queue
#            writes nothing to a file: device)
# The `ps` queue is the default destination.
set -eu

cmd=${1:-}
dir=${2:-}
[ -n "$cmd" ] && [ -n "$dir" ] || { echo "usage: $0 start|stop DIR" >&2; exit 2; }

# Running and not yet a zombie: once started, cupsd belongs to whoever adopted it, which
# in a container may never reap it.
alive() {
    if [ -r "/proc/$1/stat" ]; then
        state=$(sed 's/^.*) //' "/proc/$1/stat" | cut -d' ' -f1)
        [ "$state" != Z ]
    else
        kill -0 "$1" 2>/dev/null
    fi
}

stop() {
    if [ -f "$dir/cupsd.pid" ]; then
        pid=$(cat "$dir/cupsd.pid")
        # Only our own scheduler: the pid may have been reused since.
        if [ ! -r "/proc/$pid/cmdline" ] || tr '\0' ' ' < "/proc/$pid/cmdline" | grep -q "$dir/etc/cupsd.conf"; then
            kill "$pid" 2>/dev/null || true
            i=0
            while alive "$pid" && [ $i -lt 50 ]; do sleep 0.1; i=$((i + 1)); done
            alive "$pid" && kill -9 "$pid" 2>/dev/null
        fi
        rm -f "$dir/cupsd.pid"
    fi
}

if [ "$cmd" = stop ]; then
    stop
    exit 0
fi
[ "$cmd" = start ] || { echo "unknown command: $cmd" >&2; exit 2; }

cupsd=$(command -v cupsd || echo /usr/sbin/cupsd)
lpadmin=$(command -v lpadmin || echo /usr/sbin/lpadmin)
[ -x "$cupsd" ] || { echo "cupsd not installed" >&2; exit 3; }

mkdir -p "$dir"
dir=$(cd "$dir" && pwd)
sock="$dir/cups.sock"
if [ ${#sock} -ge 100 ]; then
    echo "socket path too long: $sock" >&2
    exit 3
fi
mkdir -p "$dir/etc/ppd" "$dir/spool/tmp" "$dir/log" "$dir/cache" "$dir/state" "$dir/out"
# Filters run as the scheduler's unprivileged user when it runs as root: they must reach
# the spool and output directories.
chmod 755 "$dir" "$dir/out" "$dir/etc"
chmod 1777 "$dir/spool/tmp"

if [ "$(id -u)" = 0 ]; then
    user=lp; group=lp; sysgroup=root
else
    user=$(id -un); group=$(id -gn); sysgroup=$group
fi
chmod 777 "$dir/out"

cat > "$dir/etc/cups-files.conf" <<CONF
ServerRoot $dir/etc
RequestRoot $dir/spool
TempDir $dir/spool/tmp
CacheDir $dir/cache
StateDir $dir/state
ServerBin /usr/lib/cups
DataDir /usr/share/cups
DocumentRoot /usr/share/cups/doc-root
AccessLog $dir/log/access_log
ErrorLog $dir/log/error_log
PageLog $dir/log/page_log
FileDevice Yes
User $user
Group $group
SystemGroup $sysgroup
Sandboxing Relaxed
CONF

cat > "$dir/etc/cupsd.conf" <<CONF
Listen $sock
LogLevel info
Browsing No
BrowseLocalProtocols none
DefaultAuthType None
DefaultShared No
WebInterface No
JobRetryLimit 0
MaxJobs 0
PreserveJobHistory Yes
<Location />
  Order allow,deny
  Allow all
</Location>
<Policy default>
  <Limit All>
    Order deny,allow
  </Limit>
</Policy>
CONF

"$cupsd" -f -c "$dir/etc/cupsd.conf" -s "$dir/etc/cups-files.conf" >"$dir/log/cupsd.out" 2>&1 &
echo $! > "$dir/cupsd.pid"

i=0
until [ -S "$sock" ] && CUPS_SERVER="$sock" lpstat -r >/dev/null 2>&1; do
    i=$((i + 1))
    if [ $i -gt 100 ] || ! kill -0 "$(cat "$dir/cupsd.pid")" 2>/dev/null; then
        echo "cupsd did not start:" >&2
        cat "$dir/log/cupsd.out" "$dir/log/error_log" >&2 2>/dev/null || true
        stop
        exit 1
    fi
    sleep 0.1
done

export CUPS_SERVER="$sock"
"$lpadmin" -p ps -E -v "file:$dir/out/ps.out" -m drv:///sample.drv/generic.ppd -o Option1=True \
    -o printer-error-policy=abort-job >/dev/null 2>&1 \
    || { echo "cannot create queue ps" >&2; cat "$dir/log/error_log" >&2; stop; exit 1; }
here=$(cd "$(dirname "$0")" && pwd)
"$lpadmin" -p pdf -E -v "file:$dir/out/pdf.out" -P "$here/cups/pdf-file.ppd" -o printer-error-policy=abort-job >/dev/null 2>&1 \
    || { echo "cannot create queue pdf" >&2; cat "$dir/log/error_log" >&2; stop; exit 1; }
"$lpadmin" -d ps >/dev/null 2>&1

echo "$sock"
