// What an image's bytes say: its words, where E_LINE ends it, and each check catching its fault.
#include "image/image.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "support/images.h"

namespace {

TEST(Image, WordsAndELineOnlyWhereTheImageHoldsThem)
{
    const std::vector<uint8_t> zx81 = WellFormedZx81Image(3, 1);
    EXPECT_EQ(ELineSize(zx81, TARGET_ZX81), static_cast<int>(zx81.size()));
    EXPECT_EQ(ImageWord(zx81, TARGET_ZX81, ZX81_VARS), 0x4009 + static_cast<int>(zx81.size()) - 1);
    const std::vector<uint8_t> zx80 = WellFormedZx80Image(3, 2);
    EXPECT_EQ(ELineSize(zx80, TARGET_ZX80), static_cast<int>(zx80.size()));
    // E_LINE is bytes 11-12 of a ZX81 image: 12 bytes do not hold it, 13 do.
    EXPECT_EQ(ELineSize(zx81.data(), 12, TARGET_ZX81), -1);
    EXPECT_EQ(ELineSize(zx81.data(), 13, TARGET_ZX81), static_cast<int>(zx81.size()));
    EXPECT_EQ(ImageWord(zx81, TARGET_ZX81, 0x4008), -1);  // before the image
}

TEST(FailedChecks, EachCheckCatchesItsFault)
{
    const std::vector<uint8_t> zx81 = WellFormedZx81Image(6, 7);
    const std::vector<uint8_t> zx80 = WellFormedZx80Image(6, 8);
    const auto d_file = static_cast<size_t>(zx81[3] | zx81[4] << 8);  // address of the display file
    struct Case {
        std::string Fault;
        TargetFormat Kind;
        std::function<void(std::vector<uint8_t>&)> Spoil;
        ImageCheck Failed;
    };
    const Case cases[] = {
        {"VERSN not 0", TARGET_ZX81, [](auto& i) { i[0] = 1; }, CHECK_VERSN},
        {"D_FILE past VARS", TARGET_ZX81, [](auto& i) { i[4] = 0x7F; }, CHECK_POINTERS},
        {"ZX80 VARS before the program", TARGET_ZX80, [](auto& i) { i[9] = 0x3F; }, CHECK_POINTERS},
        {"no end marker", TARGET_ZX81, [](auto& i) { i.back() = 0x7F; }, CHECK_END_MARKER},
        {"ZX80 no end marker", TARGET_ZX80, [](auto& i) { i.back() = 0x00; }, CHECK_END_MARKER},
        {"a display line too long", TARGET_ZX81, [&](auto& i) { i[d_file - 0x4009 + 3] = 0; },
         CHECK_DISPLAY_FILE},
        {"line numbers falling", TARGET_ZX81, [](auto& i) { i[116 + 1] = 0xFF; },
         CHECK_BASIC_LINES},
        {"ZX80 line numbers falling", TARGET_ZX80, [](auto& i) { i[40 + 1] = 0xFF; },
         CHECK_BASIC_LINES},
        {"tape ends early", TARGET_ZX81, [](auto& i) { i.pop_back(); }, CHECK_TRUNCATED},
        {"two lines with one number", TARGET_ZX81,
         [](auto& i) {
             const size_t second = 116 + 4 + static_cast<size_t>(i[118] | i[119] << 8);
             i[second + 1] = i[117];
         },
         CHECK_BASIC_LINES},
        {"VARS at E_LINE", TARGET_ZX81,
         [](auto& i) {
             const size_t end = 0x4009 + i.size();
             i[7] = static_cast<uint8_t>(end & 0xFF);
             i[8] = static_cast<uint8_t>(end >> 8);
         },
         CHECK_POINTERS},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Fault);
        std::vector<uint8_t> image = c.Kind == TARGET_ZX81 ? zx81 : zx80;
        EXPECT_TRUE(FailedChecks(c.Kind, image, image.size()).empty());
        const size_t size = image.size();
        c.Spoil(image);
        const std::vector<ImageCheck> failed = FailedChecks(c.Kind, image, size);
        EXPECT_NE(std::find(failed.begin(), failed.end(), c.Failed), failed.end());
    }
}

// `count` bytes of `value` put into a ZX81 image's display file just after its first NEWLINE,
// VARS and E_LINE moved on.
std::vector<uint8_t> WithDisplayBytes(std::vector<uint8_t> image, size_t count, uint8_t value)
{
    const auto d_file = static_cast<size_t>(image[3] | image[4] << 8) - 0x4009;
    image.insert(image.begin() + static_cast<long>(d_file + 1), count, value);
    for (const size_t at : {7u, 11u}) {
        const size_t moved = (image[at] | image[at + 1] << 8) + count;
        image[at] = static_cast<uint8_t>(moved & 0xFF);
        image[at + 1] = static_cast<uint8_t>(moved >> 8);
    }
    return image;
}

void PutWordAt(std::vector<uint8_t>& image, size_t at, int value)
{
    image[at] = static_cast<uint8_t>(value & 0xFF);
    image[at + 1] = static_cast<uint8_t>(value >> 8);
}

TEST(FailedChecks, EachLimitHoldsExactly)
{
    // Each case is just inside a limit, then just beyond it.
    const std::vector<uint8_t> zx81 = WellFormedZx81Image(6, 7);
    const int d_file = zx81[3] | zx81[4] << 8;
    std::vector<uint8_t> one_line = WellFormedZx81Image(1, 3);
    const struct {
        const char* What;
        std::vector<uint8_t> Inside, Beyond;
        ImageCheck Failed;
    } cases[] = {
        {"a display line of 32 characters, then 33", WithDisplayBytes(zx81, 32, 0),
         WithDisplayBytes(zx81, 33, 0), CHECK_DISPLAY_FILE},
        {"25 display lines, then 26", WithDisplayBytes(zx81, 1, NEWLINE),
         WithDisplayBytes(zx81, 2, NEWLINE), CHECK_DISPLAY_FILE},
        {"line 16383, then 16384",
         [&] {
             auto i = one_line;
             i[116] = 0x3F, i[117] = 0xFF;
             return i;
         }(),
         [&] {
             auto i = one_line;
             i[116] = 0x40, i[117] = 0x00;
             return i;
         }(),
         CHECK_BASIC_LINES},
        {"DF_CC at D_FILE, then before it",
         [&] {
             auto i = zx81;
             PutWordAt(i, 5, d_file);
             return i;
         }(),
         [&] {
             auto i = zx81;
             PutWordAt(i, 5, d_file - 1);
             return i;
         }(),
         CHECK_POINTERS},
        {"D_FILE at the program's end, then inside the system variables", zx81,
         [&] {
             auto i = zx81;
             PutWordAt(i, 3, 0x407C);
             return i;
         }(),
         CHECK_POINTERS},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.What);
        EXPECT_EQ(FailedChecks(TARGET_ZX81, c.Inside, c.Inside.size()), std::vector<ImageCheck>{});
        const std::vector<ImageCheck> failed = FailedChecks(TARGET_ZX81, c.Beyond, c.Beyond.size());
        EXPECT_NE(std::find(failed.begin(), failed.end(), c.Failed), failed.end());
    }
    // An image that reaches beyond where its E_LINE says it ends.
    const std::vector<ImageCheck> longer = FailedChecks(TARGET_ZX81, zx81, zx81.size() - 1);
    EXPECT_NE(std::find(longer.begin(), longer.end(), CHECK_POINTERS), longer.end());
}

}  // namespace
