// The feeder of the virtual microphone, as the tests, the benchmarks and the
// demonstration drive it: scripts/test (and scripts/bench, scripts/run)
// start a feeder that plays the signal described in a small text file into
// the sound server's "feed" sink, whose monitor is the default recording
// device. The file's Windows path arrives as QX_FEED_SIGNAL_WIN.
#pragma once

#include <windows.h>
#include <mmsystem.h>

#include <string>
#include <vector>

namespace qxsupport {

// True if the environment provides the feeder.
bool haveFeeder();

// Plays a new signal: lines like "sine 1000 0.5", "noise 0.01", "silence",
// summed. Returns once the feeder reports that the new signal has passed its
// pipe (what is recorded from then on is the new signal, after the sound
// server's short buffer), or false after limitMs or without a feeder.
bool feedSignal(const std::vector<std::string>& lines, DWORD limitMs = 10000);

}  // namespace qxsupport
