#include "read/filter.h"

#include <cmath>

std::vector<Biquad> ButterworthSections(double rate, double hz, int order, bool high_pass)
{
    constexpr double PI = 3.14159265358979323846;
    // Bilinear transform of the analogue prototype: a pair of poles per section, each with its Q.
    const double w = std::tan(PI * hz / rate);
    std::vector<Biquad> sections;
    for (int k = 0; k < order / 2; ++k) {
        const double q = 1.0 / (2.0 * std::sin(PI * (2 * k + 1) / (2.0 * order)));
        const double norm = 1.0 / (1.0 + w / q + w * w);
        Biquad f;
        if (high_pass) {
            f.B0 = norm;
            f.B1 = -2.0 * norm;
        } else {
            f.B0 = w * w * norm;
            f.B1 = 2.0 * w * w * norm;
        }
        f.B2 = f.B0;
        f.A1 = 2.0 * (w * w - 1.0) * norm;
        f.A2 = (1.0 - w / q + w * w) * norm;
        sections.push_back(f);
    }
    return sections;
}
