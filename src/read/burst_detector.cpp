#include "read/burst_detector.h"

#include <algorithm>
#include <cmath>

#include "zx/tape.h"

namespace {

constexpr double PI = 3.14159265358979323846;
constexpr double PULSE_FREQUENCY = 1.0 / (2 * HALF_PULSE_SECONDS);

// The strength is measured over this many pulse periods: more smooths noise, fewer keeps edges
// sharp.
constexpr double WINDOW_PERIODS = STRENGTH_WINDOW_SECONDS * PULSE_FREQUENCY;
// A burst begins where the strength rises this many times above the noise, and ends where it
// falls below this part of its greatest strength, or this many times the noise.
constexpr double ENTER_NOISE = 3.5;
// Within a run of bursts, where a burst is expected, the strength need rise less.
constexpr double ENTER_NOISE_IN_RUN = 2.5;
constexpr double RUN_SECONDS = 30e-3;
constexpr double LEAVE_FRACTION = 0.3;
constexpr double LEAVE_NOISE = 1.8;
// After a burst, the next one begins only once the strength rises this many times above the
// least it fell to.
constexpr double RISE_FROM_VALLEY = 2.0;
// Strengths below this (about -80 dB of full scale) are silence, however quiet the noise.
constexpr double LEAST_LEVEL = 1e-4;
// The noise floor is the mean strength between bursts: it follows, within a few milliseconds,
// the strength where it stays below twice the floor (above that are bursts and their tails),
// and creeps up within a fifth of a second where it does not (the noise got louder).
constexpr double FLOOR_SECONDS = 5e-3;
constexpr double FLOOR_GATE = 2.0;
constexpr double FLOOR_CREEP_SECONDS = 0.2;
// The first moments of a recording only show how loud its noise is.
constexpr double WARM_UP_SECONDS = 10e-3;
// The strength is remembered this long: longer than any burst.
constexpr double HISTORY_SECONDS = 40e-3;
// The Schmitt trigger that counts pulses switches at this part of the current strength.
constexpr double PULSE_BAND = 0.35;
constexpr int RISES_KEPT = 32;
// A dip inside a burst lies between two stretches at least this part of its greatest strength.
constexpr double DIP_SIDES = 0.6;

float& HistoryAt(BurstDetector* d, int64_t sample)
{
    return d->History[static_cast<size_t>(sample) & (d->History.size() - 1)];
}

// The instant, in seconds, at which the strength passes `level` between samples n - 1 and n.
double CrossingBetween(BurstDetector* d, int64_t n, double level)
{
    const double before = HistoryAt(d, n - 1);
    const double after = HistoryAt(d, n);
    const double fraction = after != before ? (level - before) / (after - before) : 1.0;
    return (static_cast<double>(n) - 1.0 + std::clamp(fraction, 0.0, 1.0)) / d->Rate;
}

// The deepest fall of the strength within samples [first, last] of a burst between two
// stretches that come near its greatest strength, and where it lies below the level halfway
// between its bottom and the lower of the two.
void FindDip(BurstDetector* d, int64_t first, int64_t last, Burst* burst)
{
    const double near = DIP_SIDES * d->BurstMax;
    int64_t left = first;
    while (left <= last && HistoryAt(d, left) < near) ++left;
    int64_t right = last;
    while (right >= left && HistoryAt(d, right) < near) --right;
    if (right <= left) return;
    int64_t bottom = left;
    for (int64_t n = left; n <= right; ++n) {
        if (HistoryAt(d, n) < HistoryAt(d, bottom)) bottom = n;
    }
    const double low = HistoryAt(d, bottom);
    if (low >= near) return;
    double side_left = 0, side_right = 0;
    for (int64_t n = left; n <= bottom; ++n)
        side_left = std::max<double>(side_left, HistoryAt(d, n));
    for (int64_t n = bottom; n <= right; ++n)
        side_right = std::max<double>(side_right, HistoryAt(d, n));
    const double level = 0.5 * (low + std::min(side_left, side_right));
    int64_t begin = bottom;
    while (begin > left && HistoryAt(d, begin - 1) < level) --begin;
    int64_t end = bottom;
    while (end < right && HistoryAt(d, end + 1) < level) ++end;
    burst->DipStart = CrossingBetween(d, begin, level);
    burst->DipEnd = CrossingBetween(d, end + 1, level);
    burst->DipDepth = low / d->BurstMax;
}

// The burst entered at EntrySample has ended at the current sample: its edges are placed at half
// of its greatest strength, and its pulses counted.
void EndBurst(BurstDetector* d)
{
    d->InBurst = false;
    const double half = 0.5 * d->BurstMax;
    // The edges lie after the last burst's end, and within the remembered strength.
    const int64_t oldest = std::max<int64_t>(
        {1, d->ExitSample + 1, d->Sample - static_cast<int64_t>(d->History.size()) + 2});

    int64_t first = std::max(d->EntrySample, oldest);
    if (HistoryAt(d, first) >= half) {
        while (first > oldest && HistoryAt(d, first - 1) >= half) --first;
    } else {
        while (first < d->Sample && HistoryAt(d, first) < half) ++first;
    }
    int64_t last = d->Sample;
    while (last > first && HistoryAt(d, last) < half) --last;

    Burst burst;
    burst.Start = CrossingBetween(d, first, half);
    burst.End = last < d->Sample ? CrossingBetween(d, last + 1, half)
                                 : static_cast<double>(d->Sample) / d->Rate;
    burst.Strength = d->BurstMax;
    burst.Noise = d->Floor;
    // The strength lags the signal by half a window: the pulses lie that much earlier.
    const double lag = 0.5 * d->Window / d->Rate;
    const double slack = 0.5 / PULSE_FREQUENCY;
    for (const int64_t rise : d->Rises) {
        const double at = static_cast<double>(rise) / d->Rate;
        burst.Pulses +=
            rise >= 0 && at >= burst.Start - lag - slack && at <= burst.End - lag + slack;
    }
    FindDip(d, first, last, &burst);
    d->Found.push_back(burst);
    // A burst well above the noise starts (or continues) a run, where more are expected.
    if (d->BurstMax > ENTER_NOISE * d->Floor) d->RunSample = d->Sample;
    d->ExitSample = d->Sample;
    d->Valley = HistoryAt(d, d->Sample);
}

}  // namespace

