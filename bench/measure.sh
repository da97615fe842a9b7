#!/usr/bin/env bash
# Measures the figures of docs/performance.md in one run on this machine:
# idle CPU and wake-ups of nivo_lcd (a menu with the live clock on show; the
# usual build and the lean one, -DNIVO_STATIC_RUNTIME=ON) beside LCDproc's LCDd
# (curses driver in a detached tmux, loopback only), resident memory after start
# and after 10,000 page loads, stripped binary sizes, the micro-benchmarks of
# nivo_bench, the page costs under qemu-arm at -O2 and -Os, and the system calls
# of one full flush.
#
#   bench/measure.sh [OUTPUT_DIR]
#
# NIVO_MEASURE_BUILD=DIR (default build-perf, Release) is configured and built
# here, with DIR/static (the lean build), DIR/size-* (-O2 and -Os, x86-64 and
# armhf, armhf with and without the lean runtime) for the sizes and
# DIR/qemu-* (armhf benchmarks, when libbenchmark-dev:armhf is there); NIVO_JOBS
# limits the build's parallel jobs. NIVO_ARM_BUILD=DIR (default build-arm): the
# armhf nivo_lcd of the target tests, reported when it was built.
# NIVO_MEASURE_IDLE (60): the idle window in seconds; NIVO_MEASURE_LOADS (10000):
# the page loads. Raw outputs go to OUTPUT_DIR (default a new
# /tmp/nivo-measure.XXXXXX); the summary goes to standard output.
set -euo pipefail
out=$(realpath -m "${1:-$(mktemp -d "${TMPDIR:-/tmp}/nivo-measure.XXXXXX")}")
cd "$(dirname "$0")/.."
. bench/soak/site.sh
build=${NIVO_MEASURE_BUILD:-build-perf}
arm_build=${NIVO_ARM_BUILD:-build-arm}
idle_seconds=${NIVO_MEASURE_IDLE:-60}
loads_wanted=${NIVO_MEASURE_LOADS:-10000}
mkdir -p "$out"

scripts/install-deps lcdproc tmux strace binutils
# The armhf benchmarks need Google Benchmark for armhf (see scripts/target-test for the rest).
if dpkg --print-foreign-architectures | grep -qx armhf; then
    scripts/install-deps libbenchmark-dev:armhf
fi
jobs=${NIVO_JOBS:-$(nproc)}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DNIVO_TESTS=OFF >/dev/null
cmake --build "$build" --target nivo_lcd nivo_bench -j"$jobs" >/dev/null
# The lean build (static libstdc++, libgcc and pugixml, unused sections dropped)
# at -O3 as above, and at -Os as the unit's package builds it.
for lean in static:Release static-unit:MinSizeRel; do
    cmake -S . -B "$build/${lean%%:*}" -G Ninja -DCMAKE_BUILD_TYPE="${lean#*:}" \
        -DNIVO_STATIC_RUNTIME=ON -DNIVO_TESTS=OFF -DNIVO_BENCH=OFF >/dev/null
    cmake --build "$build/${lean%%:*}" --target nivo_lcd -j"$jobs" >/dev/null
done
# The program alone at -O2 and at -Os, for x86-64 and (when the cross compiler and
# the armhf pugixml are installed, see scripts/target-test) for armhf, there with
# the lean runtime (the toolchain's default) and with the shared one.
size_builds=(RelWithDebInfo MinSizeRel)
arm=false
if command -v arm-linux-gnueabihf-g++ >/dev/null &&
    [ -e /usr/lib/arm-linux-gnueabihf/libpugixml.so ]; then
    arm=true
    size_builds+=(armhf-RelWithDebInfo armhf-MinSizeRel armhf-shared-RelWithDebInfo
                  armhf-shared-MinSizeRel)
