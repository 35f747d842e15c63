// What a person may choose for a doubtful byte, and what each choice makes of the program: the
// values its doubtful bits allow, each with the listed item that holds the byte and the checks
// the program then fails.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "image/image.h"
#include "image/slips.h"
#include "listing/text.h"

/// A value a doubtful byte may have, and what it makes of the program.
struct ByteChoice {
    uint8_t Value = 0;
    std::string Item;                // the line, variable or system variable holding the byte
    std::vector<ImageCheck> Failed;  // the checks the program fails with it; empty when all pass
};

/// The values a byte read as `value` may have: as read first, then every other way its doubtful
/// `bits` (7 the first on tape) can go, the first four of them at most, then any other value a
/// reading gave (`readings`, -1 where a reading lacks the byte).
std::vector<uint8_t> DoubtfulValues(uint8_t value, const std::vector<int>& bits,
                                    const std::vector<int>& readings);

/// Each of `values` put at `offset` of `image`, a program for `machine`, and what it makes of it.
std::vector<ByteChoice> ByteChoices(const std::vector<uint8_t>& image, TargetFormat machine,
                                    size_t offset, const std::vector<uint8_t>& values,
                                    TextStyle style);

/// A repair of a bit lost or gained, and what it makes of the program.
struct SlipChoice {
    BitSlip Slip;
    std::vector<uint8_t> Image;      // the program repaired
    std::string Item;                // the line, variable or system variable where the bit was
    std::vector<ImageCheck> Failed;  // the checks the repaired program fails
};

/// Each of `slips` applied to `image`, a program for `machine`, and what it makes of it.
std::vector<SlipChoice> SlipChoices(const std::vector<uint8_t>& image, TargetFormat machine,
                                    const std::vector<BitSlip>& slips, TextStyle style);

/// The item of `listing` that holds byte `offset`, as listed: a line with its number, a variable,
/// or a system variable with what its value means; empty for bytes no item shows (the display file,
/// say).
std::string ItemHolding(const Listing& listing, size_t offset, TextStyle style);
