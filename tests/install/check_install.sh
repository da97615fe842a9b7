#!/bin/sh
# Installs BUILD_DIR ($1) with prefix /usr into a temporary DESTDIR, checks the tree, example
# configuration and systemd unit, and drives the init script against a stand-in program.
set -u
root=$(mktemp -d "${TMPDIR:-/tmp}/nivo_install.XXXXXX") || exit 1
dest=$root/dest failures=0
# Every stand-in ever started is killed, also those a faulty script lost track of.
trap 'kill -KILL $(cat "$root/nivo_lcd.pids" 2>/dev/null) 2>/dev/null; rm -rf "$root"' EXIT
trap "exit 1" HUP INT TERM
fail() { echo "FAIL: $*" && failures=$((failures + 1)); }

DESTDIR=$dest cmake --install "$1" --prefix /usr >"$root/log" 2>&1 || { cat "$root/log"; exit 1; }
cd "$dest" || exit 1
tree=$(find . -type f -printf '%m %p\n' | LC_ALL=C sort -k2 | tr '\n' ' ')
web=./usr/share/nivo_lcd/web
[ "$tree" = "644 ./etc/config/nivo_lcd.conf.example 755 ./etc/init.d/nivo_lcd 755 ./usr/bin/\
nivo-panel-svg 755 ./usr/bin/nivo_lcd 755 ./usr/bin/nivoml-check 644 ./usr/lib/systemd/system/\
nivo_lcd.service 644 $web/index.html 755 $web/panel.cgi 644 $web/panel.css 644 $web/panel.js \
755 $web/press.cgi " ] ||
    fail "installed: $tree"
# Every key with its default; unit and script name the installed binary.
unit=usr/lib/systemd/system/nivo_lcd.service
for line in BACKLIGHT=60 CONTRAST=7 BRIGHTNESS=15 TIMEFORMAT=%H%M DATEFORMAT=%d%m%y \
    'ExecStart=/usr/bin/nivo_lcd $NIVO_LCD_OPTS' 'ExecReload=/bin/kill -USR1 $MAINPID' \
    KillSignal=SIGINT Restart=always DAEMON=/usr/bin/nivo_lcd; do
    cat etc/config/nivo_lcd.conf.example $unit etc/init.d/nivo_lcd | grep -qxF "$line" ||
        fail "no line $line"
done
if command -v systemd-analyze >/dev/null; then  # it wants ExecStart to exist; warnings exit 0
    sed "s|^ExecStart=/usr/bin/|ExecStart=$dest/usr/bin/|" $unit >"$root/nivo_lcd.service"
    out=$(systemd-analyze verify "$root/nivo_lcd.service" 2>&1) && [ -z "$out" ] || fail "$out"
fi

# A stand-in nivo_lcd logging its start and signals. Perl, not sh: a shell cannot trap
# SIGINT that a background start left ignored.
printf '%s\n' '#!/usr/bin/perl' 'open(P, ">>$0.pids"); print P "$$\n"; close(P);' \
    'open(L, ">>$0.log"); select(L); $| = 1; print "start @ARGV\n";' \
    '$SIG{USR1} = sub { print "reload\n" }; $SIG{INT} = sub { print "stop\n"; exit 0 };' \
    'sleep 1 while 1;' >"$root/nivo_lcd"
chmod 755 "$root/nivo_lcd"
echo 'NIVO_LCD_OPTS="-l 3"' >"$root/defaults"
sed -e "s|^DAEMON=.*|DAEMON=$root/nivo_lcd|" -e "s|^PIDFILE=.*|PIDFILE=$root/pid|" \
    -e "s|^DEFAULTS=.*|DEFAULTS=$root/defaults|" etc/init.d/nivo_lcd >"$root/init"

log() { cat "$root/nivo_lcd.log" 2>/dev/null | tr '\n' ' '; }
# Runs the init script with $1: it must exit $2 and the stand-in's log read $3 within 5 s.
step() {
    PATH=$path sh "$root/init" "$1" >>"$root/init.log" 2>&1
    rc=$? i=0
    [ "$rc" -eq "$2" ] || fail "$path: $1 exited $rc, not $2"
    while [ "$(log)" != "$3" ] && [ $((i += 1)) -le 50 ]; do sleep 0.1; done
    [ "$(log)" = "$3" ] || fail "$path: $1: stand-in log '$(log)', expected '$3'"
}
for path in /usr/sbin:/usr/bin:/sbin:/bin /usr/bin:/bin; do  # the second: no start-stop-daemon
    rm -f "$root/nivo_lcd.log"
    step status 3 ""
    step start 0 "start -l 3 "
    step status 0 "start -l 3 "
    first=$(cat "$root/pid")
    step start 0 "start -l 3 "  # already running: the same process
    [ "$(cat "$root/pid")" = "$first" ] || fail "$path: a second start started another one"
    step reload 0 "start -l 3 reload "
    step restart 0 "start -l 3 reload stop start -l 3 "
    [ "$(cat "$root/pid")" != "$first" ] || fail "$path: restart kept the old process"
    step stop 0 "start -l 3 reload stop start -l 3 stop "
    step status 3 "start -l 3 reload stop start -l 3 stop "
    step reload 7 "start -l 3 reload stop start -l 3 stop "
done
[ "$failures" -eq 0 ] || { cat "$root/init.log"; exit 1; }
echo "install tree, unit and init script: all checks passed"