fi
arm_toolchain=-DCMAKE_TOOLCHAIN_FILE=cmake/arm-linux-gnueabihf.cmake
for size_build in "${size_builds[@]}"; do
    options=()
    [[ $size_build != armhf-* ]] || options=("$arm_toolchain")
    [[ $size_build != armhf-shared-* ]] || options+=(-DNIVO_STATIC_RUNTIME=OFF)
    cmake -S . -B "$build/size-$size_build" -G Ninja "${options[@]}" \
        -DCMAKE_BUILD_TYPE="${size_build##*-}" -DNIVO_TESTS=OFF -DNIVO_BENCH=OFF >/dev/null
    cmake --build "$build/size-$size_build" --target nivo_lcd -j"$jobs" >/dev/null
done
# The page benchmarks for armhf at -O2 and -Os, run under qemu-arm: their cost
# relative to the native run compares the two build types.
qemu_builds=()
if $arm && [ -e /usr/lib/arm-linux-gnueabihf/libbenchmark.so ] && command -v qemu-arm >/dev/null
then
    qemu_builds=(RelWithDebInfo MinSizeRel)
fi
for qemu_build in "${qemu_builds[@]}"; do
    # Google Benchmark is a shared library: the shared runtime, so that one libstdc++ runs.
    cmake -S . -B "$build/qemu-$qemu_build" -G Ninja "$arm_toolchain" -DNIVO_STATIC_RUNTIME=OFF \
        -DCMAKE_BUILD_TYPE="$qemu_build" -DNIVO_TESTS=OFF -DNIVO_BENCH=ON >/dev/null
    cmake --build "$build/qemu-$qemu_build" --target nivo_bench -j"$jobs" >/dev/null
done
program=$PWD/$build/app/nivo_lcd
lean_program=$PWD/$build/static/app/nivo_lcd
unit_program=$PWD/$build/static-unit/app/nivo_lcd
bench=$PWD/$build/bench/nivo_bench
run=$(mktemp -d "${TMPDIR:-/tmp}/nivo-measure-run.XXXXXX")
pids=()
tmux_sockets=()

# LCDd first, so that its tmux server reaps it, then the tmux server.
stop_lcdd() {  # SOCKET
    local lcdd
    lcdd=$(tmux -L "$1" list-panes -F '#{pane_pid}' 2>/dev/null) || return 0
    kill -TERM "$lcdd" 2>/dev/null || true
    for _ in $(seq 50); do
        tmux -L "$1" list-panes >/dev/null 2>&1 || break
        sleep 0.1
    done
    tmux -L "$1" kill-server 2>/dev/null || true
}
stop_tmux() {
    local socket
    for socket in "${tmux_sockets[@]}"; do stop_lcdd "$socket"; done
    tmux_sockets=()
}