void StartBurstDetector(BurstDetector* d, double rate, double high_pass_hz, int order)
{
    *d = BurstDetector{};
    d->Rate = rate;

    // Butterworth high-pass of the given order, in second-order sections.
    const double w = std::tan(PI * high_pass_hz / rate);
    for (int k = 0; k < order / 2; ++k) {
        const double q = 1.0 / (2.0 * std::sin(PI * (2 * k + 1) / (2.0 * order)));
        const double norm = 1.0 / (1.0 + w / q + w * w);
        BurstDetector::Section section;
        section.B0 = norm;
        section.B1 = -2.0 * norm;
        section.B2 = norm;
        section.A1 = 2.0 * (w * w - 1.0) * norm;
        section.A2 = (1.0 - w / q + w * w) * norm;
        d->HighPass.push_back(section);
    }

    d->Window = std::max(1, static_cast<int>(std::lround(WINDOW_PERIODS * rate / PULSE_FREQUENCY)));
    d->RingI.assign(static_cast<size_t>(d->Window), 0.0);
    d->RingQ.assign(static_cast<size_t>(d->Window), 0.0);
    d->StepRe = std::cos(2 * PI * PULSE_FREQUENCY / rate);
    d->StepIm = std::sin(2 * PI * PULSE_FREQUENCY / rate);
    size_t history = 1;
    while (static_cast<double>(history) < HISTORY_SECONDS * rate) history *= 2;
    d->History.assign(history, 0.0f);
    d->Rises.assign(RISES_KEPT, -1);
}

void FeedBurstDetector(BurstDetector* d, const float* samples, int64_t count, int stride)
{
    const double follow = 1.0 / (FLOOR_SECONDS * d->Rate);
    const double creep = 1.0 / (FLOOR_CREEP_SECONDS * d->Rate);
    const auto warm_up = static_cast<int64_t>(WARM_UP_SECONDS * d->Rate);
    const auto run = static_cast<int64_t>(RUN_SECONDS * d->Rate);
    const double scale = 2.0 / d->Window;
    for (int64_t n = 0; n < count; ++n) {
        double y = samples[n * stride];
        for (BurstDetector::Section& f : d->HighPass) {
            const double in = y;
            y = f.B0 * in + f.B1 * f.X1 + f.B2 * f.X2 - f.A1 * f.Y1 - f.A2 * f.Y2;
            f.X2 = f.X1;
            f.X1 = in;
            f.Y2 = f.Y1;
            f.Y1 = y;
        }

        // Strength of the pulse frequency over the last window.
        const auto at = static_cast<size_t>(d->RingAt);
        const double i = y * d->PhasorRe;
        const double q = y * d->PhasorIm;
        d->SumI += i - d->RingI[at];
        d->SumQ += q - d->RingQ[at];
        d->RingI[at] = i;
        d->RingQ[at] = q;
        if (++d->RingAt == d->Window) d->RingAt = 0;
        const double re = d->PhasorRe * d->StepRe - d->PhasorIm * d->StepIm;
        d->PhasorIm = d->PhasorRe * d->StepIm + d->PhasorIm * d->StepRe;
        d->PhasorRe = re;
        if ((d->Sample & 1023) == 0) {  // keep the phasor on the unit circle
            const double length = std::hypot(d->PhasorRe, d->PhasorIm);
            d->PhasorRe /= length;
            d->PhasorIm /= length;
        }
        const double strength = std::sqrt(d->SumI * d->SumI + d->SumQ * d->SumQ) * scale;
        ++d->Sample;
        HistoryAt(d, d->Sample) = static_cast<float>(strength);

        // Pulses: rises of the filtered signal through a band around zero.
        const double band = PULSE_BAND * strength;
        if (d->High ? y < -band : y > band) {
            d->High = !d->High;
            if (d->High) {
                d->Rises[static_cast<size_t>(d->RiseAt)] = d->Sample;
                d->RiseAt = (d->RiseAt + 1) % RISES_KEPT;
            }
        }

        if (d->Sample < warm_up) {
            d->Floor += (strength - d->Floor) / static_cast<double>(d->Sample);  // their mean
        } else if (!d->InBurst) {
            d->Floor += (strength < FLOOR_GATE * d->Floor ? follow : creep) * (strength - d->Floor);
            d->Valley = std::min(d->Valley, strength);
            const bool in_run = d->RunSample > 0 && d->Sample - d->RunSample < run;
            const double above_noise = in_run ? ENTER_NOISE_IN_RUN : ENTER_NOISE;
            if (strength >
                std::max({LEAST_LEVEL, above_noise * d->Floor, RISE_FROM_VALLEY * d->Valley})) {
                d->InBurst = true;
                d->EntrySample = d->Sample;
                d->BurstMax = strength;
            }
        } else {
            d->BurstMax = std::max(d->BurstMax, strength);
            const double leave =
                std::max({0.8 * LEAST_LEVEL, LEAVE_FRACTION * d->BurstMax, LEAVE_NOISE * d->Floor});
            if (strength < leave) EndBurst(d);
        }
    }
}

void FinishBurstDetector(BurstDetector* d)
{
    if (d->InBurst) EndBurst(d);
}
