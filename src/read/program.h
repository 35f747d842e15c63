// Programs found in blocks read from tape, and the checks that stand in for the checksum a tape
// does not have.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "read/pulse_detector.h"
#include "zx/machine.h"

struct TapeProgram {
    TargetFormat Kind = TARGET_UNKNOWN;
    std::vector<uint8_t> Name;        // ZX81 character codes, the last one's bit 7 cleared
    std::vector<uint8_t> Image;       // as a .p or .o file holds it
    double Start = 0.0;               // seconds: the block's first bit
    double End = 0.0;                 // seconds: the image's last bit
    float Margin = 1.0f;              // the worst of its bits (see BitMargin)
    std::vector<std::string> Failed;  // the checks it failed; empty when all passed
};

/// The program a block holds, as a ZX81 (name block, then the image from 0x4009) or a ZX80 (the
/// image from 0x4000), each ending at its own E_LINE. With TARGET_UNKNOWN the machine whose reading
/// fits the block and passes more checks is taken. False if the block holds no program at all.
bool ProgramInBlock(const TapeBlock& block, TargetFormat machine, TapeProgram* program);

/// The checks an image of the given machine fails: "VERSN" (a ZX81 image starts with 0),
/// "pointers" (the system variables' pointers in order and inside the image), "end marker" (0x80
/// just before E_LINE), "display file" (a ZX81's 25 lines, each ending in 0x76), "BASIC lines" (a
/// chain of well-formed lines with rising numbers up to the variables), and "truncated" (the tape
/// ended before E_LINE).
std::vector<std::string> FailedChecks(TargetFormat machine, const std::vector<uint8_t>& image,
                                      size_t expected_size);

/// The ZX81 character for a code in a tape name, as ASCII: digits, letters and the punctuation
/// the character set has; '?' for codes it has none for.
char NameCharacter(uint8_t code);
