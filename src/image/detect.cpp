#include "image/detect.h"

#include "image/image.h"

namespace {

// Whether the image of `machine` holds an E_LINE that lies within the data and is preceded by
// the 0x80 end marker.
bool EndsAtELine(const uint8_t* file, int filesize, TargetFormat machine)
{
    if (filesize < 0) return false;
    // -1: E_LINE itself was not loaded
    const int end = ELineSize(file, static_cast<size_t>(filesize), machine);
    if (end > filesize) return false;  // E_LINE lies beyond the data
    if (end < 1) return false;         // no byte before E_LINE in the image
    return file[end - 1] == END_MARKER;
}

}  // namespace

uint8_t DoesFileLookLikeZx81(const uint8_t* file, int filesize)
{
    return EndsAtELine(file, filesize, TARGET_ZX81) && file[ZX81_VERSN - ZX81_IMAGE_START] == 0 ? 1
                                                                                                : 0;
}

uint8_t DoesFileLookLikeZx80(const uint8_t* file, int filesize)
{
    return EndsAtELine(file, filesize, TARGET_ZX80) ? 1 : 0;
}

TargetFormat DetectTarget(const uint8_t* file, int filesize)
{
    if (DoesFileLookLikeZx81(file, filesize)) return TARGET_ZX81;
    if (DoesFileLookLikeZx80(file, filesize)) return TARGET_ZX80;
    return TARGET_UNKNOWN;
}
