#include "tape/estimate.h"

#include <cstdio>

#include "conversion.h"
#include "tape/signal.h"

double EstimateWavDuration(const uint8_t* file, int filesize)
{
    int count_1 = 0;
    for (int i = 0; i < filesize; ++i) {
        for (unsigned mask = 1; mask <= 0x80; mask <<= 1) {
            if ((file[i] & mask) != 0) ++count_1;
        }
    }
    int count_0 = 8 * filesize - count_1;
    if (verbose) printf("Input file has %d zero bits, %d one bits\n", count_0, count_1);

    // The name block holds at most 8 bytes of unknown bits: allow 64 of each kind.
    count_0 += 64;
    count_1 += 64;

    // Evaluated step by step in this order: the printed estimate depends on the rounding.
    double dur = Signal.ExtroDuration + Signal.IntroDuration;
    dur =
        (2.0 * Signal.HalfPulsDuration * Signal.PulsesZero + Signal.InterbitDelay) * count_0 + dur;
    dur = (2.0 * Signal.HalfPulsDuration * Signal.PulsesOne + Signal.InterbitDelay) * count_1 + dur;
    return dur;
}

int32_t SampleBufferSize(double maxdur)
{
    // The generator writes at most two samples more than sampleRate x the time it is asked
    // for, and the estimate exceeds that time by at least 0.1825 s (about 4000 samples).
    return static_cast<int32_t>(sampleRate * maxdur) + 20;
}
