// Finds the bursts of pulses in one channel of a recording.
//
// On tape every bit is a burst of pulses at about 3.3 kHz, after a pause. The detector is a
// chain of small stages, each with its own state: a high-pass filter removes DC and hum; a
// strength meter measures the pulse frequency over two pulse periods; a pulse counter notes each
// pulse; a noise floor follows the quiet between bursts; and the burst state takes as a burst
// every stretch that rises well above the noise. A burst's edges are placed where its strength
// crosses half of its own greatest strength, so that its length does not depend on how loud it
// is: a burst in a dip of the tape's level is as long as its neighbours.
#pragma once

#include <cstdint>
#include <vector>

#include "read/filter.h"
#include "read/settings.h"
#include "zx/tape.h"

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

/// The strength of the pulse frequency over the last Window samples: sums of the signal times a
/// rotating phasor.
struct StrengthMeter {
    int Window = 1;
    std::vector<double> RingI, RingQ;
    int RingAt = 0;
    double SumI = 0, SumQ = 0;
    double PhasorRe = 1, PhasorIm = 0, StepRe = 1, StepIm = 0;
    int64_t Fed = 0;
};
void StartStrengthMeter(StrengthMeter* meter, double rate, double window_seconds);
/// The strength after the next filtered sample `y`.
double MeasureStrength(StrengthMeter* meter, double y);

/// Pulses: a Schmitt trigger on the filtered signal, and the sample numbers of recent rises.
struct PulseCounter {
    bool High = false;
    std::vector<int64_t> Rises;  // -1: none yet
    int RiseAt = 0;
};
void StartPulseCounter(PulseCounter* counter, int kept);
/// Notes sample number `sample`, of value `y`; the trigger switches beyond +-`band`.
void CountPulses(PulseCounter* counter, double y, double band, int64_t sample);
/// The rises kept that lie between `from` and `to` seconds.
int PulsesBetween(const PulseCounter& counter, double rate, double from, double to);

/// The noise's strength: the mean of the first moments, then following the strength down
/// quickly and up slowly, so that it stays at the quiet between bursts.
struct NoiseFloor {
    double Level = 0;
    double Follow = 0, Creep = 0;  // parts of the difference taken per sample
    double Gate = 0;               // strengths above this many times the floor only creep
};
void StartNoiseFloor(NoiseFloor* floor, double rate, const ReaderSettings& settings);
/// The strength of the `n`-th sample (from 1) of the warm-up.
void WarmNoiseFloor(NoiseFloor* floor, double strength, int64_t n);
/// The strength of a sample between bursts.
void FollowNoiseFloor(NoiseFloor* floor, double strength);

/// The burst under way, and the quiet since the last one: the least strength since it ended,
/// which a new burst must rise well above (the last one's tail only falls).
struct BurstState {
    bool InBurst = false;
    int64_t EntrySample = 0;
    double BurstMax = 0;
    int64_t ExitSample = 0;
    double Valley = 0;
    int64_t RunSample = 0;  // where the last burst well above the noise ended
};
/// Whether a burst begins at sample `sample` of strength `strength` over the noise `floor`.
bool BurstBegins(BurstState* state, const ReaderSettings& settings, double strength, double floor,
                 int64_t sample, int64_t run);
/// Whether the burst under way ends at a sample of strength `strength`.
bool BurstEnds(BurstState* state, const ReaderSettings& settings, double strength, double floor);

struct BurstDetector {
    ReaderSettings Settings;
    double Rate = 0;     // samples per second
    int64_t Sample = 0;  // samples fed so far
    std::vector<Biquad> HighPass;
    StrengthMeter Strength;
    PulseCounter Pulses;
    NoiseFloor Floor;
    BurstState State;
    // The strength over the last moments (a ring indexed by sample number), to place a burst's
    // edges once its greatest strength is known.
    std::vector<float> History;
    int64_t WarmUp = 0, Run = 0;  // in samples
    // The input is already two-level (a comparator's): its pulses are counted as they come,
    // exactly, rather than on the filtered signal, whose ringing may add one.
    bool TwoLevel = false;
    std::vector<Burst> Found;  // bursts finished, in order, for the caller to take
};

/// Prepares a detector for a channel of `rate` samples per second.
void StartBurstDetector(BurstDetector* detector, double rate,
                        const ReaderSettings& settings = ReaderSettings{});
/// Reads `count` samples, taking every `stride`-th float from `samples`.
void FeedBurstDetector(BurstDetector* detector, const float* samples, int64_t count, int stride);
/// The recording has ended: a burst under way ends as if silence followed.
void FinishBurstDetector(BurstDetector* detector);
