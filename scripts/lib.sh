# Shared by scripts/run, scripts/test and scripts/bench. Source it; do not run it.
#
# How it works
# - qx_install: installs the Debian packages the project needs, only those
#   that are missing (apt-get, through sudo when not root).
# - qx_build_native / qx_build_win: configure and build the native core (for
#   its tests and benchmarks) and the cross-compiled Windows program.
# - qx_env_start: a private, disposable world for the program under Wine:
#   an Xvfb display of $QX_SCREEN (2560x1600 unless told otherwise: room for
#   the windows at 200 %; unless told to use the user's display), a PulseAudio server with
#   two null sinks ("out", the speakers, and "feed", whose monitor is the
#   default recording source: the virtual microphone), a feeder that plays a
#   known signal into "feed", a persistent wineserver, and a Wine prefix kept
#   in the build folder. Everything started is recorded by pid and stopped by
#   qx_env_stop, never touching anyone else's processes.
# - qx_dpi_run DPI COMMAND...: after qx_env_start, runs COMMAND in the same
#   world but at another screen DPI: a private copy of the Wine prefix with
#   "LogPixels" set to DPI, its own wineserver and a private Xvfb big enough
#   for the windows at 200 %. The sound devices are the same. Everything it
#   starts it stops again; the copy is removed.
#
# The feeder reads the signal to play from $QX_FEED_SIGNAL (a text file; under
# Wine the same file is $QX_FEED_SIGNAL_WIN). See tests/tools/feeder.py.

QX_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
QX_BUILD=${QX_BUILD:-$QX_ROOT/build}

QX_PACKAGES=(cmake make g++ g++-mingw-w64-x86-64-posix wine wine64 fonts-wine
    fonts-liberation xvfb pulseaudio pulseaudio-utils sox xdotool imagemagick
    googletest python3 libfftw3-dev libbenchmark-dev procps ccache nsis zip)
# What scripts/run needs: the Windows build of the program and its tools (the
# tools use the test helpers, so GoogleTest's sources), Wine with its fonts,
# the private display, the virtual sound devices and their feeder, xdotool
# for the demonstration's clicks.
QX_RUN_PACKAGES=(cmake make g++-mingw-w64-x86-64-posix wine wine64 fonts-wine
    fonts-liberation xvfb pulseaudio pulseaudio-utils xdotool googletest python3
    ccache)

qx_say() { printf '[qx] %s\n' "$*" >&2; }

qx_sudo() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