cleanup() {
    local status=$?
    trap - EXIT INT TERM
    set +e
    for p in "${pids[@]}"; do kill -INT "$p" 2>/dev/null; done
    stop_tmux
    for p in "${pids[@]}"; do
        for _ in $(seq 50); do kill -0 "$p" 2>/dev/null || break; sleep 0.1; done
        kill -KILL "$p" 2>/dev/null
        wait "$p" 2>/dev/null
    done
    rm -rf "$run"
    exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# ---- process figures: CPU nanoseconds, wake-ups and memory from /proc ----

# CPU time of all threads in ns (schedstat), and their voluntary context switches:
# each is one sleep that ended, i.e. one wake-up.
cpu_ns() {  # PID
    cat /proc/"$1"/task/*/schedstat | awk '{ sum += $1 } END { printf "%d", sum }'
}
wakeups() {  # PID
    cat /proc/"$1"/task/*/status |
        awk '$1 == "voluntary_ctxt_switches:" { sum += $2 } END { print sum }'
}
rss_kb() {  # PID
    awk '$1 == "VmRSS:" { print $2 }' /proc/"$1"/status
}
# The resident memory split: proportional share (shared library pages divided
# among their users) and private dirty pages (heap, stack, written data: what the
# process alone costs and the kernel cannot drop).
pss_private_kb() {  # PID
    awk '$1 == "Pss:" { pss = $2 } $1 == "Private_Dirty:" { dirty = $2 }
         END { printf "%d kB / %d kB", pss, dirty }' /proc/"$1"/smaps_rollup
}

# ---- the web server: static pages (the program's answers), an access log ----
mkdir "$run/site"
port=$(free_port tcp 18480)  # the pages name it; start_site takes it when still free
# A menu as the unit's pages look: live date and time, four links, five divs.
menu_page() {  # EXTRA_HEAD
    printf '<nivoml pagetype="MENU"><head><date symbols="" format="%%d%%m%%y"/>'
    printf '<time symbols="" format="%%H%%M"/><goto div="d0"/>%s' "$1"
    for key in 1 2 3; do
        printf '<a href="http://127.0.0.1:%s/menu%s.nivoml" key="%s"/>' "$port" "$key" "$key"
    done
    printf '</head><body>'
    for div in 0 1 2 3 4; do
        printf '<div name="d%s">Menu %s<br/><blink>Item</blink><skip/>%s' "$div" "$div" "$div"
        printf '<a href="#d%s" key="4"/></div>' "$(((div + 1) % 5))"
    done
    printf '</body></nivoml>\n'
}
menu_page "" > "$run/site/idle.nivoml"
# The same page loading itself again 1 ms after each draw: back-to-back page loads.
menu_page "<a href=\"http://127.0.0.1:$port/loop.nivoml\" key=\"0\" autoswitch=\"1\"/>" \
    > "$run/site/loop.nivoml"
site_started=true
start_site "$run/site" "$run" "$port" || site_started=false
pids+=("$site_pid")
$site_started && [ "$site_port" = "$port" ] ||
    { echo "measure: lighttpd did not start on port $port" >&2; exit 1; }

# nivo_lcd (or PROGRAM) with its seams in folder NAME, home page URL; sets started_pid.
start_program() {  # NAME URL [PROGRAM]
    start_unit "${3:-$program}" "$run/$1" "$2" 4
    started_pid=$unit_pid
    pids+=("$started_pid")
}

# LCDd with the curses driver in its own detached tmux server, on PORT; sets started_pid.
start_lcdd() {  # NAME PORT
    local dir=$run/$1
    mkdir -p "$dir"
    cat > "$dir/LCDd.conf" <<END
[server]
DriverPath=/usr/lib/$(gcc -dumpmachine)/lcdproc/
Driver=curses
Bind=127.0.0.1
Port=$2
ReportToSyslog=no
Foreground=yes
ServerScreen=no
[menu]
[curses]
Size=20x2
END
    tmux_sockets+=("nivo-measure-$1-$$")
    tmux -L "nivo-measure-$1-$$" new-session -d -x 80 -y 24 -P -F '#{pane_pid}' \
        "exec /usr/sbin/LCDd -c $dir/LCDd.conf -f" > "$dir/pid" < /dev/null
    started_pid=$(cat "$dir/pid")
}

echo "measure: raw outputs in $out"
declare -A pid rss_start rss_end memory cpu0 cpu1 wake0 wake1
start_program idle "http://127.0.0.1:$port/idle.nivoml"
pid[program]=$started_pid
start_program idle-lean "http://127.0.0.1:$port/idle.nivoml" "$lean_program"
pid[lean]=$started_pid
start_program idle-unit "http://127.0.0.1:$port/idle.nivoml" "$unit_program"
pid[unit]=$started_pid
lcdd_port=$(free_port tcp 13666)
start_lcdd lcdd "$lcdd_port"
pid[lcdd]=$started_pid
clock_port=$(free_port tcp $((lcdd_port + 1)))
start_lcdd lcdd-clock "$clock_port"
pid[clock]=$started_pid
wait_for_port "$lcdd_port" "${pid[lcdd]}" && wait_for_port "$clock_port" "${pid[clock]}" ||
    { echo "measure: LCDd did not start" >&2; exit 1; }
# The lcdproc client with its minimal clock (hours and minutes) on the second LCDd.
cat > "$run/lcdproc.conf" <<END
[lcdproc]
Server=127.0.0.1
Port=$clock_port
ReportToSyslog=false
[MiniClock]
Active=true
TimeFormat="%H:%M"
END
lcdproc -f -c "$run/lcdproc.conf" N > "$run/lcdproc.out" 2>&1 &
pid[client]=$!
pids+=("${pid[client]}")

sleep 10  # start-up over, the menu (and the clock screen) on show
grep -q idle.nivoml "$run/access.log" || { echo "measure: nivo_lcd loaded no page" >&2; exit 1; }
names=(program lean unit lcdd clock client)
for name in "${names[@]}"; do
    kill -0 "${pid[$name]}" || { echo "measure: $name ended" >&2; exit 1; }
    rss_start[$name]=$(rss_kb "${pid[$name]}")
    cpu0[$name]=$(cpu_ns "${pid[$name]}")
    wake0[$name]=$(wakeups "${pid[$name]}")
done
t0=$(date +%s%N)
echo "measure: idle window of ${idle_seconds}s"
sleep "$idle_seconds"
t1=$(date +%s%N)
for name in "${names[@]}"; do
    cpu1[$name]=$(cpu_ns "${pid[$name]}")
    wake1[$name]=$(wakeups "${pid[$name]}")
    rss_end[$name]=$(rss_kb "${pid[$name]}")
    memory[$name]=$(pss_private_kb "${pid[$name]}")
done
# An idle system-call profile of nivo_lcd, for the record.
timeout -s INT 20 strace -c -f -p "${pid[program]}" -o "$out/strace-idle-20s.txt" 2>/dev/null ||
    true

idle_line() {  # LABEL NAME
    awk -v label="$1" -v ns=$((cpu1[$2] - cpu0[$2])) -v w=$((wake1[$2] - wake0[$2])) \
        -v t=$((t1 - t0)) -v rs="${rss_start[$2]}" -v re="${rss_end[$2]}" \
        -v memory="${memory[$2]}" 'BEGIN {
        printf "| %s | %.1f ms (%.4f %%) | %.2f | %d kB | %d kB | %s |\n",
            label, ns / 1e6, 100 * ns / t, w / (t / 1e9), rs, re, memory }'
}
{
    echo "## Idle over ${idle_seconds} s (same window)"
    echo
    echo "| process | CPU over the window | wake-ups/s | RSS after start | RSS at end |" \
        "PSS / private dirty at end |"
    echo "|---|---|---|---|---|---|"
    idle_line "nivo_lcd, menu with live clock" program
    idle_line "nivo_lcd lean (NIVO_STATIC_RUNTIME), the same" lean
    idle_line "nivo_lcd lean at -Os (the unit's build), the same" unit
    idle_line "LCDd, curses, no client (server screen)" lcdd
    idle_line "LCDd, curses, lcdproc MiniClock client" clock
    idle_line "lcdproc client (MiniClock) itself" client
    echo
} | tee "$out/summary.md"

