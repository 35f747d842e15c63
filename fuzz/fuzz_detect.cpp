// Format detection on arbitrary bytes: never reads outside the image, and answers 1 only for an
// image whose E_LINE lies within the data behind a 0x80 end marker.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "image/detect.h"

namespace {

void Require(bool condition)
{
    if (!condition) std::abort();
}

// The check the answer must agree with, written out once more for the fuzzer.
bool EndMarkerAtELine(const uint8_t* data, size_t size, size_t at, unsigned start)
{
    if (size < at + 2) return false;
    const unsigned e_line = data[at] | static_cast<unsigned>(data[at + 1] << 8);
    return e_line > start && e_line - start <= size && data[e_line - start - 1] == END_MARKER;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > 1 << 20) return 0;
    const int filesize = static_cast<int>(size);
    const uint8_t zx81 = DoesFileLookLikeZx81(data, filesize);
    const uint8_t zx80 = DoesFileLookLikeZx80(data, filesize);
    Require(zx81 <= 1 && zx80 <= 1);
    Require((zx81 == 1) ==
            (EndMarkerAtELine(data, size, ZX81_E_LINE - ZX81_IMAGE_START, ZX81_IMAGE_START) &&
             data[0] == 0));
    Require((zx80 == 1) ==
            EndMarkerAtELine(data, size, ZX80_E_LINE - ZX80_IMAGE_START, ZX80_IMAGE_START));
    Require(DetectTarget(data, filesize) == (zx81   ? TARGET_ZX81
                                             : zx80 ? TARGET_ZX80
                                                    : TARGET_UNKNOWN));
    return 0;
}
