// Reads a tape signal back as a ZX81 or ZX80 hears it, knowing only the tape's pulse code, not
// the generator: a sample above the middle level (128) is "high"; a run of high samples is a
// pulse; a long silence separates bits; 4 pulses make a 0 bit and 9 a 1 bit; eight bits make a
// byte, most significant first.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct DecodedTape {
    std::string Error;  // empty when every pulse, bit and byte was well-formed
    std::vector<uint8_t> Bytes;
};

/// Decodes `count` samples taken at `sample_rate` samples per second.
DecodedTape DecodeTape(const uint8_t* samples, size_t count, uint32_t sample_rate);
