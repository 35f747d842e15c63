#include "tape/signal.h"

#include <cstring>
#include <new>

static_assert(SAMPLE_PERIOD == 6233059.0 / 137438953472.0,
              "the sample period is 1/22050 rounded to single precision");

std::unique_ptr<uint8_t[]> wavFile;
int32_t wavFileSize = 0;
int32_t wavCounter = 0;
double wavWriteTime = 0.0;
bool wavOverflow = false;

bool AllocateSampleBuffer(int32_t size)
{
    ReleaseSampleBuffer();
    if (size < 0) return false;
    // Not value-initialised: every sample is written before it is read.
    wavFile.reset(new (std::nothrow) uint8_t[static_cast<size_t>(size)]);
    if (!wavFile) return false;
    wavFileSize = size;
    wavCounter = 0;
    wavOverflow = false;
    return true;
}

void ReleaseSampleBuffer()
{
    wavFile.reset();
    wavFileSize = 0;
}

namespace {

// Samples per second as the reciprocal of the rounded period: turns a time into a sample index
// with one multiplication. Only an estimate; the exact comparison settles the index.
constexpr double SAMPLES_PER_SECOND = 1.0 / SAMPLE_PERIOD;

}  // namespace

void OutputLevel(uint8_t level, double duration)
{
    // A new signal starts its clock at 0.
    if (wavCounter == 0) wavWriteTime = 0.0;
    wavWriteTime += duration;

    // The run ends at the first sample whose instant is not before the time requested so far:
    // the smallest end >= wavCounter with end x SAMPLE_PERIOD >= wavWriteTime. Estimate it, then
    // correct the estimate with that exact comparison; one more than the buffer holds is enough
    // to know the run does not fit.
    const int64_t limit = static_cast<int64_t>(wavFileSize) + 1;
    const double estimate = wavWriteTime * SAMPLES_PER_SECOND;
    int64_t end = wavCounter;
    if (estimate > static_cast<double>(limit)) {
        end = limit;
    } else if (estimate > static_cast<double>(end)) {
        end = static_cast<int64_t>(estimate);
    }
    while (end < limit && static_cast<double>(end) * SAMPLE_PERIOD < wavWriteTime) ++end;
    while (end > wavCounter && static_cast<double>(end - 1) * SAMPLE_PERIOD >= wavWriteTime) --end;

    if (end > wavFileSize) {
        end = wavFileSize;
        wavOverflow = true;
    }
    if (end > wavCounter) {
        std::memset(wavFile.get() + wavCounter, level, static_cast<size_t>(end - wavCounter));
        wavCounter = static_cast<int32_t>(end);
    }
}

void OutputBit(uint8_t is_one)
{
    OutputLevel(middleLevel, Signal.InterbitDelay);
    const int pulses = is_one != 0 ? Signal.PulsesOne : Signal.PulsesZero;
    for (int i = 0; i < pulses; ++i) {
        OutputLevel(pulseLevel, Signal.HalfPulsDuration);
        OutputLevel(pauseLevel, Signal.HalfPulsDuration);
    }
}

void OutputByte(uint8_t the_byte)
{
    for (unsigned mask = 0x80; mask != 0; mask >>= 1) {
        OutputBit(static_cast<uint8_t>(the_byte & mask));
    }
}
