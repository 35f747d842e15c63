#include "tape/signal.h"

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

void OutputLevel(uint8_t level, double duration)
{
    // A new signal starts its clock at 0.
    if (wavCounter == 0) wavWriteTime = 0.0;
    wavWriteTime += duration;
    while (wavCounter * SAMPLE_PERIOD < wavWriteTime) {
        if (wavCounter >= wavFileSize) {
            wavOverflow = true;
            return;
        }
        wavFile[static_cast<size_t>(wavCounter)] = level;
        ++wavCounter;
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
