#include "image/detect.h"

namespace {

// Whether the image, which starts at address `offset`, holds an E_LINE (kept at address
// `sysvar_e_line`) that lies within the data and is preceded by the 0x80 end marker.
bool EndsAtELine(const uint8_t* file, int filesize, int offset, int sysvar_e_line)
{
    const int at = sysvar_e_line - offset;
    if (filesize < at + 2) return false;  // E_LINE itself was not loaded
    const int actual_e_line = file[at] + 256 * file[at + 1];
    const int end = actual_e_line - offset;  // bytes from the image start up to E_LINE
    if (end > filesize) return false;        // E_LINE lies beyond the data
    if (end < 1) return false;               // no byte before E_LINE in the image
    return file[end - 1] == 0x80;
}

}  // namespace

uint8_t DoesFileLookLikeZx81(const uint8_t* file, int filesize)
{
    return EndsAtELine(file, filesize, 0x4009, 0x4014) && file[0] == 0 ? 1 : 0;
}

uint8_t DoesFileLookLikeZx80(const uint8_t* file, int filesize)
{
    return EndsAtELine(file, filesize, 0x4000, 0x400A) ? 1 : 0;
}