# Memory beside one LCDd, as on a unit: two LCDd share their binary, driver and
# curses pages, which halves those in each one's PSS.
stop_lcdd "${tmux_sockets[0]}"
sleep 2
{
    echo "## Memory beside one LCDd (the server-screen LCDd stopped after the window)"
    echo
    echo "| process | RSS | PSS / private dirty |"
    echo "|---|---|---|"
    for row in "program:nivo_lcd" "lean:nivo_lcd lean" "unit:nivo_lcd lean at -Os (the unit's)" \
        "clock:LCDd with the MiniClock client" "client:lcdproc client"; do
        name=${row%%:*}
        echo "| ${row#*:} | $(rss_kb "${pid[$name]}") kB | $(pss_private_kb "${pid[$name]}") |"
    done
    echo
} | tee -a "$out/summary.md"

kill -INT "${pid[program]}" "${pid[lean]}" "${pid[unit]}" "${pid[client]}"
stop_tmux

# ---- resident memory after N page loads ----
start_program loop "http://127.0.0.1:$port/loop.nivoml"
loop_pid=$started_pid
count_loads() { awk '/loop.nivoml/ { n++ } END { print n + 0 }' "$run/access.log"; }
for _ in $(seq 1000); do (($(count_loads) >= 1)) && break; sleep 0.01; done
rss_first=$(rss_kb "$loop_pid") loads_first=$(count_loads) start_ns=$(date +%s%N)
deadline=$((SECONDS + 1800))
while (($(count_loads) < loads_wanted + loads_first)) && ((SECONDS < deadline)); do sleep 0.2; done
loads=$(($(count_loads) - loads_first))
end_ns=$(date +%s%N)
rss_after=$(rss_kb "$loop_pid")
cpu_loop=$(cpu_ns "$loop_pid")
memory_loop=$(pss_private_kb "$loop_pid")
kill -INT "$loop_pid"
{
    echo "## Page loads"
    echo
    awk -v a="$rss_first" -v b="$rss_after" -v memory="$memory_loop" -v n="$loads" \
        -v t=$((end_ns - start_ns)) -v c="$cpu_loop" -v fa="$loads_first" 'BEGIN {
        printf "- RSS after %d load(s): %d kB; after %d more loads: %d kB", fa, a, n, b
        printf " (%+d kB; PSS / private dirty %s)\n", b - a, memory
        printf "- %d loads in %.1f s: %.0f loads/s back to back (a static page from lighttpd);",
            n, t / 1e9, n / (t / 1e9)
        printf " %.0f us CPU of nivo_lcd per load\n", c / 1e3 / (n + fa) }'
    echo "- error lines in its log: $(grep -c 'ERROR' "$run/loop/log" || true)"
    echo
} | tee -a "$out/summary.md"

