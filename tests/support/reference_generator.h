// The sample generator written the straightforward way, one comparison per sample, on a state
// of its own: the model the program's generator must match sample for sample.
#pragma once

#include <cstdint>
#include <vector>

struct ReferenceSignal {
    std::vector<uint8_t> Samples;  // capacity: the size it was given
    int32_t Counter = 0;
    double Time = 0.0;
    bool Overflow = false;
};

/// Extends the signal by `duration` seconds at `level`, sample by sample.
void ReferenceOutputLevel(ReferenceSignal& signal, uint8_t level, double duration);
/// Appends the eight bits of `byte`, most significant first, each a pause and its pulses.
void ReferenceOutputByte(ReferenceSignal& signal, uint8_t byte);
