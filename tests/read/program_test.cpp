// Programs found in blocks of bits: the name and image of each, the machine, several programs in
// one block, what follows the last, where a block began mid-tape, and the bytes in doubt.
#include "read/program.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/images.h"

namespace {

// A block holding `bytes` as bits, every bit with margin `margin`, after `silence` seconds.
TapeBlock BlockOf(const std::vector<uint8_t>& bytes, double silence = 1.0, float margin = 0.9f)
{
    TapeBlock block;
    for (const uint8_t byte : bytes) {
        for (int k = 7; k >= 0; --k) {
            block.Times.push_back(static_cast<double>(block.Bits.size()) * 3e-3);
            block.Bits.push_back(static_cast<uint8_t>(byte >> k & 1));
            block.Margins.push_back(margin);
        }
    }
    block.Starts = {0};
    block.StartMargins = {0};
    block.SilenceBefore = silence;
    block.End = static_cast<double>(block.Bits.size()) * 3e-3;
    return block;
}

std::vector<uint8_t> Named(const std::vector<uint8_t>& name, const std::vector<uint8_t>& image)
{
    std::vector<uint8_t> bytes = name;
    bytes.back() |= 0x80;
    bytes.insert(bytes.end(), image.begin(), image.end());
    return bytes;
}

TEST(ProgramsInBlock, FindsEachProgramAndWhatFollows)
{
    const std::vector<uint8_t> zx81 = WellFormedZx81Image(4, 1);
    const std::vector<uint8_t> other = WellFormedZx81Image(2, 2);
    const std::vector<uint8_t> zx80 = WellFormedZx80Image(4, 3);
    const std::vector<uint8_t> name = {45, 42, 49, 49, 52};  // HELLO
    std::vector<uint8_t> two = Named(name, zx81);
    const std::vector<uint8_t> second = Named({38}, other);
    two.insert(two.end(), second.begin(), second.end());
    std::vector<uint8_t> trailing = Named(name, zx81);
    trailing.insert(trailing.end(), {1, 2, 3});
    const struct {
        const char* What;
        std::vector<uint8_t> Bytes;
        TargetFormat Machine;
        std::vector<size_t> Sizes;  // of the programs found
        size_t BytesAfter;
    } cases[] = {
        {"a ZX81 program", Named(name, zx81), TARGET_UNKNOWN, {zx81.size()}, 0},
        {"a ZX80 program", zx80, TARGET_UNKNOWN, {zx80.size()}, 0},
        {"a ZX80 program read as a ZX81 one", zx80, TARGET_ZX81, {}, 0},
        {"two programs", two, TARGET_UNKNOWN, {zx81.size(), other.size()}, 0},
        {"bytes after the end", trailing, TARGET_ZX81, {zx81.size()}, 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.What);
        const std::vector<TapeProgram> programs = ProgramsInBlock(BlockOf(c.Bytes), c.Machine);
        ASSERT_EQ(programs.size(), c.Sizes.size());
        for (size_t k = 0; k < programs.size(); ++k) {
            EXPECT_EQ(programs[k].Image.size(), c.Sizes[k]);
            EXPECT_TRUE(programs[k].Failed.empty());
        }
        if (!programs.empty()) {
            EXPECT_EQ(programs.back().BytesAfter, c.BytesAfter);
        }
    }
    const TapeProgram hello = ProgramsInBlock(BlockOf(Named(name, zx81)), TARGET_UNKNOWN)[0];
    EXPECT_EQ(hello.Kind, TARGET_ZX81);
    EXPECT_EQ(hello.Name, name);
    EXPECT_TRUE(hello.Image == zx81);
    EXPECT_TRUE(ProgramIsSound(hello));
}

TEST(ProgramsInBlock, MidTapeAndDoubt)
{
    const std::vector<uint8_t> bytes = Named({38}, WellFormedZx81Image(3, 4));
    // A block after less than a lead-in's silence did not start where a tape starts; the first
    // block of a recording, only if the recording began right before it.
    const struct {
        double Silence;
        bool First, Clear, MidTape;
    } cases[] = {{0.1, false, true, true},
                 {0.3, false, true, false},
                 {0.1, true, true, false},
                 {0.1, true, false, true},
                 {0.02, true, true, true}};
    for (const auto& c : cases) {
        TapeBlock block = BlockOf(bytes, c.Silence);
        block.FirstInRecording = c.First;
        block.ClearStart = c.Clear;
        const TapeProgram p = ProgramsInBlock(block, TARGET_ZX81)[0];
        EXPECT_EQ(p.MidTape, c.MidTape) << c.Silence << (c.First ? " first" : "");
        EXPECT_EQ(ProgramIsSound(p), !c.MidTape);
    }
    // A bit below the doubt margin puts its byte (and only it) in doubt.
    TapeBlock block = BlockOf(bytes);
    block.Margins[8 * 1 + 8 * 20 + 3] = DOUBT_MARGIN - 0.01f;  // image byte 20
    const TapeProgram p = ProgramsInBlock(block, TARGET_ZX81)[0];
    EXPECT_EQ(DoubtfulBytes(p), std::vector<size_t>{20});
    EXPECT_FALSE(NameIsDoubtful(p));
    EXPECT_FALSE(ProgramIsSound(p));
    EXPECT_FLOAT_EQ(WorstMargin(p), DOUBT_MARGIN - 0.01f);
    // A program that begins after a break in the block: the break is not counted against its
    // first bit, but the bit's own doubt (the readings disagreed on it) still is.
    TapeBlock after = BlockOf(Named({38}, {0x00}));
    const size_t start = after.Bits.size();
    for (const bool bit : BlockOf(bytes).Bits) {
        after.Times.push_back(static_cast<double>(after.Bits.size()) * 3e-3);
        after.Bits.push_back(bit);
        after.Margins.push_back(0.9f);
    }
    after.Starts = {0, start};
    after.StartMargins = {0, 0.9f};
    after.Margins[start] = 0;
    const TapeProgram second = ProgramsInBlock(after, TARGET_ZX81).back();
    EXPECT_EQ(second.Image, WellFormedZx81Image(3, 4));
    EXPECT_TRUE(NameIsDoubtful(second));
    // A click before the tape heard as a sure bit or two, with no break after it: the program
    // that passes its checks a bit or two later is the block's, its name in doubt.
    for (const size_t clicks : {1u, 2u}) {
        TapeBlock clicked = BlockOf(bytes);
        clicked.Bits.insert(clicked.Bits.begin(), clicks, 0);
        clicked.Margins.insert(clicked.Margins.begin(), clicks, 0.9f);
        clicked.Times.insert(clicked.Times.begin(), clicks, 0.0);
        const std::vector<TapeProgram> found = ProgramsInBlock(clicked, TARGET_ZX81);
        ASSERT_FALSE(found.empty());
        EXPECT_EQ(found[0].Image, WellFormedZx81Image(3, 4)) << clicks;
        EXPECT_TRUE(NameIsDoubtful(found[0]));
    }
}

}  // namespace
