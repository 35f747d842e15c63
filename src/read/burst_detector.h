// Finds the bursts of pulses in one channel of a recording.
//
// On tape every bit is a burst of pulses at about 3.3 kHz, after a pause. The detector removes DC
// and hum with a high-pass filter, measures the strength of the pulse frequency over two pulse
// periods, follows the strength of the noise between bursts, and takes as a burst every stretch
// that rises well above the noise. A burst's edges are placed where its strength crosses half of
// its own greatest strength, so that its length does not depend on how loud it is: a burst in a
// dip of the tape's level is as long as its neighbours. The pulses in each burst are counted too.
#pragma once

#include <cstdint>
#include <vector>

#include "zx/tape.h"

/// The high-pass filter in front of the detector removes DC, hum, and the low tones that a
/// pulse train sampled at a low rate carries besides its own frequency (which dominate once a
/// tape's treble is lost): its corner, in Hz, and its order.
constexpr double HIGH_PASS_HZ = 1800.0;
constexpr int HIGH_PASS_ORDER = 4;

/// The strength is measured over this many seconds (two pulse periods): a burst shorter than
/// that never shows its full strength.
constexpr double STRENGTH_WINDOW_SECONDS = 2 * 2 * HALF_PULSE_SECONDS;

/// A burst of pulses: one bit, a piece of one, or noise.
struct Burst {
    double Start = 0;     // seconds, where its strength rose through half of its greatest
    double End = 0;       // seconds, where it fell through half of its greatest
    double Strength = 0;  // its greatest strength
    double Noise = 0;     // the strength of the noise around it
    int Pulses = 0;       // pulses counted in it (-1: not counted)
    // The deepest fall of its strength between two stretches near its greatest, in seconds
    // (DipStart == DipEnd when there is none), and how low it fell, as a part of the greatest.
    double DipStart = 0, DipEnd = 0;
    double DipDepth = 1;
};

struct BurstDetector {
    double Rate = 0;     // samples per second
    int64_t Sample = 0;  // samples fed so far

    // The high-pass filter, as biquad sections: coefficients, then the last two inputs and
    // outputs.
    struct Section {
        double B0 = 0, B1 = 0, B2 = 0, A1 = 0, A2 = 0;
        double X1 = 0, X2 = 0, Y1 = 0, Y2 = 0;
    };
    std::vector<Section> HighPass;

    // Strength of the pulse frequency over the last Window samples: sums of the signal times a
    // rotating phasor.
    int Window = 1;
    std::vector<double> RingI, RingQ;
    int RingAt = 0;
    double SumI = 0, SumQ = 0;
    double PhasorRe = 1, PhasorIm = 0, StepRe = 1, StepIm = 0;

    // The strength over the last moments (a ring indexed by sample number), to place a burst's
    // edges once its greatest strength is known.
    std::vector<float> History;
    // The noise's strength: follows the strength down quickly and up slowly, so that it stays
    // at the quiet between bursts.
    double Floor = 0;

    // The burst under way, and the quiet since the last one: the least strength since it ended,
    // which a new burst must rise well above (the last one's tail only falls).
    bool InBurst = false;
    int64_t EntrySample = 0;
    double BurstMax = 0;
    int64_t ExitSample = 0;
    double Valley = 0;
    int64_t RunSample = 0;  // where the last burst well above the noise ended

    // Pulses: a Schmitt trigger on the filtered signal, and the sample numbers of recent rises.
    bool High = false;
    std::vector<int64_t> Rises;
    int RiseAt = 0;

    std::vector<Burst> Found;  // bursts finished, in order, for the caller to take
};

/// Prepares a detector for a channel of `rate` samples per second, with the high-pass filter's
/// corner at `high_pass_hz` and its order (even) `order`.
void StartBurstDetector(BurstDetector* detector, double rate, double high_pass_hz = HIGH_PASS_HZ,
                        int order = HIGH_PASS_ORDER);
/// Reads `count` samples, taking every `stride`-th float from `samples`.
void FeedBurstDetector(BurstDetector* detector, const float* samples, int64_t count, int stride);
/// The recording has ended: a burst under way ends here.
void FinishBurstDetector(BurstDetector* detector);
