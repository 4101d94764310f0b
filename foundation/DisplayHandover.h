// The writer's half of the display-buffer hand-over.
//
// The capture thread fills the engine's working buffer, then publishes it:
// holding the frame lock it names the buffer it is about to fill in slot 70,
// copies the valid part of both halves into it, picks the next buffer to fill
// (passing over one a reader has marked in use) and announces the new data
// with event 100. A reader that acquires through the store takes the same lock,
// so it only ever sees a completely written buffer, and the writer never
// writes into the one it holds.
#pragma once

#include "foundation/FrameLock.h"
#include "foundation/ParameterStore.h"

// Publishes `working` (n samples, n/2 spectrum bins per half) into display
// buffer `writeIndex` and returns the next index to fill.
int publishDisplayBuffer(ParameterStore& store, FrameLock& lock, const DisplayBuffer& working,
                         int writeIndex, int n);
