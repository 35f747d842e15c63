// Settling a doubtful byte: the values it may have, and what each makes of the program.
#include "listing/choices.h"

#include <gtest/gtest.h>

#include <vector>

#include "support/images.h"

namespace {

TEST(Choices, ValuesAreTheWaysTheDoubtfulBitsCanGoThenTheReadings)
{
    struct Case {
        uint8_t Value;
        std::vector<int> Bits, Readings;
        std::vector<uint8_t> Values;
    };
    const Case cases[] = {
        {0x3F, {}, {}, {0x3F}},
        {0x3F, {0}, {}, {0x3F, 0x3E}},
        {0x3F, {7, 0}, {}, {0x3F, 0xBF, 0x3E, 0xBE}},
        {0x3F, {0}, {0x3F, -1, 0x7F, 0x3E}, {0x3F, 0x3E, 0x7F}},
        {0x00, {7, 6, 5, 4, 3, 2, 1, 0}, {}, {}},  // sixteen values: the first four bits only
    };
    for (const Case& c : cases) {
        const std::vector<uint8_t> values = DoubtfulValues(c.Value, c.Bits, c.Readings);
        if (c.Values.empty()) {
            EXPECT_EQ(values.size(), 16u);
            for (const uint8_t v : values) EXPECT_EQ(v & 0x0F, 0);
        } else {
            EXPECT_EQ(values, c.Values);
        }
    }
}

TEST(Choices, EachValueShowsItsLineAndTheChecksItFails)
{
    const std::vector<uint8_t> image = WellFormedZx81Image(2, 7);
    // The first line's number (its low byte, after the system variables) and E_LINE's low byte.
    const size_t line = 116 + 1, e_line = 11;
    const std::vector<ByteChoice> numbers =
        ByteChoices(image, TARGET_ZX81, line, {image[line], 0x63}, TEXT_ASCII);
    ASSERT_EQ(numbers.size(), 2u);
    EXPECT_EQ(numbers[0].Failed, std::vector<ImageCheck>{});
    EXPECT_EQ(numbers[1].Item.substr(0, 3), "99 ");
    EXPECT_EQ(numbers[1].Failed, std::vector<ImageCheck>{CHECK_BASIC_LINES});  // numbers not rising
    const std::vector<ByteChoice> ends =
        ByteChoices(image, TARGET_ZX81, e_line,
                    {image[e_line], static_cast<uint8_t>(image[e_line] + 1)}, TEXT_ASCII);
    EXPECT_EQ(ends[0].Failed, std::vector<ImageCheck>{});
    EXPECT_EQ(ends[1].Failed, std::vector<ImageCheck>{CHECK_TRUNCATED});
    EXPECT_EQ(ends[1].Item.substr(0, 7), "E_LINE ");
}

}  // namespace
