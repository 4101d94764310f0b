#!/usr/bin/env bash
# Runs a Windows test program once at each screen DPI, each run in a world
# of its own made by qx_dpi_run (scripts/lib.sh): the prefix copied with
# "LogPixels" set, a private Xvfb, the same sound devices. Needs the
# environment scripts/test starts (qx_env_start).
#
#   run_at_dpis.sh PROGRAM.exe [DPI...] [-- PROGRAM ARGUMENTS...]
#   (DPIs default to 96 120 144 192)
#
# The program learns the DPI it is meant to find as QX_DPI. The run at 96
# DPI, when it comes first, leaves the windows' client sizes in
# $QX_DPI_BASELINE for the later runs to scale. The exit status is 0 when
# every run passed.
set -u
. "$(dirname "$0")/../../scripts/lib.sh"

[ $# -ge 1 ] || { qx_say "usage: $0 PROGRAM.exe [DPI...] [-- ARGUMENTS...]"; exit 2; }
program=$1
shift
dpis=()
while [ $# -gt 0 ] && [ "$1" != "--" ]; do dpis+=("$1"); shift; done
[ "${1:-}" = "--" ] && shift
[ ${#dpis[@]} -eq 0 ] && dpis=(96 120 144 192)

[ -n "${QX_ENV:-}" ] || { qx_say "$0 runs inside scripts/test (no QX_ENV)"; exit 2; }

trap 'qx_dpi_stop' EXIT
trap 'exit 130' INT TERM

export QX_DPI_BASELINE=$QX_ENV/dpi-baseline.txt
rm -f "$QX_DPI_BASELINE"
# A run that skipped tests notes it here (tests/support/SkipReport.cpp); the
# note is passed on to ctest only when no run failed.
skips=$QX_ENV/dpi-skips.txt
rm -f "$skips"
export QX_SKIP_NOTE="Z:${skips//\//\\}"
failed=()
for dpi in "${dpis[@]}"; do
    qx_say "running $(basename "$program") at $dpi DPI"
    QX_DPI=$dpi qx_dpi_run "$dpi" wine "$program" "$@"
    status=$?
    [ $status -eq 0 ] || failed+=("$dpi (exit $status)")
done
if [ ${#failed[@]} -gt 0 ]; then
    qx_say "failed at: ${failed[*]}"
    exit 1
fi
qx_say "passed at ${dpis[*]} DPI"
[ -s "$skips" ] && cat "$skips"
exit 0
