// Checksums by which archive catalogues tell files apart: CRC-32 and SHA-1.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

/// The CRC-32 of `bytes` (the polynomial of zip and PNG), as 8 lower-case hex digits.
std::string Crc32Hex(const std::vector<uint8_t>& bytes);

/// The SHA-1 of `bytes`, as 40 lower-case hex digits.
std::string Sha1Hex(const std::vector<uint8_t>& bytes);