qx_install() {  # qx_install [PACKAGE...]   (default: everything the project uses)
    local missing=() p wanted=("$@")
    [ ${#wanted[@]} -eq 0 ] && wanted=("${QX_PACKAGES[@]}")
    for p in "${wanted[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' ||
            missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    qx_say "installing: ${missing[*]}"
    qx_sudo apt-get update -qq || return 1
    qx_sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq \
        --no-install-recommends "${missing[@]}" >/dev/null || return 1
}

# ccache, where present, keeps rebuilds of several clones cheap: paths are
# taken relative to the tree so a second clone hits the same cache entries.
export CCACHE_BASEDIR=$QX_ROOT CCACHE_NOHASHDIR=1
qx_launcher() {
    command -v ccache >/dev/null 2>&1 || return 0
    echo "-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache"
}

qx_jobs() { local n; n=$(nproc 2>/dev/null || echo 2); echo $((n > 2 ? 2 : n)); }

# cmake --build without its progress lines; the status is the build's own
# (pipefail: the filter's status, 1 when it let no line through, is not it).
qx_cmake_build() {
    (
        set -o pipefail
        cmake --build "$@" 2>&1 | { grep -Ev '^\[ *[0-9]+%\]' || true; }
    )
}

qx_build_native() {
    local dir=$QX_BUILD/native
    cmake -S "$QX_ROOT" -B "$dir" -DCMAKE_BUILD_TYPE=Release $(qx_launcher) "$@" >/dev/null || return 1
    qx_cmake_build "$dir" -j"$(qx_jobs)"
}

qx_build_win() {  # qx_build_win [TARGET...]   (default: everything)
    local dir=$QX_BUILD/win targets=()
    [ $# -gt 0 ] && targets=(--target "$@")
    cmake -S "$QX_ROOT" -B "$dir" -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$QX_ROOT/cmake/mingw-w64-x86_64.cmake" \
        -DQX_NATIVE_DIR="$QX_BUILD/native" $(qx_launcher) >/dev/null || return 1
    qx_cmake_build "$dir" -j"$(qx_jobs)" "${targets[@]}"
}

# Is the process alive (not gone, not a zombie)? pid 1 here reaps late.
qx_alive() {
    local state
    [ -r "/proc/$1/stat" ] || return 1
    state=$(sed 's/.*) //' "/proc/$1/stat" 2>/dev/null | cut -d' ' -f1)
    [ "$state" != Z ] && [ "$state" != X ]
}

qx_wait_for() {  # qx_wait_for SECONDS COMMAND...
    local limit=$(($1 * 10)) i=0
    shift
    until "$@" >/dev/null 2>&1; do
        i=$((i + 1))
        [ $i -ge $limit ] && return 1
        sleep 0.1
    done
}

QX_PIDS=()

qx_kill_pid() {
    local pid=$1 i
    qx_alive "$pid" || return 0
    kill "$pid" 2>/dev/null
    for i in $(seq 1 30); do qx_alive "$pid" || return 0; sleep 0.1; done
    kill -9 "$pid" 2>/dev/null
}

# qx_env_start [--user-display] [--no-sound]
qx_env_start() {
    local use_user_display=0 sound=1 a
    for a in "$@"; do
        case $a in
        --user-display) use_user_display=1 ;;
        --no-sound) sound=0 ;;
        esac
    done
    QX_ENV=${QX_ENV:-$QX_BUILD/env}
    mkdir -p "$QX_ENV"/home "$QX_ENV"/xdg "$QX_ENV"/logs
    chmod 700 "$QX_ENV"/xdg
    export QX_ENV
    export HOME=$QX_ENV/home XDG_RUNTIME_DIR=$QX_ENV/xdg
    # The X resources a desktop session has. A bare X server has none, and
    # then Xlib looks for ~/.Xdefaults and ~/.Xdefaults-HOST again at each
    # XGetDefault, which Wine's X11 driver calls at every font selection
    # (some ten failed file opens a block, on the program's UI thread).
    [ -e "$HOME/.Xdefaults" ] || echo '! the private X session: no resources of its own' >"$HOME/.Xdefaults"
    export WINEPREFIX=${QX_WINEPREFIX:-$QX_BUILD/prefix} WINEARCH=win64 WINEDEBUG=-all
    export WINEDLLOVERRIDES='mscoree,mshtml=;winemenubuilder.exe=d'

    if [ $use_user_display -eq 0 ]; then
        rm -f "$QX_ENV/xvfb.ready"
        Xvfb -screen 0 ${QX_SCREEN:-2560x1600}x24 -nolisten tcp -noreset -displayfd 3 \
            3>"$QX_ENV/xvfb.ready" >"$QX_ENV/logs/xvfb.log" 2>&1 &
        QX_XVFB_PID=$!
        QX_PIDS+=("$QX_XVFB_PID")
        qx_wait_for 10 test -s "$QX_ENV/xvfb.ready" || { qx_say "Xvfb did not start"; return 1; }
        export DISPLAY=:$(head -n1 "$QX_ENV/xvfb.ready")
    fi

    if [ $sound -eq 1 ]; then
        qx_start_sound || return 1
    fi

    qx_prepare_prefix || return 1
    wineserver -f -p >"$QX_ENV/logs/wineserver.log" 2>&1 &
    QX_WINESERVER_PID=$!
    QX_PIDS+=("$QX_WINESERVER_PID")
    # Start Wine's background services now, with a log file as their output:
    # a service started by the first test would inherit that test's output
    # pipe and keep it open, and ctest would wait for it forever.
    wine cmd.exe /c exit </dev/null >"$QX_ENV/logs/wine-services.log" 2>&1
    return 0
}

# The virtual sound card (sound server, feeder and its player) stands in for
# hardware, which keeps its pace however busy the machine is; the program
# under test runs at normal priority beside it. Raising a priority needs
# root; otherwise they run at normal priority too.
qx_device_priority() {
    [ "$(id -u)" -eq 0 ] && echo "nice -n -10"
}

qx_start_sound() {
    export PULSE_SERVER=unix:$QX_ENV/xdg/pulse/native
    export PULSE_CLIENTCONFIG=$QX_ENV/client.conf
    echo "autospawn = no" >"$PULSE_CLIENTCONFIG"
    rm -rf "$QX_ENV/xdg/pulse"
    $(qx_device_priority) pulseaudio --daemonize=no --system=false --exit-idle-time=-1 \
        --disallow-exit -n \
        --realtime=no --high-priority=no --log-target=stderr \
        --load=module-native-protocol-unix --load=module-cli-protocol-unix \
        --load="module-null-sink sink_name=out rate=48000 sink_properties=device.description=Speakers" \
        --load="module-null-sink sink_name=feed rate=48000 channels=1 sink_properties=device.description=Feed" \
        >"$QX_ENV/logs/pulseaudio.log" 2>&1 &
    QX_PULSE_PID=$!
    QX_PIDS+=("$QX_PULSE_PID")
    qx_wait_for 15 pactl info || { qx_say "PulseAudio did not start"; return 1; }
    pactl set-default-sink out && pactl set-default-source feed.monitor || return 1
    qx_start_feeder
}

# The feeder plays what $QX_FEED_SIGNAL describes into the "feed" sink, clocked
# by PulseAudio in real time.
qx_start_feeder() {
    export QX_FEED_SIGNAL=$QX_ENV/feed.signal
    export QX_FEED_SIGNAL_WIN="Z:${QX_FEED_SIGNAL//\//\\}"
    [ -f "$QX_FEED_SIGNAL" ] || echo "silence" >"$QX_FEED_SIGNAL"
    rm -f "$QX_ENV/feed.fifo"
    mkfifo "$QX_ENV/feed.fifo"
    local player feeder
    $(qx_device_priority) pacat --playback -d feed --raw --format=s16le --rate=48000 --channels=1 \
        --latency-msec=40 "$QX_ENV/feed.fifo" >"$QX_ENV/logs/pacat.log" 2>&1 &
    player=$!
    QX_PIDS+=("$player")
    $(qx_device_priority) python3 "$QX_ROOT/tests/tools/feeder.py" "$QX_FEED_SIGNAL" \
        >"$QX_ENV/feed.fifo" \
        2>"$QX_ENV/logs/feeder.log" &
    feeder=$!
    QX_PIDS+=("$feeder")
    # Both open the pipe at once; one that fails (no such sink, a Python
    # error, ...) ends within moments. The player's stream appears on the
    # server once the two are connected: that, with both still alive, is a
    # started feeder.
    qx_wait_for 10 qx_feeder_playing "$player" "$feeder"
    if ! qx_alive "$feeder"; then
        qx_say "the feeder ended at once: $(tail -n 3 "$QX_ENV/logs/feeder.log" 2>/dev/null)"
        return 1
    fi
    if ! qx_alive "$player"; then
        qx_say "the player (pacat) ended at once: $(tail -n 3 "$QX_ENV/logs/pacat.log" 2>/dev/null)"
        return 1
    fi
    qx_feeder_playing "$player" "$feeder" ||
        { qx_say "the feeder's stream did not reach the sound server"; return 1; }
}

# Are the player and the feeder alive and the player's stream on the server?
qx_feeder_playing() {
    qx_alive "$1" && qx_alive "$2" || return 0  # ended: stop waiting, say why
    pactl list short sink-inputs 2>/dev/null | grep -q .
}

qx_feed() {  # qx_feed "sine 1000 0.5" ["noise 0.1"]...
    printf '%s\n' "$@" >"$QX_FEED_SIGNAL.tmp" && mv "$QX_FEED_SIGNAL.tmp" "$QX_FEED_SIGNAL"
}

# One Wine prefix per build folder, made once: 64-bit, PulseAudio driver,
# Wine's own fonts linked (Debian's Wine 8 does not load them itself), Arial
# resolved to Liberation Sans, and a virtual desktop the size of the screen so
# windows get real title bars in screenshots. (The marker's number goes up
# when what is made here changes, so older prefixes are made again.)
QX_PREFIX_MARKER=.qx-ready-2
qx_prepare_prefix() {
    [ -f "$WINEPREFIX/$QX_PREFIX_MARKER" ] && return 0
    qx_say "creating the Wine prefix $WINEPREFIX (once)"
    rm -rf "$WINEPREFIX"
    wineboot -i >"$QX_ENV/logs/wineboot.log" 2>&1 || { qx_say "wineboot failed"; return 1; }
    wine reg add 'HKCU\Software\Wine\Drivers' /v Audio /d pulse /f >/dev/null 2>&1
    wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v Arial /d 'Liberation Sans' /f >/dev/null 2>&1
    wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
    wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d ${QX_SCREEN:-2560x1600} /f >/dev/null 2>&1
    ln -sf /usr/share/wine/fonts/* "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null
    wineserver -k >/dev/null 2>&1
    wineserver -w >/dev/null 2>&1
    touch "$WINEPREFIX/$QX_PREFIX_MARKER"
}

# Stops the wineserver of the prefix $1 and every Wine process of it, and
# waits for them to end (for a limited time).
qx_stop_server() {
    WINEPREFIX=$1 timeout 20 wineserver -k >/dev/null 2>&1
    WINEPREFIX=$1 timeout 30 wineserver -w >/dev/null 2>&1
}

qx_env_stop() {
    local i
    qx_dpi_stop
    if [ -n "${WINEPREFIX:-}" ] && [ -n "${QX_WINESERVER_PID:-}" ]; then
        qx_stop_server "$WINEPREFIX"
    fi
    for ((i = ${#QX_PIDS[@]} - 1; i >= 0; i--)); do
        qx_kill_pid "${QX_PIDS[$i]}"
    done
    QX_PIDS=()
}

# ---------------------------------------------------------------------------
# Another DPI. Wine takes the screen DPI from "LogPixels" under
# HKCU\Control Panel\Desktop when its wineserver starts, so each DPI needs a
# prefix of its own with its own server: the test prefix is copied, the value
# set in the copy, the copy's first server stopped and a persistent one
# started. The private Xvfb and the copy's virtual desktop are
# $QX_DPI_SCREEN (2560x1600 by default: the main window at 200 % is about
# 1290x1160). COMMAND runs with WINEPREFIX and DISPLAY pointing at them; its
# exit status is returned.
#
#   qx_dpi_run 144 wine "$QX_BUILD/win/tests/dpi/dpi_tests.exe"

QX_DPI_SCREEN=${QX_DPI_SCREEN:-2560x1600}
QX_DPI_PREFIX=
QX_DPI_OWN_PIDS=()

# Makes $2 a copy of the prefix $1, after checking that there is room for it.
qx_dpi_copy_prefix() {
    local from=$1 to=$2 need free
    need=$(du -sk "$from" 2>/dev/null | cut -f1)
    [ -n "$need" ] || { qx_say "cannot size the Wine prefix $from"; return 1; }
    mkdir -p "$(dirname "$to")" || return 1
    free=$(df -Pk "$(dirname "$to")" | awk 'NR == 2 { print $4 }')
    # Room for the copy twice over and 200 MB more: the machine is shared.
    if [ -z "$free" ] || [ "$free" -lt $((need * 2 + 200 * 1024)) ]; then
        qx_say "not enough disk space for a copy of the Wine prefix ($((need / 1024)) MB, $((${free:-0} / 1024)) MB free)"
        return 1
    fi
    rm -rf "$to"
    cp -a "$from" "$to" || { qx_say "copying the Wine prefix failed"; rm -rf "$to"; return 1; }
}

qx_dpi_run() {  # qx_dpi_run DPI COMMAND...
    local dpi=$1 dir prefix display status logs
    shift
    case $dpi in
    '' | *[!0-9]*) qx_say "qx_dpi_run: a DPI (e.g. 144) comes first"; return 2 ;;
    esac
    [ $# -gt 0 ] || { qx_say "qx_dpi_run: no command"; return 2; }
    if [ -z "${QX_ENV:-}" ] || [ -z "${WINEPREFIX:-}" ] || [ ! -f "$WINEPREFIX/$QX_PREFIX_MARKER" ]; then
        qx_say "qx_dpi_run needs the environment of qx_env_start"
        return 2
    fi
    [ -z "$QX_DPI_PREFIX" ] || { qx_say "qx_dpi_run: one DPI at a time"; return 2; }

    dir=$QX_ENV/dpi-$dpi
    prefix=$dir/prefix
    logs=$dir/logs
    rm -rf "$dir"
    mkdir -p "$logs" || return 1

    # The display first: everything the copy starts shows there.
    rm -f "$dir/xvfb.ready"
    Xvfb -screen 0 "${QX_DPI_SCREEN}x24" -nolisten tcp -noreset -displayfd 3 \
        3>"$dir/xvfb.ready" >"$logs/xvfb.log" 2>&1 </dev/null &
    QX_DPI_OWN_PIDS+=("$!")
    QX_PIDS+=("$!")
    if ! qx_wait_for 10 test -s "$dir/xvfb.ready"; then
        qx_say "the Xvfb for $dpi DPI did not start"
        qx_dpi_stop
        return 1
    fi
    display=:$(head -n1 "$dir/xvfb.ready")

    QX_DPI_PREFIX=$prefix
    qx_dpi_copy_prefix "$WINEPREFIX" "$prefix" || { qx_dpi_stop; return 1; }
    qx_dpi_set "$dpi" "$prefix" "$display" >"$logs/reg.log" 2>&1 || {
        qx_say "could not set $dpi DPI in the prefix copy; $logs/reg.log says:"
        sed 's/^/    /' "$logs/reg.log" >&2
        qx_dpi_stop
        return 1
    }
    # The setting is read when a server starts: this one goes, and a
    # persistent one takes its place.
    qx_stop_server "$prefix"
    WINEPREFIX=$prefix wineserver -f -p </dev/null >"$logs/wineserver.log" 2>&1 &
    QX_DPI_OWN_PIDS+=("$!")
    QX_PIDS+=("$!")
    # Wine's background services start now, with a log as their output (see
    # qx_env_start).
    WINEPREFIX=$prefix DISPLAY=$display wine cmd.exe /c exit \
        </dev/null >"$logs/wine-services.log" 2>&1

    qx_say "$dpi DPI: display $display, Wine prefix $prefix"
    WINEPREFIX=$prefix DISPLAY=$display "$@"
    status=$?
    qx_dpi_stop
    return $status
}

# Sets LogPixels (and the virtual desktop's size) in the prefix copy $2,
# under the display $3. The first Wine command in the copy starts its
# server; on a loaded machine one such start in some hundred has ended with
# the command failing and saying nothing, so a failed (or, after a minute,
# stuck) attempt stops the copy's server and tries again, up to three times.
qx_dpi_set() {
    local dpi=$1 prefix=$2 display=$3 attempt status
    for attempt in 1 2 3; do
        (
            export WINEPREFIX=$prefix DISPLAY=$display
            timeout 60 wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f </dev/null &&
                timeout 60 wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d "$QX_DPI_SCREEN" /f </dev/null
        )
        status=$?
        echo "attempt $attempt: exit status $status"
        [ $status -eq 0 ] && return 0
        qx_stop_server "$prefix"
    done
    return 1
}

# Stops what qx_dpi_run started (its wineserver and every Wine process of the
# copy, its Xvfb) and removes the copy. Nothing else is touched.
qx_dpi_stop() {
    local pid i keep=()
    if [ -n "$QX_DPI_PREFIX" ] && [ -d "$QX_DPI_PREFIX" ]; then
        qx_stop_server "$QX_DPI_PREFIX"
    fi
    for ((i = ${#QX_DPI_OWN_PIDS[@]} - 1; i >= 0; i--)); do
        qx_kill_pid "${QX_DPI_OWN_PIDS[$i]}"
    done
    # They are no longer the business of qx_env_stop.
    for pid in "${QX_PIDS[@]}"; do
        case " ${QX_DPI_OWN_PIDS[*]} " in
        *" $pid "*) ;;
        *) keep+=("$pid") ;;
        esac
    done
    QX_PIDS=("${keep[@]}")
    QX_DPI_OWN_PIDS=()
    if [ -n "$QX_DPI_PREFIX" ]; then
        rm -rf "$QX_DPI_PREFIX"
        QX_DPI_PREFIX=
    fi
}

# ---------------------------------------------------------------------------
# Fuzzing and sanitizers (scripts/fuzz, scripts/test). Native builds of their
# own, at the lowest priority so that other builds keep the processor:
# - build/fuzz: clang, QX_FUZZ=ON, the libFuzzer targets of tests/fuzz;
# - build/asan and build/tsan: the core tests under AddressSanitizer with
#   UBSan, and under ThreadSanitizer (QX_SANITIZE). The Windows build's suite
#   runs them (label "sanitize"; tests/CMakeLists.txt finds them beside
#   build/native).

QX_FUZZ_TARGETS=(fuzz_measurement_file fuzz_response_file fuzz_config_text fuzz_settings_load)

qx_build_fuzz() {
    local dir=$QX_BUILD/fuzz
    CC=clang CXX=clang++ nice -n 19 cmake -S "$QX_ROOT" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DQX_FUZZ=ON $(qx_launcher) >/dev/null || return 1
    (
        set -o pipefail
        nice -n 19 cmake --build "$dir" -j"$(qx_jobs)" --target "${QX_FUZZ_TARGETS[@]}" 2>&1 |
            { grep -Ev '^\[ *[0-9]+%\]' || true; }
    )
}

# qx_fuzz_run TARGET SECONDS: one target from its corpus, the new entries in
# build/fuzz/corpus/TARGET, a failing input in tests/fuzz/crashes/TARGET.
qx_fuzz_run() {
    local t=$1 seconds=$2 scratch=$QX_BUILD/fuzz/corpus/$1 crashes=$QX_ROOT/tests/fuzz/crashes/$1
    local exe=$QX_BUILD/fuzz/tests/fuzz/fuzz_$t log=$QX_BUILD/fuzz/$t.log
    [ -x "$exe" ] || { qx_say "no fuzz target $t"; return 1; }
    mkdir -p "$scratch" "$crashes"
    qx_say "fuzzing $t for $seconds s (log: $log)"
    nice -n 19 "$exe" -max_total_time="$seconds" -print_final_stats=1 -timeout=10 \
        -artifact_prefix="$crashes/" "$scratch" "$QX_ROOT/tests/fuzz/corpus/$t" >"$log" 2>&1
    local status=$?
    grep -E '^stat::number_of_executed_units|broken rule|^SUMMARY' "$log" | sed "s/^/[qx]   $t: /" >&2
    [ $status -eq 0 ] || qx_say "$t: a fault; the input is in $crashes"
    return $status
}

qx_build_sanitize() {  # qx_build_sanitize [address|thread]...   (default: both)
    local kind dir kinds=("$@")
    [ ${#kinds[@]} -gt 0 ] || kinds=(address thread)
    for kind in "${kinds[@]}"; do
        case $kind in address) dir=$QX_BUILD/asan ;; thread) dir=$QX_BUILD/tsan ;; *) return 2 ;; esac
        cmake -S "$QX_ROOT" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
            -DQX_SANITIZE="$kind" $(qx_launcher) >/dev/null || return 1
        qx_cmake_build "$dir" -j"$(qx_jobs)" --target core_tests || return 1
    done
}
