#include "read/burst_detector.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double PI = 3.14159265358979323846;
constexpr double PULSE_FREQUENCY = 1.0 / (2 * HALF_PULSE_SECONDS);

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

// The greatest strength within samples [from, to].
double MostBetween(BurstDetector* d, int64_t from, int64_t to)
{
    double most = 0;
    for (int64_t n = from; n <= to; ++n) most = std::max<double>(most, HistoryAt(d, n));
    return most;
}

// The deepest fall of the strength within samples [first, last] of a burst between two
// stretches that come near its greatest strength, and where it lies below the level halfway
// between its bottom and the lower of the two.
void FindDip(BurstDetector* d, int64_t first, int64_t last, Burst* burst)
{
    const double near = d->Settings.DipSides * d->State.BurstMax;
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
    const double sides = std::min(MostBetween(d, left, bottom), MostBetween(d, bottom, right));
    const double level = 0.5 * (low + sides);
    int64_t begin = bottom;
    while (begin > left && HistoryAt(d, begin - 1) < level) --begin;
    int64_t end = bottom;
    while (end < right && HistoryAt(d, end + 1) < level) ++end;
    burst->DipStart = CrossingBetween(d, begin, level);
    burst->DipEnd = CrossingBetween(d, end + 1, level);
    burst->DipDepth = low / d->State.BurstMax;
}

// The burst entered at EntrySample has ended at the current sample: its edges are placed at half
// of its greatest strength, and its pulses counted.
void EndBurst(BurstDetector* d)
{
    BurstState& s = d->State;
    s.InBurst = false;
    const double half = 0.5 * s.BurstMax;
    // The edges lie after the last burst's end, and within the remembered strength.
    const int64_t oldest = std::max<int64_t>(
        {1, s.ExitSample + 1, d->Sample - static_cast<int64_t>(d->History.size()) + 2});

    int64_t first = std::max(s.EntrySample, oldest);
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
    burst.Strength = s.BurstMax;
    burst.Noise = d->Floor.Level;
    // The strength lags the signal by half a window: the pulses lie that much earlier.
    const double lag = 0.5 * d->Strength.Window / d->Rate;
    const double slack = 0.5 / PULSE_FREQUENCY;
    burst.Pulses =
        PulsesBetween(d->Pulses, d->Rate, burst.Start - lag - slack, burst.End - lag + slack);
    FindDip(d, first, last, &burst);
    d->Found.push_back(burst);
    // A burst well above the noise starts (or continues) a run, where more are expected.
    if (s.BurstMax > d->Settings.EnterNoise * d->Floor.Level) s.RunSample = d->Sample;
    s.ExitSample = d->Sample;
    s.Valley = HistoryAt(d, d->Sample);
}

}  // namespace

void StartStrengthMeter(StrengthMeter* m, double rate, double window_seconds)
{
    *m = StrengthMeter{};
    const double periods = window_seconds * PULSE_FREQUENCY;
    m->Window = std::max(1, static_cast<int>(std::lround(periods * rate / PULSE_FREQUENCY)));
    m->RingI.assign(static_cast<size_t>(m->Window), 0.0);
    m->RingQ.assign(static_cast<size_t>(m->Window), 0.0);
    m->StepRe = std::cos(2 * PI * PULSE_FREQUENCY / rate);
    m->StepIm = std::sin(2 * PI * PULSE_FREQUENCY / rate);
}

double MeasureStrength(StrengthMeter* m, double y)
{
    const auto at = static_cast<size_t>(m->RingAt);
    const double i = y * m->PhasorRe;
    const double q = y * m->PhasorIm;
    m->SumI += i - m->RingI[at];
    m->SumQ += q - m->RingQ[at];
    m->RingI[at] = i;
    m->RingQ[at] = q;
    if (++m->RingAt == m->Window) m->RingAt = 0;
    const double re = m->PhasorRe * m->StepRe - m->PhasorIm * m->StepIm;
    m->PhasorIm = m->PhasorRe * m->StepIm + m->PhasorIm * m->StepRe;
    m->PhasorRe = re;
    if ((m->Fed++ & 1023) == 0) {  // keep the phasor on the unit circle
        const double length = std::hypot(m->PhasorRe, m->PhasorIm);
        m->PhasorRe /= length;
        m->PhasorIm /= length;
    }
    return std::sqrt(m->SumI * m->SumI + m->SumQ * m->SumQ) * (2.0 / m->Window);
}

void StartPulseCounter(PulseCounter* c, int kept)
{
    *c = PulseCounter{};
    c->Rises.assign(static_cast<size_t>(kept), -1);
}

