#include "tape/tape.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "conversion.h"
#include "support/in_memory.h"
#include "support/tape_decoder.h"
#include "tape/signal.h"

namespace {

class TapeTest : public ::testing::Test {
protected:
    void SetUp() override { verbose = 0; }
    void TearDown() override
    {
        verbose = 1;
        ReleaseSampleBuffer();
        zxFileName.clear();
        targetFormat = TARGET_UNKNOWN;
    }
};

TEST_F(TapeTest, LongestSignalsFitTheirEstimatedBuffer)
{
    // The heaviest name (ZZZZZZZZ: 49 one bits) with images of only 1 bits or only 0 bits.
    zxFileName = "ZZZZZZZZ";
    targetFormat = TARGET_ZX81;
    for (const uint8_t fill : {uint8_t{0x00}, uint8_t{0xFF}}) {
        for (const int size : {0, 1, 255, 4096, 16384, 65543, 65544}) {
            SCOPED_TRACE(std::to_string(size) + " bytes of " + std::to_string(fill));
            ASSERT_TRUE(ConvertInMemory(std::vector<uint8_t>(static_cast<size_t>(size), fill)));
            EXPECT_FALSE(wavOverflow);
            EXPECT_LE(wavCounter, wavFileSize);
            // Thousands of bytes to spare: the estimate allows for a full name block.
            EXPECT_GT(wavFileSize - wavCounter, 1000);
        }
    }
}

TEST_F(TapeTest, LargestPossibleSignal)
{
    zxFileName = "ZZZZZZZZ";
    ASSERT_TRUE(ConvertInMemory(std::vector<uint8_t>(65544, 0xFF)));
    EXPECT_EQ(wavCounter, 46297096);
    EXPECT_EQ(wavFileSize, 46301139);
    EXPECT_FALSE(wavOverflow);
}

TEST_F(TapeTest, SampleCountsOfOneByteTapes)
{
    // The estimate ignores the name: both get the same buffer, 53733 bytes.
    struct Case {
        std::string Name;
        TargetFormat Target;
        int32_t Samples;
    };
    const Case cases[] = {
        {"A", TARGET_ZX81, 45115},
        {"ABCDEFGH", TARGET_ZX81, 48963},
        {"A", TARGET_UNKNOWN, 45115},
        {"A", TARGET_ZX80, 44542},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        zxFileName = c.Name;
        targetFormat = c.Target;
        ASSERT_TRUE(ConvertInMemory({0x00}));
        EXPECT_EQ(wavCounter, c.Samples);
        EXPECT_EQ(wavFileSize, 53733);
    }
}

TEST_F(TapeTest, EmptyZx80ImageIsLeadInAndLeadOut)
{
    targetFormat = TARGET_ZX80;
    ASSERT_TRUE(ConvertInMemory({}));
    EXPECT_EQ(wavCounter, 35281 + 8820);
    EXPECT_EQ(wavFileSize, 53292);
}

TEST_F(TapeTest, Zx81TapeIsNameBlockThenImage)
{
    zxFileName = "hi";
    const std::vector<uint8_t> image = {0x00, 0x12, 0x80, 0xFF};
    ASSERT_TRUE(ConvertInMemory(image));
    const DecodedTape tape = DecodeTape(wavFile.get(), static_cast<size_t>(wavCounter), 22050);
    EXPECT_EQ(tape.Error, "");
    EXPECT_EQ(tape.Bytes, (std::vector<uint8_t>{45, 46 | 0x80, 0x00, 0x12, 0x80, 0xFF}));
}

TEST_F(TapeTest, BadNameCharacterStopsTheTape)
{
    zxFileName = "MY GAME";
    std::vector<uint8_t> image = {1, 2};
    ASSERT_TRUE(AllocateSampleBuffer(100000));
    char bad = 0;
    EXPECT_FALSE(OutputTape(image.data(), 2, &bad));
    EXPECT_EQ(bad, ' ');
}

}  // namespace
