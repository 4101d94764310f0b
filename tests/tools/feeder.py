#!/usr/bin/env python3
"""Plays a known signal, as 48000 Hz mono s16le on stdout, forever.

The signal is described by a small text file (its path is the only argument)
that tests and the demo rewrite while the feeder runs; it is read again every
chunk (10 ms), so a change takes effect within a few tens of milliseconds
after PulseAudio's buffer. One component per line, summed:

    sine FREQ_HZ AMPLITUDE     amplitude as a fraction of full scale (0..1)
    noise AMPLITUDE            uniform white noise, fixed seed
    silence                    nothing (the default)
    id TOKEN                   names this signal (see below)

Phases run on across changes so a tone keeps a clean spectrum. The output is
clocked by whoever reads it (pacat into a null sink plays in real time).

Once a new signal has pushed everything played before it through the pipe
(the pipe's 16 KiB and a tenth of a second more: by then the new signal is
in the sound server's short buffer), the feeder writes its TOKEN to the file
SIGNAL.heard. Whoever changed the signal waits for that instead of guessing a
delay.
"""
import math
import os
import random
import struct
import sys

RATE = 48000
CHUNK = 480


PIPE_BYTES = 16384
HEARD_AFTER = PIPE_BYTES + RATE // 10 * 2


def read_signal(path, cache):
    """Returns (components, token or None when unchanged)."""
    try:
        stamp = os.stat(path).st_mtime_ns
    except OSError:
        return cache[1], None
    if stamp == cache[0]:
        return cache[1], None
    components = []
    token = ""
    try:
        with open(path) as f:
            for line in f:
                words = line.split()
                if not words:
                    continue
                if words[0] == "sine" and len(words) >= 3:
                    components.append(("sine", float(words[1]), float(words[2])))
                elif words[0] == "noise" and len(words) >= 2:
                    components.append(("noise", 0.0, float(words[1])))
                elif words[0] == "id" and len(words) >= 2:
                    token = words[1]
    except (OSError, ValueError):
        return cache[1], None
    cache[0] = stamp
    cache[1] = components
    return components, token


def write_heard(path, token):
    temporary = path + ".heard.tmp"
    try:
        with open(temporary, "w") as f:
            f.write(token + "\n")
        os.replace(temporary, path + ".heard")
    except OSError:
        pass


def main():
    path = sys.argv[1]
    cache = [None, []]
    rng = random.Random(12345)
    phases = {}
    out = sys.stdout.buffer
    # A pipe holds 64 KiB (0.7 s of sound) by default: the feeder would run
    # that far ahead of what is heard, and a change would take as long. Keep
    # the pipe at 16 KiB (170 ms): quick to follow, still slack for a busy
    # machine.
    try:
        import fcntl
        fcntl.fcntl(out.fileno(), 1031, PIPE_BYTES)  # F_SETPIPE_SZ
    except (ImportError, OSError):
        pass
    pack = struct.Struct("<%dh" % CHUNK).pack
    pending = None  # (token, bytes still to write before it is heard)
    while True:
        components, token = read_signal(path, cache)
        if token is not None:
            pending = [token, HEARD_AFTER]
        block = [0.0] * CHUNK
        for kind, freq, amp in components:
            if kind == "sine":
                step = 2.0 * math.pi * freq / RATE
                phase = phases.get(freq, 0.0)
                a = amp * 32767.0
                for i in range(CHUNK):
                    block[i] += a * math.sin(phase + step * i)
                phases[freq] = math.fmod(phase + step * CHUNK, 2.0 * math.pi)
            else:
                a = amp * 32767.0
                for i in range(CHUNK):
                    block[i] += a * (2.0 * rng.random() - 1.0)
        samples = [max(-32768, min(32767, int(round(v)))) for v in block]
        try:
            out.write(pack(*samples))
            out.flush()
        except (BrokenPipeError, OSError):
            return
        if pending is not None:
            pending[1] -= 2 * CHUNK
            if pending[1] <= 0:
                write_heard(path, pending[0])
                pending = None


if __name__ == "__main__":
    main()
