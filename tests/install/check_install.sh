#!/bin/sh
# Installs BUILD_DIR with `cmake --install --prefix /usr` into a temporary DESTDIR,
# checks the tree it leaves, verifies the systemd unit where systemd-analyze exists,
# and drives the init script through start, status, reload, restart and stop
# against a stand-in program, with start-stop-daemon and without it.
# Usage: check_install.sh BUILD_DIR
set -u
build=$1
root=$(mktemp -d "${TMPDIR:-/tmp}/nivo_install.XXXXXX") || exit 1
failures=0
stand_in_pid() { cat "$root/run/nivo_lcd.pid" 2>/dev/null; }
cleanup() {  # every stand-in ever started, also those a faulty script lost track of
    for pid in $(cat "$root/bin/nivo_lcd.pids" 2>/dev/null); do kill -KILL "$pid" 2>/dev/null; done
    rm -rf "$root"
}
trap cleanup EXIT
trap "exit 1" HUP INT TERM
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

DESTDIR="$root/dest" cmake --install "$build" --prefix /usr >"$root/install.log" 2>&1 ||
    { cat "$root/install.log"; echo "FAIL: cmake --install"; exit 1; }
dest=$root/dest

# The tree, whole: nothing missing, nothing extra.
expected="/etc/config/nivo_lcd.conf.example
/etc/init.d/nivo_lcd
/usr/bin/nivo_lcd
/usr/bin/nivoml-check
/usr/lib/systemd/system/nivo_lcd.service"
tree=$(cd "$dest" && find . -type f | sed 's/^\.//' | LC_ALL=C sort)
[ "$tree" = "$expected" ] || fail "installed files:
$tree
expected:
$expected"
for program in usr/bin/nivo_lcd usr/bin/nivoml-check etc/init.d/nivo_lcd; do
    [ -x "$dest/$program" ] || fail "$program is not executable"
done

# The example is a configuration the program reads: every key, with its default.
for line in BACKLIGHT=60 CONTRAST=7 BRIGHTNESS=15 TIMEFORMAT=%H%M DATEFORMAT=%d%m%y; do
    grep -qx "$line" "$dest/etc/config/nivo_lcd.conf.example" || fail "example lacks $line"
done

# Unit and script name the binary where it was installed, without DESTDIR.
unit=$dest/usr/lib/systemd/system/nivo_lcd.service
grep -q '^ExecStart=/usr/bin/nivo_lcd ' "$unit" || fail "unit ExecStart: $(grep ExecStart= "$unit")"
grep -qx 'ExecReload=/bin/kill -USR1 $MAINPID' "$unit" || fail "unit has no SIGUSR1 reload"
grep -qx 'Restart=on-failure' "$unit" || fail "unit does not restart on failure"
grep -qx 'DAEMON=/usr/bin/nivo_lcd' "$dest/etc/init.d/nivo_lcd" || fail "init script DAEMON"

if command -v systemd-analyze >/dev/null 2>&1; then
    # verify wants ExecStart to exist: a copy names the binary inside DESTDIR.
    # Warnings about bad settings do not change its exit status: any output fails.
    mkdir "$root/unit"
    sed "s|^ExecStart=/usr/bin/|ExecStart=$dest/usr/bin/|" "$unit" >"$root/unit/nivo_lcd.service"
    systemd-analyze verify "$root/unit/nivo_lcd.service" >"$root/verify.log" 2>&1 &&
        [ ! -s "$root/verify.log" ] || fail "systemd-analyze verify: $(cat "$root/verify.log")"
else
    echo "systemd-analyze not found: the unit is not verified"
fi

script=$dest/etc/init.d/nivo_lcd
sh -n "$script" || fail "init script: sh -n"

# The init script against a stand-in named nivo_lcd that records the signals it gets.
# Perl, not sh: a shell cannot trap SIGINT that a background start left ignored.
mkdir -p "$root/run" "$root/bin"
cat >"$root/bin/nivo_lcd" <<'END'
#!/usr/bin/perl
open(my $pids, '>>', "$0.pids") or die;
print $pids "$$\n";
close($pids);
open(my $log, '>>', "$0.log") or die;
$log->autoflush(1);
print $log "start @ARGV\n";
$SIG{USR1} = sub { print $log "reload\n" };
$SIG{INT} = sub { print $log "stop\n"; exit 0 };
sleep 1 while 1;
END
chmod 755 "$root/bin/nivo_lcd"
printf 'NIVO_LCD_OPTS="-l 3"\n' >"$root/defaults"
sed -e "s|^DAEMON=.*|DAEMON=$root/bin/nivo_lcd|" -e "s|^PIDFILE=.*|PIDFILE=$root/run/nivo_lcd.pid|" \
    -e "s|^DEFAULTS=.*|DEFAULTS=$root/defaults|" "$script" >"$root/init"

# Waits up to 5 s for the stand-in's log to read $1.
log_is() {
    i=0
    while [ "$(cat "$root/bin/nivo_lcd.log" 2>/dev/null | tr '\n' ' ')" != "$1" ] && [ $i -lt 50 ]; do
        sleep 0.1
        i=$((i + 1))
    done
    [ "$(cat "$root/bin/nivo_lcd.log" 2>/dev/null | tr '\n' ' ')" = "$1" ] ||
        fail "$2: stand-in log '$(cat "$root/bin/nivo_lcd.log" 2>/dev/null | tr '\n' ' ')', expected '$1'"
}
run_init() {
    PATH=$1 sh "$root/init" "$2" >>"$root/init.log" 2>&1
}

for path in /usr/sbin:/usr/bin:/sbin:/bin /usr/bin:/bin; do
    if PATH=$path command -v start-stop-daemon >/dev/null 2>&1; then
        how="with start-stop-daemon"
    else
        how="without start-stop-daemon"
    fi
    rm -f "$root/bin/nivo_lcd.log"
    run_init "$path" status
    [ $? -eq 3 ] || fail "$how: status before start is not 3"
    run_init "$path" start || fail "$how: start"
    log_is "start -l 3 " "$how: start"
    run_init "$path" status || fail "$how: status of a running program is not 0"
    first=$(stand_in_pid)
    run_init "$path" start || fail "$how: second start"
    [ "$(stand_in_pid)" = "$first" ] || fail "$how: a second start started another one"
    run_init "$path" reload || fail "$how: reload"
    log_is "start -l 3 reload " "$how: reload"
    run_init "$path" restart || fail "$how: restart"
    log_is "start -l 3 reload stop start -l 3 " "$how: restart"
    [ "$(stand_in_pid)" != "$first" ] || fail "$how: restart kept the old process"
    run_init "$path" stop || fail "$how: stop"
    log_is "start -l 3 reload stop start -l 3 stop " "$how: stop"
    run_init "$path" status
    [ $? -eq 3 ] || fail "$how: status after stop is not 3"
    run_init "$path" reload && fail "$how: reload of a stopped program succeeded"
done

if [ "$failures" -ne 0 ]; then
    echo "---- init script output"
    cat "$root/init.log"
    exit 1
fi
echo "install tree, unit and init script: all checks passed"
