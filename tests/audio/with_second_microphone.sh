#!/bin/bash
# Runs a command with a second virtual microphone in the sound world of
# scripts/test: a null sink "mic2" (its monitor, "Monitor of Mic2", is the
# microphone) with a 1500 Hz sine playing into it. The command can take it
# away and bring it back with "$QX_MIC2 unload" and "$QX_MIC2 load"; it is
# taken away at the end in any case.
set -u
here=$(cd "$(dirname "$0")" && pwd)
export QX_MIC2="$here/with_second_microphone.sh"
case ${1:-} in
load)
    pactl load-module module-null-sink sink_name=mic2 rate=48000 channels=1 \
        sink_properties=device.description=Mic2 >/dev/null &&
        pactl load-module module-sine sink=mic2 frequency=1500 >/dev/null
    exit
    ;;
unload)
    for m in $(pactl list short modules | awk '/sink=mic2|sink_name=mic2/{print $1}' | sort -rn); do
        pactl unload-module "$m"
    done
    exit
    ;;
esac
"$QX_MIC2" load || exit 1
"$@"
status=$?
"$QX_MIC2" unload
exit $status
