// Reads a tape signal, one channel of a recording at a time, into blocks of bytes.
//
// On tape every bit is a burst of pulses at about 3.3 kHz (150 us high, 150 us low), 4 for a 0
// and 9 for a 1, after a pause of 1.3 ms; bytes go most significant bit first, and a program
// is one unbroken run of bits between long silences. The detector removes DC and hum with a
// high-pass filter, measures the strength of the pulse frequency over one pulse period, follows
// the signal's and the noise's level to decide with hysteresis where bursts begin and end,
// counts the pulses in each burst, and tells a 0 from a 1 by the burst's length against the
// lengths it has seen (which follow the tape's speed), letting the pulse count settle a burst
// whose length is ambiguous.
#pragma once

#include <cstdint>
#include <vector>

/// A run of bits between long silences, as bytes.
struct TapeBlock {
    std::vector<uint8_t> Bytes;
    std::vector<float> ByteMargins;  // per byte, the worst of its bits' margins (see BitMargin)
    std::vector<double> ByteEnds;    // per byte, the end of its last bit, in seconds
    double Start = 0.0;              // the first bit's start, in seconds
};

/// The state of one channel's reading.
struct PulseDetector {
    double Rate = 0.0;   // samples per second
    int64_t Sample = 0;  // samples fed so far

    // High-pass biquad (coefficients, then the last two inputs and outputs).
    double B0 = 0, B1 = 0, B2 = 0, A1 = 0, A2 = 0;
    double X1 = 0, X2 = 0, Y1 = 0, Y2 = 0;

    // Strength of the pulse frequency over the last Window samples: sums of the signal times a
    // rotating phasor.
    int Window = 1;
    std::vector<double> RingI, RingQ;
    int RingAt = 0;
    double SumI = 0, SumQ = 0;
    double PhasorRe = 1, PhasorIm = 0, StepRe = 1, StepIm = 0;
    double Envelope = 0;

    // Levels: of the noise between bursts, of recent bursts (0 while unknown), and the loudest
    // moment of recent silence.
    double Floor = 0;
    double Peak = 0;
    int64_t LastBurstSample = -1;

    // The burst under way.
    bool InBurst = false;
    double BurstStart = 0;  // seconds, where the strength crossed the entry level
    double BurstMax = 0;
    double LevelAtEntry = 0;  // the bursts' level when it began (0 while unknown)
    int64_t EntrySample = 0;
    // The strength over the last moments, to place the start of a burst entered at an unknown
    // level once its level is known.
    std::vector<double> History;

    // Pulses: a Schmitt trigger on the filtered signal, and the times of its recent rises.
    bool High = false;
    std::vector<double> Rises;  // ring of seconds
    int RiseAt = 0;

    // A finished burst waits until the next one starts, so that a burst broken by a short dip
    // is joined again.
    bool Pending = false;
    double PendingStart = 0, PendingEnd = 0, PendingMax = 0;
    bool PendingLouder = false;  // much louder than the bursts before it

    // Typical lengths, in seconds, of a 0 burst, a 1 burst and the pause before a burst: they
    // follow the tape's speed.
    double ZeroLength = 0, OneLength = 0, PauseLength = 0;

    // The block being read, its bits so far in the byte under way, and the blocks finished.
    TapeBlock Block;
    int BlockBits = 0;
    double LastBitEnd = -1.0;
    unsigned ByteValue = 0;
    int ByteBits = 0;
    float ByteMargin = 1.0f;
    std::vector<TapeBlock> Finished;
};

/// Prepares a detector for a channel of `rate` samples per second.
void StartDetector(PulseDetector* detector, double rate);
/// Reads `count` samples, taking every `stride`-th float from `samples`.
void FeedDetector(PulseDetector* detector, const float* samples, int64_t count, int stride);
/// The recording has ended: finishes the block under way.
void FinishDetector(PulseDetector* detector);

/// How sure a bit of burst length `length` is, given the typical lengths: 1 at the typical
/// length of its kind (or beyond), 0 at the boundary between the two kinds.
double BitMargin(double length, double zero_length, double one_length);
