#include "read/run_detector.h"

#include <algorithm>
#include <cmath>

namespace {

void EndRun(RunDetector* d)
{
    d->InBurst = false;
    if (d->LastBusy - d->BurstStart < d->Shortest) return;  // a spike, not a burst
    Burst burst;
    burst.Start = static_cast<double>(d->BurstStart) / d->Rate;
    burst.End = static_cast<double>(d->LastBusy) / d->Rate;
    burst.DipStart = burst.DipEnd = burst.End;
    burst.Strength = d->Strength;
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
                d->BurstStart = d->Sample;
                d->Strength = 0;
            }
            // A tape that begins after silence swings far wider than the hiss before it, which
            // the comparator heard as busy too: the burst begins where the swing became its own.
            if (samples[n] >= 2 * d->Strength) d->BurstStart = d->Sample;
            d->Strength = std::max(d->Strength, static_cast<double>(samples[n]));
            d->LastBusy = d->Sample + 1;
        } else if (d->InBurst && d->Sample - d->LastBusy >= d->Bridge) {
            EndRun(d);
        }
    }
}

void FinishRunDetector(RunDetector* d)
{
    if (d->InBurst) EndRun(d);
}
