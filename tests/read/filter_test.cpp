// The Butterworth filters: -3 dB at the corner, flat well inside the pass band, and falling off
// by 6 dB per octave for each order beyond it.
#include "read/filter.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

// The gain of the filter for a sine of `hz` at `rate`, measured once it has settled.
double Gain(bool high_pass, int order, double corner, double hz, double rate = 44100)
{
    std::vector<Biquad> sections = ButterworthSections(rate, corner, order, high_pass);
    double peak = 0;
    for (int n = 0; n < 20000; ++n) {
        const double y = RunSections(&sections, std::sin(2 * M_PI * hz * n / rate));
        if (n > 10000) peak = std::max(peak, std::fabs(y));
    }
    return 20 * std::log10(peak);
}

TEST(Filter, ButterworthResponse)
{
    const struct {
        bool HighPass;
        int Order;
        double Hz;
        double Db;  // expected gain
    } cases[] = {
        {true, 2, 1800, -3.01}, {true, 4, 1800, -3.01},  {false, 4, 1800, -3.01},
        {true, 4, 7200, 0.0},   {false, 4, 450, 0.0},    {true, 2, 900, -12.3},
        {true, 4, 900, -24.1},  {false, 4, 3600, -24.1}, {false, 6, 3600, -36.9},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.Order) + (c.HighPass ? " high " : " low ") +
                     std::to_string(c.Hz));
        EXPECT_NEAR(Gain(c.HighPass, c.Order, 1800, c.Hz), c.Db, 0.6);
    }
}

}  // namespace
