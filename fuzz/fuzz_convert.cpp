// The whole conversion in memory: image bytes, the estimate, the sized buffer and the signal.
// The signal always fits its buffer, and a tape is refused only for a tape-name character
// without a ZX81 code.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "conversion.h"
#include "image/detect.h"
#include "tape/estimate.h"
#include "tape/name_block.h"
#include "tape/signal.h"
#include "tape/tape.h"

namespace {

void Require(bool condition)
{
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // First byte: the target (bits 0-1) and the tape name's length (bits 4-7, up to 15 bytes,
    // which follow). The rest is the image.
    if (size == 0) return 0;
    verbose = 0;
    const size_t name_length = data[0] >> 4;
    if (size < 1 + name_length) return 0;
    const uint8_t* image = data + 1 + name_length;
    const size_t image_size = size - 1 - name_length;
    if (image_size > MAX_P_FILE_SIZE) return 0;  // the program refuses such files
    const int pfile_size = static_cast<int>(image_size);

    targetFormat = static_cast<TargetFormat>(data[0] & 3);
    if (targetFormat == TARGET_UNKNOWN) targetFormat = DetectTarget(image, pfile_size);
    zxFileName.assign(reinterpret_cast<const char*>(data + 1), name_length);
    if (zxFileName.empty()) zxFileName = "A";

    Require(AllocateSampleBuffer(SampleBufferSize(EstimateWavDuration(image, pfile_size))));
    char bad_char = 0;
    const bool made = OutputTape(image, pfile_size, &bad_char);
    Require(!wavOverflow && wavCounter <= wavFileSize);
    if (made) {
        // Lead-in and lead-out at least, and at most the longest bit for every byte on tape.
        const int64_t bytes_on_tape = pfile_size + (targetFormat == TARGET_ZX80 ? 0 : 8);
        Require(wavCounter >= 35281 + 8820);
        Require(wavCounter <= 35281 + 8820 + 2 + bytes_on_tape * 8 * 89);
    } else {
        Require(targetFormat != TARGET_ZX80);
        uint8_t err = 0;
        ConvertAsciiToZxCode(static_cast<unsigned char>(bad_char), &err);
        Require(err == 1);
    }
    ReleaseSampleBuffer();
    return 0;
}
