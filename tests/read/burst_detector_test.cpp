// The burst detector's stages, each on a signal made for it, and the whole detector on bursts of
// pulses as a tape holds them.
#include "read/burst_detector.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "support/images.h"
#include "support/recordings.h"
#include "zx/tape.h"

namespace {

constexpr double RATE = 44100;

// A burst of `pulses` square pulses of amplitude `level` after `pause` seconds of silence.
void AddBurst(std::vector<float>* samples, int pulses, double level, double pause = 1.3e-3)
{
    const double start = static_cast<double>(samples->size()) / RATE + pause;
    const double end = start + pulses * 2 * HALF_PULSE_SECONDS;
    while (static_cast<double>(samples->size()) / RATE < end) {
        const double t = static_cast<double>(samples->size()) / RATE;
        const double phase = std::fmod(t - start, 2 * HALF_PULSE_SECONDS);
        samples->push_back(
            t < start ? 0.0f : static_cast<float>(phase < HALF_PULSE_SECONDS ? level : -level));
    }
}

std::vector<Burst> Detect(const std::vector<float>& samples,
                          const ReaderSettings& settings = ReaderSettings{})
{
    BurstDetector detector;
    StartBurstDetector(&detector, RATE, settings);
    FeedBurstDetector(&detector, samples.data(), static_cast<int64_t>(samples.size()), 1);
    FinishBurstDetector(&detector);
    return detector.Found;
}

TEST(StrengthMeter, MeasuresThePulseFrequencyOnly)
{
    // A sine's strength is its amplitude at the pulse frequency, and far less two octaves away.
    for (const double hz : {1.0 / (2 * HALF_PULSE_SECONDS), 800.0}) {
        StrengthMeter meter;
        StartStrengthMeter(&meter, RATE, 2 * 2 * HALF_PULSE_SECONDS);
        double strength = 0;
        for (int n = 0; n < 2000; ++n) {
            strength = MeasureStrength(&meter, 0.5 * std::sin(2 * M_PI * hz * n / RATE));
        }
        if (hz == 800.0) {
            EXPECT_LT(strength, 0.2);
        } else {
            EXPECT_NEAR(strength, 0.5, 0.02);
        }
    }
}

TEST(PulseCounter, CountsRisesThroughTheBandOnly)
{
    PulseCounter counter;
    StartPulseCounter(&counter, 8);
    // Three full swings, then wobbles inside the band that are no pulses.
    const double signal[] = {1, -1, 1, -1, 1, -1, 0.1, -0.1, 0.1, 1};
    for (int n = 0; n < 10; ++n) CountPulses(&counter, signal[n], 0.3, n);
    EXPECT_EQ(PulsesBetween(counter, 1.0, 0, 9), 4);
    EXPECT_EQ(PulsesBetween(counter, 1.0, 1, 5), 2);
    // Only the latest rises are kept.
    for (int n = 10; n < 40; ++n) CountPulses(&counter, n % 2 ? -1 : 1, 0.3, n);
    EXPECT_EQ(PulsesBetween(counter, 1.0, 0, 40), 8);
}

TEST(NoiseFloor, FollowsTheQuietDownQuicklyAndUpSlowly)
{
    NoiseFloor floor;
    StartNoiseFloor(&floor, RATE, ReaderSettings{});
    for (int n = 1; n <= 10; ++n) WarmNoiseFloor(&floor, n % 2 ? 0.01 : 0.03, n);
    EXPECT_NEAR(floor.Level, 0.02, 1e-9);  // the warm-up's mean
    for (int n = 0; n < 2000; ++n) FollowNoiseFloor(&floor, 0.001);
    EXPECT_NEAR(floor.Level, 0.001, 1e-4);  // down within 50 ms
    for (int n = 0; n < 441; ++n) FollowNoiseFloor(&floor, 1.0);
    EXPECT_LT(floor.Level, 0.06);  // a burst 10 ms long barely moves it
}

TEST(BurstState, BeginsWellAboveTheNoiseAndEndsBelowItsPeak)
{
    const ReaderSettings s;
    const auto run = static_cast<int64_t>(s.RunSeconds * RATE);  // 30 ms
    const struct {
        const char* What;
        double Strength, Floor;
        int64_t Sample, RunSample;
        bool Begins;
    } cases[] = {
        {"3 times the noise", 0.03, 0.01, 100000, 0, false},
        {"4 times the noise", 0.04, 0.01, 100000, 0, true},
        {"3 times, 23 ms into a run", 0.03, 0.01, 100000, 99000, true},
        {"3 times, 45 ms after the run began", 0.03, 0.01, 100000, 98000, false},
        {"above silence only", 5e-5, 1e-6, 100000, 0, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.What);
        BurstState state;
        state.Valley = 0.001;
        state.RunSample = c.RunSample;
        EXPECT_EQ(BurstBegins(&state, s, c.Strength, c.Floor, c.Sample, run), c.Begins);
    }
    BurstState state;
    state.Valley = 0.001;
    ASSERT_TRUE(BurstBegins(&state, s, 0.5, 0.01, 1, 1323));
    EXPECT_FALSE(BurstEnds(&state, s, 1.0, 0.01));
    EXPECT_FALSE(BurstEnds(&state, s, 0.31, 0.01));
    EXPECT_TRUE(BurstEnds(&state, s, 0.29, 0.01));  // below 0.3 of its peak
}

TEST(BurstDetector, FindsBurstsAsLongAsTheirPulsesAtAnyLevel)
{
    std::vector<float> samples(4410, 0.0f);
    const int pulses[] = {4, 9, 4, 9, 9, 4};
    const double levels[] = {0.8, 0.8, 0.05, 0.05, 0.4, 0.01};
    for (int k = 0; k < 6; ++k) AddBurst(&samples, pulses[k], levels[k]);
    samples.resize(samples.size() + 4410, 0.0f);
    const std::vector<Burst> found = Detect(samples);
    ASSERT_EQ(found.size(), 6u);
    for (int k = 0; k < 6; ++k) {
        SCOPED_TRACE(k);
        // The filter's ringing after the last pulse may count as one more: the framer allows it.
        EXPECT_GE(found[static_cast<size_t>(k)].Pulses, pulses[k]);
        EXPECT_LE(found[static_cast<size_t>(k)].Pulses, pulses[k] + 1);
        const double length =
            found[static_cast<size_t>(k)].End - found[static_cast<size_t>(k)].Start;
        EXPECT_NEAR(length, pulses[k] * 2 * HALF_PULSE_SECONDS, 0.25e-3);
        EXPECT_NEAR(found[static_cast<size_t>(k)].Strength, levels[k], 0.35 * levels[k]);
    }
    // Nothing rises above a least level louder than the signal.
    ReaderSettings deaf;
    deaf.LeastLevel = 2;
    EXPECT_TRUE(Detect(samples, deaf).empty());
}

TEST(BurstDetector, SilenceAndTheFirstMomentsHoldNoBurst)
{
    // In digital silence only a burst above the least level counts (about -80 dB), and the first
    // moments of a recording only show how loud its noise is.
    const struct {
        const char* What;
        double Level, Pause;
        size_t Found;
    } cases[] = {
        {"at -74 dB", 2e-4, 20e-3, 1},
        {"at -86 dB", 5e-5, 20e-3, 0},
        {"in the first 10 ms", 0.5, 4e-3, 0},
        {"after the first 10 ms", 0.5, 15e-3, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.What);
        std::vector<float> samples;
        AddBurst(&samples, 9, c.Level, c.Pause);
        samples.resize(samples.size() + 4410, 0.0f);
        EXPECT_EQ(Detect(samples).size(), c.Found);
    }
}

TEST(BurstDetector, ARecordingThatStopsAtTheLastPulseCutsNoBurstShort)
{
    std::vector<float> samples(4410, 0.0f);
    AddBurst(&samples, 9, 0.5);
    const std::vector<Burst> cut = Detect(samples);
    samples.resize(samples.size() + 4410, 0.0f);
    const std::vector<Burst> whole = Detect(samples);
    ASSERT_EQ(cut.size(), 1u);
    ASSERT_EQ(whole.size(), 1u);
    EXPECT_NEAR(cut[0].End - cut[0].Start, whole[0].End - whole[0].Start, 1e-6);
    EXPECT_EQ(cut[0].Pulses, whole[0].Pulses);
}

TEST(BurstDetector, CountsTheConvertersPulses)
{
    // The converter's own tape, as its samples are: every burst holds 4 or 9 pulses, give or take
    // the one a filter's ringing adds.
    const std::vector<double> tape = TapeSamples(WellFormedZx81Image(3, 5), TARGET_ZX81, "P");
    const std::vector<float> samples(tape.begin(), tape.end());
    BurstDetector detector;
    StartBurstDetector(&detector, 22050);
    FeedBurstDetector(&detector, samples.data(), static_cast<int64_t>(samples.size()), 1);
    FinishBurstDetector(&detector);
    ASSERT_GT(detector.Found.size(), 1000u);
    for (const Burst& burst : detector.Found) {
        const bool zero = burst.Pulses >= PULSES_ZERO && burst.Pulses <= PULSES_ZERO + 1;
        const bool one = burst.Pulses >= PULSES_ONE && burst.Pulses <= PULSES_ONE + 1;
        ASSERT_TRUE(zero || one) << burst.Pulses << " pulses at " << burst.Start;
    }
}

TEST(BurstDetector, ADipInsideABurstIsMarked)
{
    // Two 9-pulse bursts whose pause is filled at a fifth of their level, as a codec's ringing
    // fills it: one burst, with a dip where the pause was.
    std::vector<float> samples(4410, 0.0f);
    AddBurst(&samples, 9, 0.5);
    const size_t pause_start = samples.size();
    AddBurst(&samples, 9, 0.5, 4 * 2 * HALF_PULSE_SECONDS);  // a pause of whole periods
    const double pause_end =
        static_cast<double>(samples.size()) / RATE - 9 * 2 * HALF_PULSE_SECONDS;
    for (size_t n = pause_start; n < static_cast<size_t>(pause_end * RATE); ++n) {
        // Ringing on in the phase of the burst before.
        const double phase =
            std::fmod(static_cast<double>(n - pause_start) / RATE, 2 * HALF_PULSE_SECONDS);
        samples[n] = phase < HALF_PULSE_SECONDS ? 0.2f : -0.2f;
    }
    samples.resize(samples.size() + 4410, 0.0f);
    const std::vector<Burst> found = Detect(samples);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_LT(found[0].DipDepth, 0.5);
    EXPECT_GT(found[0].DipEnd - found[0].DipStart, 0.6e-3);
    // In the middle of the pause, late by half the strength's window as every edge is.
    EXPECT_NEAR(0.5 * (found[0].DipStart + found[0].DipEnd),
                static_cast<double>(pause_start) / RATE + 0.6e-3 + 0.3e-3, 0.2e-3);
}

}  // namespace
