// Programs found in blocks read from tape, the checks that stand in for the checksum a tape does
// not have, and the doubt that every bit's margin carries.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "image/image.h"
#include "image/slips.h"
#include "read/framer.h"
#include "zx/machine.h"

/// A bit whose margin is below this is doubtful, and so is its byte. Over the damage benchmark,
/// no byte of a program that passed its checks held a wrong bit with a margin above 0.29; the
/// rest is headroom, paid for by about one right reading in fifty put in doubt.
constexpr float DOUBT_MARGIN = 0.4f;
/// As many bytes after a program's end as the smallest program (a ZX80's system variables) may
/// hide one that could not be read: the program is then not to be trusted as all there was.
constexpr size_t HIDDEN_PROGRAM_BYTES = 40;

/// One reading a program was read from.
struct ProgramSource {
    int Recording = 0;  // which of the recordings read
    int Channel = 0;
    double Start = 0, End = 0;  // seconds into that recording
    // Its bytes where they line up with the program's image, -1 where it lacks a bit of one
    // (only when several readings were combined).
    std::vector<int> Image;
};

struct TapeProgram {
    TargetFormat Kind = TARGET_UNKNOWN;
    std::vector<uint8_t> Name;           // ZX81 character codes, the last one's bit 7 cleared
    std::vector<float> NameMargins;      // of the name's bits, 8 per character
    std::vector<uint8_t> Image;          // as a .p or .o file holds it
    std::vector<float> BitMargins;       // of the image's bits, 8 per byte, first bit first
    std::vector<double> ByteTimes;       // seconds: where each image byte starts on tape
    double Start = 0.0;                  // seconds: the program's first bit
    double End = 0.0;                    // seconds: the image's last bit
    bool MidTape = false;                // its block began without the silence a tape starts with
    size_t BytesAfter = 0;               // bytes after its end that held no program
    std::vector<ImageCheck> Failed;      // the checks it failed; empty when all passed
    std::vector<ProgramSource> Sources;  // the readings it was read from, one unless merged
    int Agreeing = 1;                    // of those, how many gave these very bytes
};

/// The programs a block holds, in order: as a ZX81 (name block, then the image from 0x4009) or a
/// ZX80 (the image from 0x4000), each ending at its own E_LINE; bytes after one start the next
/// where they hold one, and are counted in the one before where they do not. With
/// TARGET_UNKNOWN the machine whose reading fits the block and passes more checks is taken.
std::vector<TapeProgram> ProgramsInBlock(const TapeBlock& block, TargetFormat machine);

/// The least margin of the eight bits from `bits[8 * index]`.
float ByteMargin(const std::vector<float>& bits, size_t index);
/// The offsets of the image's doubtful bytes, in order.
std::vector<size_t> DoubtfulBytes(const TapeProgram& program);
/// Whether any character of the tape name is doubtful.
bool NameIsDoubtful(const TapeProgram& program);
/// The least margin of all the program's bits, name included.
float WorstMargin(const TapeProgram& program);
/// Whether the program can be trusted as read: every check passed, no byte or name character
/// is doubtful, it began where a tape begins, and no program may hide in bytes after it.
bool ProgramIsSound(const TapeProgram& program);

/// The repairs of one bit lost or gained on tape, near the program's doubtful bits, after which a
/// program that fails a check passes them all.
std::vector<BitSlip> ProgramSlips(const TapeProgram& program);

/// The ZX81 character for a code in a tape name, as ASCII: digits, letters and the punctuation
/// the character set has; '?' for codes it has none for.
char NameCharacter(uint8_t code);
