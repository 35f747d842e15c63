// Recognises ZX81 and ZX80 program images from their system variables.
//
// An image holds the machine's memory from a fixed start address up to the system variable
// E_LINE, so E_LINE sits at a fixed place in it; the byte just before the address it holds ends
// the variables area and is 0x80.
#pragma once

#include <cstdint>

#include "zx/machine.h"

/// 1 if the image looks like a ZX81 program (memory from 0x4009): E_LINE (bytes 11-12) lies
/// within the data, the byte before it is 0x80, and byte 0 is 0. Otherwise 0. Reads nothing
/// outside the `filesize` bytes.
uint8_t DoesFileLookLikeZx81(const uint8_t* file, int filesize);
/// 1 if the image looks like a ZX80 program (memory from 0x4000): E_LINE (bytes 10-11) lies
/// within the data and the byte before it is 0x80. Otherwise 0. Reads nothing outside the
/// `filesize` bytes.
uint8_t DoesFileLookLikeZx80(const uint8_t* file, int filesize);
/// The machine the image is recognised as: the ZX81 test first, then the ZX80 test;
/// TARGET_UNKNOWN if neither accepts it.
TargetFormat DetectTarget(const uint8_t* file, int filesize);
