// A bit lost or gained on tape: the repair found near the doubtful bit gives the program back.
#include "image/slips.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "image/image.h"
#include "support/images.h"

namespace {

// The image as a reader gets it when bit `at` is lost (`extra` false) or a bit is added there:
// its bits moved along, whole bytes only, as far as its E_LINE asks.
std::vector<uint8_t> Slipped(const std::vector<uint8_t>& image, size_t at, bool extra)
{
    std::vector<bool> bits;
    for (size_t k = 0; k < 8 * image.size(); ++k) {
        if (k == at && extra) bits.push_back(true);
        if (k != at || extra) bits.push_back((image[k / 8] << k % 8 & 0x80) != 0);
    }
    std::vector<uint8_t> read(std::min(bits.size() / 8, image.size()), 0);
    for (size_t k = 0; k < 8 * read.size(); ++k) {
        if (bits[k]) read[k / 8] |= static_cast<uint8_t>(0x80 >> k % 8);
    }
    return read;
}

TEST(Slips, TheRepairNearTheDoubtfulBitGivesTheProgramBack)
{
    const std::vector<uint8_t> image = WellFormedZx81Image(6, 11);
    const struct {
        size_t At;
        bool Extra;
        size_t Doubtful;    // where the reader's margin fell
        bool TurnDoubtful;  // the doubtful bit was read wrong as well
    } cases[] = {{1000, false, 1000, false},
                 {1500, false, 1499, true},
                 {1203, true, 1204, false},
                 {8 * 120 + 3, false, 8 * 120 + 2, false}};
    for (const auto& c : cases) {
        std::vector<uint8_t> read = Slipped(image, c.At, c.Extra);
        if (c.TurnDoubtful) read[c.Doubtful / 8] ^= static_cast<uint8_t>(0x80 >> c.Doubtful % 8);
        ASSERT_FALSE(FailedChecks(TARGET_ZX81, read, read.size()).empty()) << c.At;
        bool found = false;
        for (const BitSlip& slip : RepairingSlips(TARGET_ZX81, read, {c.Doubtful})) {
            found = found || RepairSlip(TARGET_ZX81, read, slip) == image;
        }
        EXPECT_TRUE(found) << c.At;
    }
    // A program whose checks pass needs no repair.
    EXPECT_TRUE(RepairingSlips(TARGET_ZX81, image, {1000}).empty());
}

}  // namespace
