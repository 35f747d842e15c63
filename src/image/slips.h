// A bit lost or gained on tape: a dropout swallows a whole burst, a click adds one, and every
// byte after it is then wrong although few of its bits look doubtful. A repair puts the bit back
// (or takes it out) and moves every later bit along.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "zx/machine.h"

enum SlipChange {
    SLIP_INSERT_0,  // a 0 bit was lost here
    SLIP_INSERT_1,  // a 1 bit was lost here
    SLIP_REMOVE,    // this bit was never on the tape
};

/// No bit flipped with a repair.
constexpr size_t NO_FLIP = static_cast<size_t>(-1);

/// A repair at bit `Bit` of an image, bits counted from the first on tape (the most significant
/// of byte 0). The burst that a dropout cuts short is often read wrong too: `Flip` is a doubtful
/// bit of the image as read that the repair also turns the other way, or NO_FLIP.
struct BitSlip {
    size_t Bit = 0;
    SlipChange Change = SLIP_INSERT_0;
    size_t Flip = NO_FLIP;
};

/// The image of `machine` with the slip repaired: the bits from `slip.Bit` on moved one place later
/// (with the bit inserted) or earlier (with the bit removed). Its size is then the one its E_LINE
/// gives where that is within a byte of the bits there are (a lost bit cuts the last byte short
/// on tape: it is completed as the 0x80 end marker it must be), else the image's own.
std::vector<uint8_t> RepairSlip(TargetFormat machine, const std::vector<uint8_t>& image,
                                const BitSlip& slip);

/// The repairs at or next to any of the `doubtful` bits (with that bit as read, or turned the
/// other way) after which an image of `machine` that fails a check passes them all, in the order
/// of the bits; at most `most` repairs are tried.
std::vector<BitSlip> RepairingSlips(TargetFormat machine, const std::vector<uint8_t>& image,
                                    const std::vector<size_t>& doubtful, size_t most = 200);

/// What a repair does, in words: "a 0 bit inserted", "a 1 bit inserted", "the bit removed".
const char* SlipText(SlipChange change);
