// What an image's own bytes say about it: its system variables, where E_LINE ends it, and the
// checks that tell a program from bytes that only look like one. Every part of the family that
// judges an image (the converter's detection, the reader, the lister, the page) asks here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "zx/machine.h"

/// The 16-bit little-endian word at memory `address` of an image of `machine` (`size` bytes from
/// `image`); -1 where the image does not hold both its bytes.
int ImageWord(const uint8_t* image, size_t size, TargetFormat machine, int address);
inline int ImageWord(const std::vector<uint8_t>& image, TargetFormat machine, int address)
{
    return ImageWord(image.data(), image.size(), machine, address);
}

/// The image's size as its E_LINE gives it: E_LINE's value less the image's start address. It may
/// be less than 1, or more than the image holds; -1 where the image does not hold E_LINE.
int ELineSize(const uint8_t* image, size_t size, TargetFormat machine);
inline int ELineSize(const std::vector<uint8_t>& image, TargetFormat machine)
{
    return ELineSize(image.data(), image.size(), machine);
}

/// The checks that stand in for the checksum a tape does not have.
enum ImageCheck {
    CHECK_VERSN,         // a ZX81 image starts with 0
    CHECK_POINTERS,      // the system variables' pointers are in order and inside the image
    CHECK_END_MARKER,    // 0x80 just before E_LINE
    CHECK_DISPLAY_FILE,  // a ZX81's display file: 24 lines (or 25), each ending in NEWLINE
    CHECK_BASIC_LINES,   // a chain of well-formed lines with rising numbers up to what follows
    CHECK_TRUNCATED,     // the tape ended before E_LINE
};
/// The check's name, as messages and reports give it.
const char* CheckName(ImageCheck check);

/// The checks an image of `machine` fails, in the order above; `expected_size` is the size its
/// E_LINE gave (more than the image holds where the tape ended early).
std::vector<ImageCheck> FailedChecks(TargetFormat machine, const std::vector<uint8_t>& image,
                                     size_t expected_size);