# ---- binary sizes ----
strip_size() {  # STRIP FILE
    cp "$2" "$run/stripped"
    "$1" --strip-all "$run/stripped"
    stat -c %s "$run/stripped"
}
{
    echo "## Stripped binary sizes"
    echo
    echo "- x86-64 nivo_lcd, Release (-O3, $build): $(strip_size strip "$program") bytes"
    echo "- x86-64 nivo_lcd lean, Release (-O3, $build/static):" \
        "$(strip_size strip "$lean_program") bytes"
    echo "- x86-64 nivo_lcd lean, MinSizeRel (-Os, $build/static-unit):" \
        "$(strip_size strip "$unit_program") bytes"
    for size_build in "${size_builds[@]}"; do
        tool=strip arch=x86-64
        [[ $size_build != armhf-* ]] || tool=arm-linux-gnueabihf-strip arch=armhf
        runtime=
        [[ $size_build != armhf-* ]] || runtime=" lean"
        [[ $size_build != armhf-shared-* ]] || runtime=" shared runtime"
        echo "- $arch nivo_lcd$runtime, ${size_build##*-} ($build/size-$size_build):" \
            "$(strip_size "$tool" "$build/size-$size_build/app/nivo_lcd") bytes"
    done
    if [ -x "$arm_build/app/nivo_lcd" ] && command -v arm-linux-gnueabihf-strip >/dev/null; then
        arm_type=$(sed -n 's/^CMAKE_BUILD_TYPE:STRING=//p' "$arm_build/CMakeCache.txt")
        echo "- armhf nivo_lcd, $arm_type" \
            "($arm_build, built $(date -r "$arm_build/app/nivo_lcd" '+%F %T')):" \
            "$(strip_size arm-linux-gnueabihf-strip "$arm_build/app/nivo_lcd") bytes"
    else
        echo "- armhf nivo_lcd in $arm_build: not built"
    fi
    echo "- LCDd as packaged (x86-64, stripped): $(stat -c %s /usr/sbin/LCDd) bytes" \
        "+ curses driver $(stat -c %s "/usr/lib/$(gcc -dumpmachine)/lcdproc/curses.so") bytes"
    # The armhf package, unpacked only to weigh it (where armhf is a dpkg architecture).
    if dpkg --print-foreign-architectures | grep -qx armhf &&
        (cd "$run" && apt-get download -qq lcdproc:armhf >/dev/null 2>&1) &&
        dpkg-deb -x "$run"/lcdproc_*_armhf.deb "$run/lcdproc-armhf"; then
        unpacked=$run/lcdproc-armhf
        echo "- LCDd as packaged (armhf, stripped): $(stat -c %s "$unpacked/usr/sbin/LCDd") bytes" \
            "+ curses driver" \
            "$(stat -c %s "$unpacked/usr/lib/arm-linux-gnueabihf/lcdproc/curses.so") bytes"
    fi
    echo "- nivo_lcd's shared libraries: $(ldd "$program" | awk '{ print $1 }' | tr '\n' ' ')"
    echo
} | tee -a "$out/summary.md"

