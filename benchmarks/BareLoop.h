// The yardstick of the audio benchmarks: what recording and playing back
// cost on this machine with nothing else going on.
//
// How it works
// - The recording device (wave mapper) with five buffers of one block each
//   and an event callback, and the playback device (wave mapper) with as
//   many buffers as the engine gives it (AudioEngine::playbackBuffersFor).
// - One thread waits for the event, copies each filled recording buffer
//   into a playback buffer the device has given back (or never had), writes
//   that to the playback device and queues the recording buffer again:
//   what the engine does with each block, without the analysis. A block
//   that finds no free playback buffer is not played, as in the engine.
// - The process CPU share (% of one core) is measured over `seconds` after
//   one second of start-up.
#pragma once

struct BareLoopResult {
    double cpuShare = -1.0;  // % of one core; negative when a device did not open
    int blocks = 0;          // recorded over the time measured
    int played = 0;          // of them written to the playback device
};

BareLoopResult bareCaptureAndPlayback(int rate, int samples, double seconds);
