#!/usr/bin/env bash
# Unpacks the Debian packages in FOLDER (dpkg-deb -x, nothing is installed) and
# runs what they hold: the extracted nivo_lcd against a register file, a key FIFO
# and the packaged example configuration, fetching a page from lighttpd; the
# extracted nivo-panel reads the panel back, the extracted nivoml-check checks the page.
# Usage: tests/package/check_package.sh FOLDER   (holding nivo-lcd_*.deb and nivo-panel_*.deb)
set -euo pipefail
[ $# -eq 1 ] || { echo "usage: $0 FOLDER" >&2; exit 2; }
debs=$(realpath "$1")
cd "$(dirname "$0")/../.."
. bench/soak/site.sh
run=$(mktemp -d "${TMPDIR:-/tmp}/nivo-package.XXXXXX")
pids=()
cleanup() {
    for p in "${pids[@]}"; do kill -TERM "$p" 2>/dev/null || true; wait "$p" 2>/dev/null || true; done
    rm -rf "$run"
}
trap cleanup EXIT
fail() { echo "check_package: $*" >&2; [ ! -f "$run/unit/log" ] || tail -n 20 "$run/unit/log" >&2; exit 1; }

root=$run/root
for deb in "$debs"/nivo-lcd_*.deb "$debs"/nivo-panel_*.deb; do
    [ -f "$deb" ] || fail "no package $deb"
    dpkg-deb -x "$deb" "$root"
done
for file in usr/bin/nivo_lcd usr/bin/nivoml-check usr/bin/nivo-panel etc/init.d/nivo_lcd \
    lib/systemd/system/nivo_lcd.service usr/share/man/man8/nivo_lcd.8.gz \
    usr/share/man/man1/nivoml-check.1.gz usr/share/man/man1/nivo-panel.1.gz \
    usr/share/doc/nivo-lcd/examples/nivo_lcd.conf.example; do
    [ -e "$root/$file" ] || fail "missing /$file"
done
[ ! -e "$root/etc/config" ] || fail "/etc/config is packaged: the live configuration is no conffile"
conffiles=$(dpkg-deb --ctrl-tarfile "$debs"/nivo-lcd_*.deb | tar -xO ./conffiles)
[ "$conffiles" = /etc/init.d/nivo_lcd ] || fail "conffiles: $conffiles"

mkdir "$run/site"
cp demo/pages/hello.nivoml "$run/site/index.nivoml"
"$root/usr/bin/nivoml-check" "$run/site/index.nivoml" > "$run/check.out" ||
    fail "nivoml-check rejects the page: $(cat "$run/check.out")"
start_site "$run/site" "$run" "$(free_port tcp 18580)" || fail "lighttpd did not start"
pids+=("$site_pid")
mkdir "$run/unit"
cp "$root/usr/share/doc/nivo-lcd/examples/nivo_lcd.conf.example" "$run/unit/nivo_lcd.conf"
start_unit "$root/usr/bin/nivo_lcd" "$run/unit" "http://127.0.0.1:$site_port/index.nivoml" 2
pids+=("$unit_pid")
for _ in $(seq 100); do
    "$root/usr/bin/nivo-panel" --lcd "$run/unit/lcd" --snapshot > "$run/panel" 2>&1 || true
    grep -q 'Hello,' "$run/panel" && break
    kill -0 "$unit_pid" 2>/dev/null || fail "nivo_lcd ended"
    sleep 0.1
done
grep -q 'Hello,' "$run/panel" || fail "the page never showed: $(cat "$run/panel")"
kill -INT "$unit_pid"
status=0
wait "$unit_pid" || status=$?
pids=("$site_pid")
[ "$status" -eq 0 ] || fail "nivo_lcd exited $status after SIGINT"
echo "check_package: the packaged nivo_lcd showed the page; nivo-panel and nivoml-check ran"
