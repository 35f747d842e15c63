#include "support/reference_generator.h"

#include "tape/signal.h"

void ReferenceOutputLevel(ReferenceSignal& signal, uint8_t level, double duration)
{
    if (signal.Counter == 0) signal.Time = 0.0;
    const double sample_t = static_cast<float>(1.0f / sampleRate);
    signal.Time += duration;
    while (signal.Counter * sample_t < signal.Time) {
        if (signal.Counter >= static_cast<int32_t>(signal.Samples.size())) {
            signal.Overflow = true;
            return;
        }
        signal.Samples[static_cast<size_t>(signal.Counter)] = level;
        ++signal.Counter;
    }
}

void ReferenceOutputByte(ReferenceSignal& signal, uint8_t byte)
{
    for (unsigned mask = 0x80; mask != 0; mask >>= 1) {
        ReferenceOutputLevel(signal, middleLevel, Signal.InterbitDelay);
        const int pulses = (byte & mask) != 0 ? Signal.PulsesOne : Signal.PulsesZero;
        for (int i = 0; i < pulses; ++i) {
            ReferenceOutputLevel(signal, pulseLevel, Signal.HalfPulsDuration);
            ReferenceOutputLevel(signal, pauseLevel, Signal.HalfPulsDuration);
        }
    }
}
