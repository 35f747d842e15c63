// The machine's timing of bursts: how long the input stays away from its resting level.
#include "read/run_detector.h"

#include <gtest/gtest.h>

#include <vector>

#include "read/comparator.h"
#include "zx/tape.h"

namespace {

constexpr double RATE = 44100;

// Hiss, then a 1's burst of 9 pulses rising from a resting level at `rest` (-0.5: the machine's
// one-sided pulses; 0: zx8xwav's, which swing both ways), of which the last `smeared` stay well
// up, rippling a little, as a lossy copy leaves them; then rest. The bursts found, through the
// comparator as the reader has them.
std::vector<Burst> Found(int smeared, double polarity, double rest = -0.5)
{
    std::vector<float> samples;
    for (int n = 0; n < static_cast<int>(0.2 * RATE); ++n) {  // hiss at the resting level
        samples.push_back(static_cast<float>(polarity * (rest + 0.002 * ((n * 7919) % 13 - 6))));
    }
    const auto period = static_cast<int>(2 * HALF_PULSE_SECONDS * RATE);
    for (int n = 0; n < 9 * period; ++n) {
        const bool up = n % period < period / 2;
        const bool mush = n >= (9 - smeared) * period;
        samples.push_back(static_cast<float>(polarity * (mush ? (up ? 0.4 : 0.3)
                                                         : up ? 0.5
                                                              : -0.5)));
    }
    samples.resize(samples.size() + static_cast<size_t>(0.01 * RATE),
                   static_cast<float>(rest * polarity));
    Comparator comparator;
    StartComparator(&comparator, RATE, ReaderSettings{});
    std::vector<float> out(samples.size()), away(samples.size());
    Compare(&comparator, samples.data(), static_cast<int64_t>(samples.size()), 1, out.data(),
            away.data());
    RunDetector detector;
    StartRunDetector(&detector, RATE, ReaderSettings{});
    FeedRunDetector(&detector, away.data(), static_cast<int64_t>(away.size()));
    FinishRunDetector(&detector);
    return detector.Found;
}

TEST(RunDetector, TimesABurstFromItsFirstPulseToItsLastWhateverASmearLeft)
{
    const double start = 0.2, length = (2 * 9 - 1) * HALF_PULSE_SECONDS;
    for (const double polarity : {1.0, -1.0}) {
        for (const int smeared : {0, 4, 8, -1}) {
            SCOPED_TRACE(testing::Message() << polarity << " " << smeared);
            // -1: two-sided pulses, whose first is heard while the comparator's swing grows.
            const std::vector<Burst> found =
                smeared < 0 ? Found(0, polarity, 0) : Found(smeared, polarity);
            ASSERT_EQ(found.size(), 1u);  // the hiss before it is no burst
            EXPECT_NEAR(found[0].Start, start, 2 / RATE);
            // A smear may hold the last pulse up through its half period of rest.
            EXPECT_NEAR(found[0].End - found[0].Start,
                        length + (smeared > 0 ? HALF_PULSE_SECONDS : 0), 3 / RATE);
        }
    }
}

}  // namespace
