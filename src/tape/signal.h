// The tape signal: its fixed settings and the sample generator.
//
// Every bit is a pause followed by a train of pulses, four for a 0 and nine for a 1; bytes go
// out most significant bit first. Samples are unsigned 8-bit values appended to one buffer.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "zx/tape.h"

/// Pulse counts and durations of the signal.
struct SignalTiming {
    uint8_t PulsesOne;        // pulses that encode a 1 bit
    uint8_t PulsesZero;       // pulses that encode a 0 bit
    double HalfPulsDuration;  // seconds of each half of a pulse (high, then low)
    double InterbitDelay;     // seconds of silence before each bit
    double IntroDuration;     // seconds of lead-in silence before the first byte
    double ExtroDuration;     // seconds of lead-out silence after the last byte
};

/// Samples per second.
constexpr float sampleRate = 22050.0f;
/// Sample value of the first half of every pulse.
constexpr uint8_t pulseLevel = 250;
/// Sample value of the second half of every pulse.
constexpr uint8_t pauseLevel = 5;
/// Sample value of silence: lead-in, lead-out and the pause before each bit.
constexpr uint8_t middleLevel = 128;
/// The machines' own pulses and pauses, between 1.6 s of lead-in and 0.4 s of lead-out: a 0 bit
/// lasts 1.3 ms + 4 x 0.3 ms = 2.5 ms, a 1 bit 1.3 ms + 9 x 0.3 ms = 4.0 ms.
constexpr SignalTiming Signal = {PULSES_ONE,        PULSES_ZERO, HALF_PULSE_SECONDS,
                                 BIT_PAUSE_SECONDS, 1.6,         0.4};
static_assert(Signal.HalfPulsDuration == 0.00015 && Signal.InterbitDelay == 0.0013,
              "the converter's signal is defined by these exact values");

/// The sample period: 1/sampleRate rounded to single precision (6233059 x 2^-37 s, a little
/// short of 1/22050 s). Sample i stands for the instant i x SAMPLE_PERIOD; run boundaries of
/// long signals depend on this rounding, so it is part of the signal's definition.
constexpr double SAMPLE_PERIOD = static_cast<float>(1.0f / sampleRate);

/// Releases a sample buffer the way AllocateSampleBuffer allocated it.
struct FreeSamples {
    void operator()(uint8_t* samples) const;
};
/// The sample buffer; wavFileSize bytes while held.
extern std::unique_ptr<uint8_t[], FreeSamples> wavFile;
/// Capacity of the sample buffer, in samples.
extern int32_t wavFileSize;
/// Samples written so far, which is also the index of the next one.
extern int32_t wavCounter;
/// Total signal time requested since the signal started, in seconds.
extern double wavWriteTime;
/// Set when a request did not fit the sample buffer; the samples that fitted were written.
extern bool wavOverflow;
/// The samples below this index are final and may be written out while the signal goes on;
/// PublishSamples moves it up to wavCounter.
extern std::atomic<int32_t> wavReady;
void PublishSamples();

/// Allocates a sample buffer of `size` bytes (contents undefined) and starts a new, empty signal.
/// False if the memory cannot be had, or `size` is negative or above 2^30 samples (13 hours of
/// signal, beyond which sample instants are no longer exact in double).
bool AllocateSampleBuffer(int32_t size);
/// Releases the sample buffer if it is held.
void ReleaseSampleBuffer();

/// Extends the signal by `duration` seconds at sample value `level`. The total time requested
/// is kept exactly, so durations are never rounded one by one: after the call wavCounter is
/// the smallest n with n x SAMPLE_PERIOD not less than wavWriteTime.
void OutputLevel(uint8_t level, double duration);
/// Seconds the signal takes for the first `bits` bits of `the_byte`, most significant first: a
/// pause and four pulses for a 0, a pause and nine for a 1.
double BitsSeconds(uint8_t the_byte, int bits = 8);

/// Appends one bit; any value other than 0 is a 1 bit.
void OutputBit(uint8_t is_one);
/// Appends the eight bits of `the_byte`, most significant first.
void OutputByte(uint8_t the_byte);
