// The comparator, on the machine's one-sided pulses with a lossy copy's ringing in the pauses.
#include "read/comparator.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "zx/tape.h"

namespace {

constexpr double RATE = 44100;

struct Signal {
    double Gain, Offset, Ringing;
    double Weak = 1;  // the height of a 9-pulse burst's last four pulses, as a part of the rest's
    double Overshoot = 0;  // beyond both levels at the edges of every burst's first pulse
    double Leader = 0;     // seconds of faint noise about the resting level before the bursts
    double Above = 1;      // the ringing's reach above the resting level, as a part of below
};

// Bursts of 4 and 9 pulses rising from a resting level, with ringing of `ringing` times the
// pulses' height in every pause, scaled by `gain` and moved by `offset`: the rises of the
// comparator's output after the first burst (before a pulse, it knows no pulse's height), the
// rises of its output turned away from the resting level, and whether that was low in the middle
// of every pause.
int RisesCompared(const Signal& signal, int* away_rises, bool* pauses_rest)
{
    const double gain = signal.Gain, offset = signal.Offset, ringing = signal.Ringing;
    std::vector<float> samples;
    std::vector<size_t> pauses;  // the middle of each
    size_t known = 0;
    for (int n = 0; n < static_cast<int>(signal.Leader * RATE); ++n)
        samples.push_back(
            static_cast<float>(offset + gain * (-0.5 + 1e-4 * ((n * 7919) % 13 - 6))));
    for (const int pulses : {9, 4, 9, 9, 4}) {
        if (known == 0 && !pauses.empty()) known = samples.size();
        pauses.push_back(samples.size() + static_cast<size_t>(0.75e-3 * RATE));
        for (int n = 0; n < static_cast<int>(1.5e-3 * RATE); ++n) {  // a pause, ringing
            const double ring = ringing * std::sin(n * 2.0 * M_PI * 5000 / RATE);
            samples.push_back(
                static_cast<float>(offset + gain * (-0.5 + (ring > 0 ? signal.Above : 1) * ring)));
        }
        const auto period = static_cast<int>(2 * HALF_PULSE_SECONDS * RATE);
        for (int n = 0; n < pulses * period; ++n) {
            const bool weak = pulses == 9 && n >= 5 * period;
            const double edge = n < period ? signal.Overshoot : 0;
            const double level = n % period == 0            ? (weak ? signal.Weak : 1) + edge
                                 : n % period < period / 2  ? (weak ? signal.Weak : 1)
                                 : n % period == period / 2 ? -edge
                                                            : 0;
            samples.push_back(static_cast<float>(offset + gain * (level - 0.5)));
        }
    }
    Comparator comparator;
    StartComparator(&comparator, RATE, ReaderSettings{});
    std::vector<float> out(samples.size()), away(samples.size());
    Compare(&comparator, samples.data(), static_cast<int64_t>(samples.size()), 1, out.data(),
            away.data());
    *pauses_rest = true;
    for (const size_t pause : pauses)
        *pauses_rest = *pauses_rest && (pause < known || away[pause] < 0);
    int rises = 0;
    *away_rises = 0;
    for (size_t i = known; i < out.size(); ++i) {
        rises += out[i - 1] <= 0 && out[i] > 0;
        *away_rises += away[i - 1] <= 0 && away[i] > 0;
    }
    return rises;
}

// A lossy copy overshoots every edge and may weaken a burst's last pulses to 70 % of the
// others; the machine still hears them. A tape may follow a silence as faint as a codec makes it.
TEST(Comparator, CountsThePulsesAndNotThePausesRinging)
{
    const Signal cases[] = {
        {1, 0, 0},    {1, 0, 0.3},           {0.01, 0, 0.3},         {1, 0.4, 0.3},
        {-1, 0, 0.3}, {1, 0, 0.3, 0.7, 0.3}, {-1, 0, 0.3, 0.7, 0.3}, {1, 0, 0.3, 1, 0, 3}};
    for (const Signal& c : cases) {
        SCOPED_TRACE(testing::Message() << c.Gain << " " << c.Offset << " " << c.Ringing << " "
                                        << c.Weak << " " << c.Overshoot << " " << c.Leader);
        bool pauses_rest = false;
        int away_rises = 0;
        EXPECT_EQ(RisesCompared(c, &away_rises, &pauses_rest), 4 + 9 + 9 + 4);
        EXPECT_EQ(away_rises, 4 + 9 + 9 + 4);
        EXPECT_TRUE(pauses_rest);
    }
}

// A deck's undershoot or a codec's ringing may reach further below the resting level than the
// pulses rise above it: the middle then lies below the signal's mean, yet the pauses are still
// where it rests.
TEST(Comparator, KeepsItsRestingSideThroughRingingDeeperThanThePulses)
{
    for (const double gain : {1.0, -1.0}) {
        SCOPED_TRACE(gain);
        bool pauses_rest = false;
        int away_rises = 0;
        RisesCompared({gain, 0, 0.8, 1, 0, 0, 0.3}, &away_rises, &pauses_rest);
        EXPECT_EQ(away_rises, 4 + 9 + 9 + 4);
        EXPECT_TRUE(pauses_rest);
    }
}

}  // namespace
