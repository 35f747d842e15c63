#include "support/tape_decoder.h"

namespace {

// Timing a loader accepts, in microseconds, with wide margins around the nominal tape: a pulse
// is high for about 150 us, the gaps inside a bit are about 150 us and the silence between bits
// is about 1450 us.
constexpr double MIN_PULSE_US = 60.0;
constexpr double MAX_PULSE_US = 400.0;
constexpr double BIT_GAP_US = 600.0;  // a gap longer than this ends a bit

constexpr int ZERO_PULSES = 4;
constexpr int ONE_PULSES = 9;

}  // namespace

DecodedTape DecodeTape(const uint8_t* samples, size_t count, uint32_t sample_rate)
{
    DecodedTape tape;
    const double us_per_sample = 1e6 / sample_rate;
    int bits = 0;
    unsigned current_byte = 0;
    int pulses = 0;  // pulses of the bit being read

    auto finish_bit = [&](size_t at) {
        if (pulses != ZERO_PULSES && pulses != ONE_PULSES) {
            tape.Error = "a bit of " + std::to_string(pulses) + " pulses ends at sample " +
                         std::to_string(at);
            return false;
        }
        current_byte = (current_byte << 1) | (pulses == ONE_PULSES ? 1u : 0u);
        if (++bits == 8) {
            tape.Bytes.push_back(static_cast<uint8_t>(current_byte));
            bits = 0;
            current_byte = 0;
        }
        pulses = 0;
        return true;
    };

    size_t last_pulse_end = 0;
    bool seen_pulse = false;
    size_t i = 0;
    while (i < count) {
        if (samples[i] <= 128) {
            ++i;
            continue;
        }
        const size_t start = i;
        while (i < count && samples[i] > 128) ++i;
        const double width_us = static_cast<double>(i - start) * us_per_sample;
        if (width_us < MIN_PULSE_US || width_us > MAX_PULSE_US) {
            tape.Error = "a pulse of " + std::to_string(i - start) + " samples at sample " +
                         std::to_string(start);
            return tape;
        }
        const double gap_us = static_cast<double>(start - last_pulse_end) * us_per_sample;
        if (seen_pulse && gap_us > BIT_GAP_US && !finish_bit(start)) return tape;
        ++pulses;
        seen_pulse = true;
        last_pulse_end = i;
    }
    if (seen_pulse && !finish_bit(count)) return tape;
    if (bits != 0) tape.Error = std::to_string(bits) + " bits after the last whole byte";
    return tape;
}
