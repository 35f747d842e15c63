// Little-endian numbers, as file formats (TZX, zip) store them, read from their bytes.
#pragma once

#include <cstdint>

inline unsigned Little16(const uint8_t* b) { return b[0] | unsigned{b[1]} << 8; }
inline unsigned Little24(const uint8_t* b) { return Little16(b) | unsigned{b[2]} << 16; }
inline uint32_t Little32(const uint8_t* b) { return Little24(b) | uint32_t{b[3]} << 24; }
