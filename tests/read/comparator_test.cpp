// The comparator, on the machine's one-sided pulses with a lossy copy's ringing in the pauses.
#include "read/comparator.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "zx/tape.h"

namespace {

constexpr double RATE = 44100;

// Bursts of 4 and 9 pulses rising from a resting level, with ringing of `ringing` times the
// pulses' height in every pause, scaled by `gain` and moved by `offset`: the rises of the
// comparator's output after the first burst (before a pulse, it knows no pulse's height), and
// whether its output turned away from the resting level was low in the middle of every pause.
int RisesCompared(double gain, double offset, double ringing, bool* pauses_rest)
{
    std::vector<float> samples;
    std::vector<size_t> pauses;  // the middle of each
    size_t known = 0;
    for (const int pulses : {9, 4, 9, 9, 4}) {
        if (known == 0 && !samples.empty()) known = samples.size();
        pauses.push_back(samples.size() + static_cast<size_t>(0.75e-3 * RATE));
        for (int n = 0; n < static_cast<int>(1.5e-3 * RATE); ++n) {  // a pause, ringing
            samples.push_back(static_cast<float>(
                offset + gain * (-0.5 + ringing * std::sin(n * 2.0 * M_PI * 5000 / RATE))));
        }
        const auto period = static_cast<int>(2 * HALF_PULSE_SECONDS * RATE);
        for (int n = 0; n < pulses * period; ++n) {
            samples.push_back(
                static_cast<float>(offset + gain * (n % period < period / 2 ? 0.5 : -0.5)));
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
    for (size_t i = known; i < out.size(); ++i) rises += out[i - 1] <= 0 && out[i] > 0;
    return rises;
}

TEST(Comparator, CountsThePulsesAndNotThePausesRinging)
{
    const struct {
        double Gain, Offset, Ringing;
    } cases[] = {{1, 0, 0}, {1, 0, 0.3}, {0.01, 0, 0.3}, {1, 0.4, 0.3}, {-1, 0, 0.3}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.Gain << " " << c.Offset << " " << c.Ringing);
        bool pauses_rest = false;
        EXPECT_EQ(RisesCompared(c.Gain, c.Offset, c.Ringing, &pauses_rest), 4 + 9 + 9 + 4);
        EXPECT_TRUE(pauses_rest);
    }
}

}  // namespace
