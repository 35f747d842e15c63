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

bool ConvertTapeInMemory(const std::vector<uint8_t>& image, TargetFormat target,
                         const std::string& name)
{
    const TargetFormat target_before = targetFormat;
    const std::string name_before = zxFileName;
    const uint8_t verbose_before = verbose;
    targetFormat = target;
    zxFileName = name;
    verbose = 0;
    const bool converted = ConvertInMemory(image);
    targetFormat = target_before;
    zxFileName = name_before;
    verbose = verbose_before;
    return converted;
}
