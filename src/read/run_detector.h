// Finds bursts the way the machine's own loader does: by how long the tape input stays busy.
//
// The loader counts no pulses. It waits for the input to leave its resting level, then times the
// bit until the input has rested for a while, so that a pulse a copy smeared into its neighbour,
// or a pause inside a burst that a codec filled, changes nothing: only where the burst's first
// pulse began and its last one ended matter. This detector does the same on the comparator's
// output, which is high away from the resting level.
#pragma once

#include <cstdint>
#include <vector>

#include "read/burst_detector.h"
#include "read/settings.h"

/// A stretch in which the input stayed away from its resting level, in samples [Start, End), and
/// the greatest half swing from its start until the next stretch began.
struct BusyStretch {
    int64_t Start = 0, End = 0;
    double Strength = 0;
};

struct RunDetector {
    double Rate = 0;
    int64_t Sample = 0;                // samples fed so far
    int64_t Bridge = 0, Shortest = 0;  // in samples
    double Least = 0;                  // half a swing below this is silence
    bool InBurst = false;
    std::vector<BusyStretch> Stretches;  // of the burst under way
    std::vector<Burst> Found;            // bursts finished, in order, for the caller to take
};

/// Prepares a detector for a channel of `rate` samples per second.
void StartRunDetector(RunDetector* detector, double rate, const ReaderSettings& settings);
/// Reads `count` samples of a comparator's output (see Compare).
void FeedRunDetector(RunDetector* detector, const float* samples, int64_t count);
/// The recording has ended: a burst under way ends there.
void FinishRunDetector(RunDetector* detector);
