#include "read/run_detector.h"

#include <algorithm>
#include <cmath>

namespace {

// A burst's busy stretches as loud as this part of its loudest are the tape's; fainter ones at
// its edges are hiss before it, or a codec's echo of it, that the comparator heard as busy too.
constexpr double OWN_SWING = 0.5;

void EndRun(RunDetector* d)
{
    d->InBurst = false;
    double strength = 0;
    for (const BusyStretch& stretch : d->Stretches) strength = std::max(strength, stretch.Strength);
    auto own = [&](const BusyStretch& stretch) { return stretch.Strength >= OWN_SWING * strength; };
    const auto first = std::find_if(d->Stretches.begin(), d->Stretches.end(), own);
    const auto last = std::find_if(d->Stretches.rbegin(), d->Stretches.rend(), own);
    if (first == d->Stretches.end() || last->End - first->Start < d->Shortest) return;  // a spike
    Burst burst;
    burst.Start = static_cast<double>(first->Start) / d->Rate;
    burst.End = static_cast<double>(last->End) / d->Rate;
    burst.DipStart = burst.DipEnd = burst.End;
    burst.Strength = strength;
    burst.Pulses = -1;  // the machine times bursts: a smeared burst's count means nothing
    d->Found.push_back(burst);
}

}  // namespace

void StartRunDetector(RunDetector* d, double rate, const ReaderSettings& settings)
{
    *d = RunDetector{};
    d->Rate = rate;
    d->Bridge = std::max<int64_t>(1, std::llround(settings.RunBridgeSeconds * rate));
    d->Shortest = std::llround(settings.ShortestBurst * rate);
    d->Least = settings.LeastLevel;
}

void FeedRunDetector(RunDetector* d, const float* samples, int64_t count)
{
    for (int64_t n = 0; n < count; ++n, ++d->Sample) {
        // A comparator in silence switches on the faintest hiss: below the least level there is
        // no burst, as there is none for the machine.
        if (samples[n] >= d->Least) {
            if (!d->InBurst) {
                d->InBurst = true;
                d->Stretches.clear();
            }
            if (d->Stretches.empty() || d->Stretches.back().End < d->Sample) {
                d->Stretches.push_back(BusyStretch{d->Sample, d->Sample, 0});
            }
            BusyStretch& stretch = d->Stretches.back();
            stretch.End = d->Sample + 1;
            stretch.Strength = std::max(stretch.Strength, static_cast<double>(samples[n]));
        } else if (d->InBurst) {
            if (d->Sample - d->Stretches.back().End >= d->Bridge) {
                EndRun(d);
            } else {
                // The swing a stretch reached is the one it left until the next began: a tape's
                // first pulse, which swings both ways, has only half its swing while it lasts.
                BusyStretch& stretch = d->Stretches.back();
                stretch.Strength = std::max(stretch.Strength, -static_cast<double>(samples[n]));
            }
        }
    }
}

void FinishRunDetector(RunDetector* d)
{
    if (d->InBurst) EndRun(d);
}