void CountPulses(PulseCounter* c, double y, double band, int64_t sample)
{
    if (c->High ? y < -band : y > band) {
        c->High = !c->High;
        if (c->High) {
            c->Rises[static_cast<size_t>(c->RiseAt)] = sample;
            c->RiseAt = (c->RiseAt + 1) % static_cast<int>(c->Rises.size());
        }
    }
}

int PulsesBetween(const PulseCounter& c, double rate, double from, double to)
{
    int pulses = 0;
    for (const int64_t rise : c.Rises) {
        const double at = static_cast<double>(rise) / rate;
        pulses += rise >= 0 && at >= from && at <= to;
    }
    return pulses;
}

void StartNoiseFloor(NoiseFloor* f, double rate, const ReaderSettings& s)
{
    *f = NoiseFloor{};
    f->Follow = 1.0 / (s.FloorSeconds * rate);
    f->Creep = 1.0 / (s.FloorCreepSeconds * rate);
    f->Gate = s.FloorGate;
}

void WarmNoiseFloor(NoiseFloor* f, double strength, int64_t n)
{
    f->Level += (strength - f->Level) / static_cast<double>(n);  // their mean
}

void FollowNoiseFloor(NoiseFloor* f, double strength)
{
    f->Level += (strength < f->Gate * f->Level ? f->Follow : f->Creep) * (strength - f->Level);
}

bool BurstBegins(BurstState* b, const ReaderSettings& s, double strength, double floor,
                 int64_t sample, int64_t run)
{
    b->Valley = std::min(b->Valley, strength);
    const bool in_run = b->RunSample > 0 && sample - b->RunSample < run;
    const double above_noise = in_run ? s.EnterNoiseInRun : s.EnterNoise;
    if (!(strength > std::max({s.LeastLevel, above_noise * floor, s.RiseFromValley * b->Valley}))) {
        return false;
    }
    b->InBurst = true;
    b->EntrySample = sample;
    b->BurstMax = strength;
    return true;
}

bool BurstEnds(BurstState* b, const ReaderSettings& s, double strength, double floor)
{
    b->BurstMax = std::max(b->BurstMax, strength);
    const double leave = std::max(
        {s.LeastLevelLeave * s.LeastLevel, s.LeaveFraction * b->BurstMax, s.LeaveNoise * floor});
    return strength < leave;
}

void StartBurstDetector(BurstDetector* d, double rate, const ReaderSettings& settings)
{
    *d = BurstDetector{};
    d->Settings = settings;
    d->Rate = rate;
    d->HighPass = ButterworthSections(rate, settings.HighPassHz, settings.HighPassOrder, true);
    StartStrengthMeter(&d->Strength, rate, settings.StrengthWindowSeconds);
    StartPulseCounter(&d->Pulses, settings.RisesKept);
    StartNoiseFloor(&d->Floor, rate, settings);
    size_t history = 1;
    while (static_cast<double>(history) < settings.HistorySeconds * rate) history *= 2;
    d->History.assign(history, 0.0f);
    d->WarmUp = static_cast<int64_t>(settings.WarmUpSeconds * rate);
    d->Run = static_cast<int64_t>(settings.RunSeconds * rate);
}

void FeedBurstDetector(BurstDetector* d, const float* samples, int64_t count, int stride)
{
    for (int64_t n = 0; n < count; ++n) {
        const double x = samples[n * stride];
        const double y = RunSections(&d->HighPass, x);
        const double strength = MeasureStrength(&d->Strength, y);
        ++d->Sample;
        HistoryAt(d, d->Sample) = static_cast<float>(strength);
        if (d->TwoLevel) {
            CountPulses(&d->Pulses, x, 0.0, d->Sample);
        } else {
            CountPulses(&d->Pulses, y, d->Settings.PulseBand * strength, d->Sample);
        }
        if (d->Sample < d->WarmUp) {
            WarmNoiseFloor(&d->Floor, strength, d->Sample);
        } else if (!d->State.InBurst) {
            FollowNoiseFloor(&d->Floor, strength);
            BurstBegins(&d->State, d->Settings, strength, d->Floor.Level, d->Sample, d->Run);
        } else if (BurstEnds(&d->State, d->Settings, strength, d->Floor.Level)) {
            EndBurst(d);
        }
    }
}

void FinishBurstDetector(BurstDetector* d)
{
    // A recording that stops during a burst (right after the last pulse, say) is followed by a
    // moment of silence, so that the burst's strength falls and its end is placed as every
    // other burst's is: cut off where the samples stop, it would look shorter than it is.
    const std::vector<float> silence(static_cast<size_t>(2 * d->Strength.Window), 0.0f);
    if (d->State.InBurst) {
        FeedBurstDetector(d, silence.data(), static_cast<int64_t>(silence.size()), 1);
    }
    if (d->State.InBurst) EndBurst(d);
}
