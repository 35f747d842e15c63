#include "support/machine_tape.h"

#include <algorithm>

#include "zx/tape.h"

namespace {

constexpr double T_STATE = 1 / 3.25e6;  // seconds

// The rests after a bit, in T-states: ZX81, then ZX80.
struct Rests {
    double AfterBit, AfterByte, AfterNameByte, AfterFirstBit;
};
constexpr Rests ZX81_RESTS = {4872, 5008, 4949, 4872};
constexpr Rests ZX80_RESTS = {4856, 4961, 4961, 4754};

// Adds a pulse from `from` to `to` seconds to the samples as the area it covers.
void AddPulse(std::vector<double>* samples, int rate, double from, double to)
{
    const auto first = static_cast<size_t>(from * rate);
    const auto last = std::min(static_cast<size_t>(to * rate), samples->size() - 1);
    for (size_t n = first; n <= last; ++n) {
        const double begin = std::max(from, static_cast<double>(n) / rate);
        const double end = std::min(to, static_cast<double>(n + 1) / rate);
        if (end > begin) (*samples)[n] += (end - begin) * rate;  // from rest (-0.5) to +0.5
    }
}

}  // namespace

std::vector<double> MachineTapeSamples(const std::vector<uint8_t>& image, TargetFormat target,
                                       const std::vector<uint8_t>& name, int rate, double lead_in)
{
    const Rests rests = target == TARGET_ZX80 ? ZX80_RESTS : ZX81_RESTS;
    std::vector<uint8_t> bytes = target == TARGET_ZX80 ? std::vector<uint8_t>{} : name;
    const size_t name_bytes = bytes.size();
    bytes.insert(bytes.end(), image.begin(), image.end());
    // Each bit: its pulses and the rest after it; at most 9 pulses of 975 T and a rest.
    const double longest = static_cast<double>(bytes.size()) * 8.0 * (9 * 975 + 5008) * T_STATE;
    std::vector<double> samples(static_cast<size_t>((lead_in + longest + 0.5) * rate), 0.0);
    double t = lead_in;
    for (size_t k = 0; k < bytes.size(); ++k) {
        for (int bit = 7; bit >= 0; --bit) {
            const int pulses = (bytes[k] >> bit & 1) != 0 ? PULSES_ONE : PULSES_ZERO;
            for (int p = 0; p < pulses; ++p) {
                AddPulse(&samples, rate, t, t + 492 * T_STATE);
                t += (p + 1 < pulses ? 492 + 483 : 492) * T_STATE;
            }
            const double rest = bit == 7         ? rests.AfterFirstBit
                                : bit > 0        ? rests.AfterBit
                                : k < name_bytes ? rests.AfterNameByte
                                                 : rests.AfterByte;
            t += rest * T_STATE;
        }
    }
    samples.resize(std::min(samples.size(), static_cast<size_t>((t + 0.5) * rate)));
    for (double& v : samples) v -= 0.5;
    return samples;
}
