// Program images made up for tests: the bytes a real machine would save, with random contents
// where a test does not care.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "zx/machine.h"

/// A ZX81 image of `size` bytes (at least 116, the system variables) that ends exactly at
/// E_LINE: byte 0 is 0, bytes 11-12 hold E_LINE and the last byte is the 0x80 end marker.
std::vector<uint8_t> Zx81Image(size_t size, uint32_t seed);
/// A ZX80 image of `size` bytes (at least 40, the system variables) that ends exactly at E_LINE:
/// bytes 10-11 hold E_LINE and the last byte is 0x80. Byte 0 is not 0, so the image is never
/// taken for a ZX81 one.
std::vector<uint8_t> Zx80Image(size_t size, uint32_t seed);
/// A 55-byte image that both tests accept: bytes 10-12 (55, 0x40, 0x40) give E_LINE 0x4037 to a
/// ZX80 and 0x4040 to a ZX81, and both put the end marker at byte 54.
std::vector<uint8_t> ImagePassingBothTests();
/// A ZX81 program image a machine could have saved: the system variables, `lines` BASIC lines
/// (numbers 10, 20, ...; REMs of random text), a collapsed display file and an empty variables
/// area, each pointer in place.
std::vector<uint8_t> WellFormedZx81Image(int lines, uint32_t seed);
/// The same for a ZX80: system variables, `lines` lines and an empty variables area.
std::vector<uint8_t> WellFormedZx80Image(int lines, uint32_t seed);
/// Writes `bytes` to `path`; false if that fails.
bool WriteFileBytes(const char* path, const std::vector<uint8_t>& bytes);
