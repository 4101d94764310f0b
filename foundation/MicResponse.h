// MicResponse: the microphone's response in use, and the per-bin table of
// dB that the block analysis takes off every level.
//
// How it works
// - The user interface loads a response file (foundation/ResponseFile.h),
//   and hands its points, its name and its checksum to the store's
//   MicResponse, which keeps them under a lock and counts each change in a
//   generation number. The file's path is the text option MicFile, kept in
//   the registry.
// - The engine's worker, at each start of capture, asks its BinCorrection
//   for the table of the transform about to run. The table (bins 0 .. N/2,
//   dB, interpolated in log frequency and held beyond the file's ends) and
//   its gains (as powers and as magnitudes, which the block analysis
//   multiplies into passes it makes anyway) are built only when the
//   response, N or the rate changed since the last start; never per block.
//   With no response it answers null, and the analysis runs as without one.
//
// Portable: no <windows.h>.
#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "foundation/ResponseFile.h"

class MicResponse {
public:
    struct Snapshot {
        std::vector<response_file::Point> points;  // empty: no response
        std::wstring name;                         // the file's name, without folders
        std::string checksum;                      // response_file::checksum of its bytes
        unsigned generation = 0;
    };

    // A new response (at least two points), or none.
    void set(std::vector<response_file::Point> points, std::wstring name, std::string checksum);
    void clear();

    Snapshot snapshot() const;
    bool active() const;
    std::wstring name() const;
    std::string checksum() const;
    // Changes so far; read without the lock.
    unsigned generation() const { return generation_.load(std::memory_order_acquire); }

private:
    mutable std::mutex lock_;
    Snapshot current_;
    std::atomic<unsigned> generation_{0};
};

// The engine's table for its transform, rebuilt when the response, N or the
// rate changed.
class BinCorrection {
public:
    // The table for an n-point transform at `rate` Hz (n / 2 + 1 values), or
    // null without a response.
    const float* prepare(const MicResponse& response, int n, int rate);
    // The table of the last prepare() as power gains, 10^(-dB / 10); null
    // without a response.
    const float* gains() const { return active_ ? gains_.data() : nullptr; }
    // The same as magnitude gains, 10^(-dB / 20).
    const float* amplitudes() const { return active_ ? amplitudes_.data() : nullptr; }
    // Tables built so far (a test sees that an unchanged start builds none).
    int builds() const { return builds_; }

private:
    std::vector<float> table_;
    std::vector<float> gains_;
    std::vector<float> amplitudes_;
    bool active_ = false;
    unsigned generation_ = ~0u;
    int n_ = 0;
    int rate_ = 0;
    int builds_ = 0;
};