# ---- page costs under qemu-arm at -O2 and -Os, against the native run ----
page_filter='ParseBuildDraw'
if ((${#qemu_builds[@]})); then
    "$bench" --benchmark_filter="$page_filter" --benchmark_repetitions=3 \
        --benchmark_report_aggregates_only=true --benchmark_format=csv \
        > "$out/pages-native.csv" 2>/dev/null
    for qemu_build in "${qemu_builds[@]}"; do
        qemu-arm -L / "$build/qemu-$qemu_build/bench/nivo_bench" \
            --benchmark_filter="$page_filter" --benchmark_repetitions=3 \
            --benchmark_report_aggregates_only=true --benchmark_format=csv \
            > "$out/pages-qemu-$qemu_build.csv" 2>/dev/null
    done
    # Medians (real time, us) from the csv files: native, then one column per build.
    csvs=("$out/pages-native.csv")
    for qemu_build in "${qemu_builds[@]}"; do csvs+=("$out/pages-qemu-$qemu_build.csv"); done
    {
        echo "## Page parse + build + draw under qemu-arm (median us, and times native)"
        echo
        echo "| page | native (Release) | armhf -O2 (RelWithDebInfo) | armhf -Os (MinSizeRel) |"
        echo "|---|---|---|---|"
        awk -F, 'FNR == 1 { file++ } $1 ~ /_median"$/ {
                 name = $1; gsub(/"|ParseBuildDraw\/|_median/, "", name)
                 if (!(name in seen)) { seen[name] = 1; order[++n] = name }
                 us[name, file] = $4 }
             END { for (i = 1; i <= n; i++) { p = order[i]
                 printf "| %s | %.1f |", p, us[p, 1]
                 for (f = 2; f <= file; f++)
                     printf " %.1f (%.1f x) |", us[p, f], us[p, f] / us[p, 1]
                 printf "\n" } }' "${csvs[@]}"
        echo
    } | tee -a "$out/summary.md"
fi

# ---- micro-benchmarks and the system calls of one full flush ----
benchmarks='ParseBuildDraw|XmlNodeParse|PugixmlParse|BM_KeyToPanel|BM_PageLoad|BM_AnswerToFlush'
benchmarks+='|BM_IdleWakeups|BM_FlushAll/|BM_WriteTextAndFlushText'
"$bench" --benchmark_filter="$benchmarks" --benchmark_repetitions=3 \
    --benchmark_report_aggregates_only=true 2>&1 | tee "$out/nivo_bench.txt"
for n in 0 10000; do
    strace -f -c -o "$out/strace-flush-$n.txt" "$bench" --benchmark_filter="BM_FlushAllLoop/$n/" \
        >/dev/null 2>&1
done
{
    echo
    echo "## System calls per full flush (Flush(15): text, blinking text, live clock, cursor)"
    echo
    awk 'FNR == NR && $NF != "total" && $4 ~ /^[0-9]+$/ { base[$NF] = $4; next }
         $NF != "total" && $4 ~ /^[0-9]+$/ && $4 - base[$NF] > 0 {
             printf "- %s: %.2f per flush\n", $NF, ($4 - base[$NF]) / 10000 }' \
        "$out/strace-flush-0.txt" "$out/strace-flush-10000.txt"
} | tee -a "$out/summary.md"
echo "measure: summary in $out/summary.md"
