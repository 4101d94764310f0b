#!/bin/bash
# Runs a command in a sound world of its own, so a test can break it without
# touching the shared one of scripts/test:
#   with_private_pulse.sh MODE COMMAND...
#   none    no sound server (PULSE_SERVER names a socket nobody listens on)
#   nosink  a server with one recording source and no playback device
#   full    a server with speakers and a microphone; the command may kill it
#           (pid in $QX_PRIVATE_PULSE_PID) and start it again
#           ($QX_PRIVATE_PULSE_START)
# The command learns the mode from QX_FAULT. Everything started here is
# stopped by pid at the end.
set -u
mode=$1
shift
dir=$(mktemp -d /tmp/qx-private-pulse.XXXXXX)
mkdir -p "$dir/xdg"
chmod 700 "$dir/xdg"
export QX_FAULT=$mode
export PULSE_SERVER=unix:$dir/native
export QX_PRIVATE_PULSE_PID=$dir/pid

case $mode in
none)
    modules=()
    ;;
nosink)
    modules=(--load="module-null-source source_name=silence")
    defaults="pactl set-default-source silence"
    ;;
full)
    modules=(--load="module-null-sink sink_name=out rate=48000 sink_properties=device.description=Speakers"
        --load="module-null-sink sink_name=feed rate=48000 channels=1 sink_properties=device.description=Feed")
    defaults="pactl set-default-sink out && pactl set-default-source feed.monitor"
    ;;
*)
    echo "unknown mode $mode" >&2
    exit 2
    ;;
esac

if [ "$mode" != none ]; then
    {
        echo "#!/bin/bash"
        echo "XDG_RUNTIME_DIR=$dir/xdg pulseaudio --daemonize=no --system=false --exit-idle-time=-1 \\"
        echo "  --disallow-exit -n --realtime=no --high-priority=no --use-pid-file=no --log-target=stderr \\"
        echo "  --load='module-native-protocol-unix socket=$dir/native' \\"
        for m in "${modules[@]}"; do printf "  '%s' \\\\\n" "$m"; done
        echo "  >>$dir/pulse.log 2>&1 </dev/null &"
        echo "echo \$! >$dir/pid"
        # A loaded machine can take many seconds to bring a server up: wait
        # for it (a minute at most), then for the defaults to be in force.
        echo "for i in \$(seq 1 600); do pactl info >/dev/null 2>&1 && break; sleep 0.1; done"
        echo "$defaults"
    } >"$dir/start.sh"
    export QX_PRIVATE_PULSE_START="bash $dir/start.sh"
    bash "$dir/start.sh" || { echo "private PulseAudio did not start" >&2; cat "$dir/pulse.log" >&2; }
fi

"$@"
status=$?

if [ -f "$dir/pid" ]; then
    pid=$(cat "$dir/pid")
    kill "$pid" 2>/dev/null
    for i in $(seq 1 30); do
        [ -r /proc/$pid/stat ] || break
        state=$(sed 's/.*) //' /proc/$pid/stat | cut -d' ' -f1)
        [ "$state" = Z ] && break
        sleep 0.1
    done
    kill -9 "$pid" 2>/dev/null
fi
rm -rf "$dir"
exit $status
