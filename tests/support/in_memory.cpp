#include "support/in_memory.h"

#include "tape/estimate.h"
#include "tape/signal.h"
#include "tape/tape.h"

bool ConvertInMemory(const std::vector<uint8_t>& image)
{
    const int size = static_cast<int>(image.size());
    if (!AllocateSampleBuffer(SampleBufferSize(EstimateWavDuration(image.data(), size)))) {
        return false;
    }
    char bad = 0;
    return OutputTape(image.data(), size, &bad);
}
