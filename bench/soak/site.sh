# Shared by bench/soak/soak.sh and bench/measure.sh (bash, sourced from the top
# of the tree): free loopback ports, a lighttpd site with an access log (one line
# per page load) and nivo_lcd started with its seams in a folder.

# The first port from FIRST on that no socket of PROTO (tcp: listening, udp: bound) holds.
free_port() {  # PROTO FIRST
    local proto=$1 port=$2
    while awk -v port="$(printf ':%04X' "$port")" -v tcp="$([ "$1" = tcp ] && echo 1)" '
            FNR > 1 && substr($2, length($2) - 4) == port && (!tcp || $4 == "0A") { held = 1 }
            END { exit !held }' "/proc/net/$proto" "/proc/net/${proto}6" 2>/dev/null; do
        port=$((port + 1))
    done
    echo "$port"
}

# Waits (at most 10 s) until PORT accepts; fails at once when PID has ended.
wait_for_port() {  # PORT PID
    for _ in $(seq 100); do
        (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null && return 0
        kill -0 "$2" 2>/dev/null || return 1
        sleep 0.1
    done
    return 1
}

# lighttpd with the demo's configuration serving SITE, its files and RUN/access.log
# in RUN, on a free port from FIRST on (another server may take a port first: then
# the next); sets site_port and site_pid.
start_site() {  # SITE RUN FIRST
    site_port=$3
    for _ in $(seq 20); do
        site_port=$(free_port tcp "$site_port")
        sed -e "s|@PORT@|$site_port|" -e "s|@SITE@|$1|" -e "s|@RUN@|$2|" \
            demo/lighttpd.conf.in > "$2/lighttpd.conf"
        printf 'server.modules += ("mod_accesslog")\naccesslog.filename = "%s/access.log"\n' \
            "$2" >> "$2/lighttpd.conf"
        "$(command -v lighttpd || echo /usr/sbin/lighttpd)" -D -f "$2/lighttpd.conf" \
            > "$2/lighttpd.out" 2>&1 &
        site_pid=$!
        # The port may answer for another server: ours must still run after it.
        wait_for_port "$site_port" "$site_pid" && sleep 0.2 && kill -0 "$site_pid" 2>/dev/null &&
            return 0
        kill -TERM "$site_pid" 2>/dev/null || true
        wait "$site_pid" 2>/dev/null || true
        site_port=$((site_port + 1))
    done
    return 1
}

# PROGRAM against a register file, a key FIFO, a configuration file and a stub
# date (it logs to DIR/date.log) in DIR, with home page URL, logging at LEVEL to
# DIR/log; sets unit_pid and unit_udp_port.
start_unit() {  # PROGRAM DIR URL LEVEL
    local dir=$2
    mkdir -p "$dir/bin"
    : > "$dir/lcd"
    mkfifo "$dir/keys"
    printf '#!/bin/sh\necho "date $*" >> "%s/date.log"\n' "$dir" > "$dir/bin/date"
    chmod +x "$dir/bin/date"
    unit_udp_port=$(free_port udp $((18182 + RANDOM % 1000)))  # apart from other runs
    NIVO_LCD_DEVICE="$dir/lcd" NIVO_KEYS_DEVICE="$dir/keys" NIVO_LCD_CONFIG="$dir/nivo_lcd.conf" \
        NIVO_UDP_PORT="$unit_udp_port" PATH="$dir/bin:$PATH" \
        "$1" -c -l "$4" -h "$3" > /dev/null 2> "$dir/log" &
    unit_pid=$!
}
