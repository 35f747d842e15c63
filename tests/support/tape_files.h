// Tape files written for tests from the published layouts, without the program's own code: .p81
// records and TZX blocks.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

/// A tape name in ZX81 codes (digits and capital letters), the last with bit 7 set.
std::vector<uint8_t> ZxName(const std::string& name);

/// A .p81 record: the name, then the image.
std::vector<uint8_t> P81Record(const std::string& name, const std::vector<uint8_t>& image);

/// The TZX header, version 1.20.
std::vector<uint8_t> TzxHeader();

/// A TZX block: its ID, then its body.
std::vector<uint8_t> TzxBlock(uint8_t id, const std::vector<uint8_t>& body);

/// A generalized data block (0x19) in the machines' encoding, as archivists write it: no pilot,
/// two symbols of `zero_waves` and `one_waves` waves of 530/520 T-states and a gap of 4689,
/// `bytes` most significant bit first, then `pause_ms` of silence.
std::vector<uint8_t> TzxProgramBlock(const std::vector<uint8_t>& bytes, unsigned pause_ms,
                                     unsigned zero_waves = 4, unsigned one_waves = 9);

/// Appends a little-endian value of `size` bytes.
void PutLittle(std::vector<uint8_t>* bytes, uint64_t value, int size);
