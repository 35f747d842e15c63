#include "tape/name_block.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "conversion.h"
#include "support/tape_decoder.h"
#include "tape/signal.h"

namespace {

TEST(ConvertAsciiToZxCode, CodesOfDigitsAndLettersInEitherCase)
{
    struct Case {
        int Ascii;
        int Code;
    };
    const Case cases[] = {{'0', 28}, {'9', 37}, {'A', 38}, {'a', 38}, {'Z', 63}, {'z', 63}};
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<char>(c.Ascii));
        uint8_t err = 0;
        EXPECT_EQ(ConvertAsciiToZxCode(c.Ascii, &err), c.Code);
        EXPECT_EQ(err, 0);
    }
}

TEST(ConvertAsciiToZxCode, CharactersWithoutCodeSetBitZeroOfTheFlag)
{
    for (const int ascii : {int{'.'}, int{' '}, int{'-'}, 0, 127, 0xC4, 255, -1, 256}) {
        SCOPED_TRACE(ascii);
        uint8_t err = 0x04;  // other bits are left alone
        EXPECT_EQ(ConvertAsciiToZxCode(ascii, &err), 0);
        EXPECT_EQ(err, 0x05);
        EXPECT_EQ(ConvertAsciiToZxCode(ascii, nullptr), 0);
    }
}

class NameBlockTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(AllocateSampleBuffer(100000)); }
    void TearDown() override
    {
        ReleaseSampleBuffer();
        zxFileName.clear();
    }

    // Emits the block for `name` and returns the bytes a loader reads from it.
    std::vector<uint8_t> Block(const std::string& name, bool* ok, char* bad_char)
    {
        zxFileName = name;
        wavCounter = 0;
        *ok = OutputNameBlock(bad_char);
        const DecodedTape tape = DecodeTape(wavFile.get(), static_cast<size_t>(wavCounter), 22050);
        EXPECT_EQ(tape.Error, "");
        return tape.Bytes;
    }
};

TEST_F(NameBlockTest, LastCharacterCarriesBitSeven)
{
    struct Case {
        std::string Name;
        std::vector<uint8_t> Bytes;
    };
    const Case cases[] = {
        {"A", {166}},
        {"AB", {38, 167}},
        {"game1", {44, 38, 50, 42, 157}},
        {"GAME1", {44, 38, 50, 42, 157}},
        {"ABCDEFGH", {38, 39, 40, 41, 42, 43, 44, 45 | 0x80}},
        {"ZZZZZZZZ", {63, 63, 63, 63, 63, 63, 63, 63 | 0x80}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        bool ok = false;
        char bad = 0;
        EXPECT_EQ(Block(c.Name, &ok, &bad), c.Bytes);
        EXPECT_TRUE(ok);
    }
}

TEST_F(NameBlockTest, NeverMoreThanEightCharacters)
{
    bool ok = false;
    char bad = 0;
    EXPECT_EQ(Block("ABCDEFGHIJ", &ok, &bad),
              (std::vector<uint8_t>{38, 39, 40, 41, 42, 43, 44, 45 | 0x80}));
    EXPECT_TRUE(ok);
    // A character past the eighth is never looked at, even one without a code.
    EXPECT_EQ(Block(std::string("ABCDEFGH-"), &ok, &bad).size(), 8u);
    EXPECT_TRUE(ok);
}

TEST_F(NameBlockTest, RejectedAtTheFirstCharacterWithoutCode)
{
    struct Case {
        std::string Name;
        char Bad;
        std::vector<uint8_t> EmittedBefore;
    };
    const Case cases[] = {
        {"MY GAME", ' ', {50, 62}}, {"1-2", '-', {29}}, {"X.TAR", '.', {61}}, {".P", '.', {}},
        {"\xC4PFEL", '\xC4', {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        bool ok = true;
        char bad = 0;
        EXPECT_EQ(Block(c.Name, &ok, &bad), c.EmittedBefore);
        EXPECT_FALSE(ok);
        EXPECT_EQ(bad, c.Bad);
    }
}

}  // namespace
