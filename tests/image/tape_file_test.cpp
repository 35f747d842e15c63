// Tape files read into parts: .p81 records and TZX blocks, written here from the published
// layouts, each program found with its name and every other sound with its own timing.
#include "image/tape_file.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/images.h"
#include "support/tape_files.h"

namespace {

std::vector<uint8_t> Joined(std::initializer_list<std::vector<uint8_t>> pieces)
{
    std::vector<uint8_t> joined;
    for (const std::vector<uint8_t>& piece : pieces)
        joined.insert(joined.end(), piece.begin(), piece.end());
    return joined;
}

std::vector<uint8_t> Body(std::initializer_list<std::pair<uint64_t, int>> fields)
{
    std::vector<uint8_t> body;
    for (const auto& [value, size] : fields) PutLittle(&body, value, size);
    return body;
}

double Seconds(const TapePart& part)
{
    double seconds = part.Seconds;
    for (const TapeLevel& level : part.Levels) seconds += static_cast<double>(level.Seconds);
    return seconds;
}

TEST(TapeFile, P81RecordsBecomeProgramsWithTheirNamesAndPausesBetween)
{
    const std::vector<uint8_t> first = WellFormedZx81Image(3, 1);
    const std::vector<uint8_t> second = WellFormedZx81Image(5, 2);
    // A few bytes of garbage after the last record are ignored.
    const std::vector<uint8_t> file =
        Joined({P81Record("LUNAR", first), P81Record("B2", second), {1, 2, 3}});
    TapeFile tape;
    ASSERT_TRUE(ReadP81(file.data(), file.size(), true, &tape)) << tape.Error;
    ASSERT_EQ(tape.Parts.size(), 3u);
    EXPECT_EQ(PartName(tape.Parts[0]), "LUNAR");
    EXPECT_EQ(PartImage(tape.Parts[0]), first);
    EXPECT_EQ(tape.Parts[1].Kind, PART_PAUSE);
    EXPECT_EQ(tape.Parts[1].Seconds, P81_PAUSE_SECONDS);
    EXPECT_EQ(PartName(tape.Parts[2]), "B2");
    EXPECT_EQ(tape.Parts[2].Offset, 5 + first.size());
    EXPECT_EQ(tape.Parts[2].Bytes, P81Record("B2", second));
    EXPECT_EQ(ProgramCount(tape), 2u);
}

std::vector<uint8_t> Cut(std::vector<uint8_t> bytes, size_t less)
{
    bytes.resize(bytes.size() - less);
    return bytes;
}

TEST(TapeFile, BadFilesSayWhyAndWhere)
{
    const std::vector<uint8_t> image = WellFormedZx81Image(2, 3);
    const std::vector<uint8_t> header = TzxHeader();
    const std::string second = std::to_string(1 + image.size());
    const std::string at_10 = "TZX block 1 (ID 0x";
    const struct {
        bool Tzx;
        std::vector<uint8_t> File;
        std::string Error;
    } cases[] = {
        {false, std::vector<uint8_t>(200, 0),
         "the .p81 record at offset 0 does not parse: no name ends within 127 bytes"},
        {false, {}, "holds no program"},
        {false, Joined({P81Record("A", image), Cut(P81Record("B", image), 20)}),
         "the .p81 record at offset " + second +
             " does not parse: its E_LINE lies beyond the "
             "file's end"},
        {false, Cut(P81Record("A", image), image.size() - 5),
         "the .p81 record at offset 0 does not parse: the file ends before the image's E_LINE"},
        {true, Cut(header, 1), "the TZX header is cut short"},
        {true, Cut(P81Record("A", image), 0), "not a TZX file: it does not start with \"ZXTape!\""},
        {true,
         {'Z', 'X', 'T', 'a', 'p', 'e', '!', 0x1A, 2, 0},
         "TZX version 2.0, which this program cannot read"},
        {true, Cut(Joined({header, TzxProgramBlock(P81Record("A", image), 0)}), 1),
         at_10 + "19) at offset 10 is cut short by the end of the file"},
        {true,
         Joined({header, TzxBlock(0x18, Body({{10, 4}, {0, 2}, {44100, 3}, {2, 1}, {0, 4}}))}),
         at_10 + "18) at offset 10 cannot be read: its CSW data is compressed (Z-RLE), which "
                 "this program does not unpack"},
        {true,
         Joined({header, TzxBlock(0x19, Body({{14, 4}, {0, 2}, {0, 4}, {0, 2}, {1, 4}, {1, 2}}))}),
         at_10 +
             "19) at offset 10 cannot be read: its symbol tables and streams overrun the block"},
        {true,
         Joined({header, TzxBlock(0x24, Body({{65535, 2}})),
                 TzxBlock(0x12, Body({{65535, 2}, {65535, 2}})), TzxBlock(0x25, {})}),
         "TZX block 2 (ID 0x12) at offset 13 cannot be read: makes the tape longer than 4 hours"},
    };
    for (const auto& c : cases) {
        TapeFile tape;
        const bool read = c.Tzx ? ReadTzx(c.File.data(), c.File.size(), &tape)
                                : ReadP81(c.File.data(), c.File.size(), false, &tape);
        EXPECT_FALSE(read) << c.Error;
        EXPECT_EQ(tape.Error, c.Error);
    }
}

TEST(TapeFile, KindIsFoundByContentThenByExtension)
{
    const std::vector<uint8_t> image = WellFormedZx81Image(2, 4);
    const std::vector<uint8_t> records = Joined({P81Record("A", image), P81Record("B", image)});
    const std::vector<uint8_t> tzx = TzxHeader();
    const struct {
        std::string Path;
        std::vector<uint8_t> File;
        TapeFileKind Kind;
    } cases[] = {
        {"game.p", image, TAPE_FILE_NONE},
        {"game.81", image, TAPE_FILE_NONE},
        {"game.P81", image, TAPE_FILE_P81},
        {"dir.p81/game.p", records, TAPE_FILE_P81},
        {"game.bin", records, TAPE_FILE_P81},
        {"game.p", tzx, TAPE_FILE_TZX},
        {"game.TZX", image, TAPE_FILE_TZX},
        {"game.t81", records, TAPE_FILE_T81},
        {"game.bin", {1, 2, 3}, TAPE_FILE_NONE},
        {"game.o", WellFormedZx80Image(2, 5), TAPE_FILE_NONE},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(TapeFileKindOf(c.Path, c.File.data(), c.File.size()), c.Kind) << c.Path;
    }
}

TEST(TapeFile, ProgramsInTzxAreFoundWhateverTheirSymbolsWavesAndMachine)
{
    const std::vector<uint8_t> zx81 = P81Record("HELLO", WellFormedZx81Image(3, 6));
    const std::vector<uint8_t> zx80 = WellFormedZx80Image(3, 7);
    std::vector<uint8_t> inverted = zx80;  // symbol 0 is the long run: stream bits are inverted
    for (uint8_t& byte : inverted) byte = static_cast<uint8_t>(~byte);
    const std::vector<uint8_t> noise = {0x12, 0x34, 0x56};
    // No pilot, 8 and 3 waves for a 0 and a 1 (symbols swapped): still the machines' encoding.
    const std::vector<uint8_t> file =
        Joined({TzxHeader(), TzxBlock(0x30, {2, 'h', 'i'}), TzxProgramBlock(zx81, 1000),
                TzxProgramBlock(inverted, 0, 8, 3), TzxProgramBlock(noise, 0, 5, 6),
                TzxProgramBlock(noise, 0, 2, 9)});
    TapeFile tape;
    ASSERT_TRUE(ReadTzx(file.data(), file.size(), &tape)) << tape.Error;
    ASSERT_EQ(tape.Parts.size(), 5u);
    EXPECT_EQ(tape.Parts[0].Machine, TARGET_ZX81);
    EXPECT_EQ(PartName(tape.Parts[0]), "HELLO");
    EXPECT_EQ(tape.Parts[0].Bytes, zx81);
    EXPECT_EQ(tape.Parts[0].Block, 2);
    EXPECT_EQ(tape.Parts[1].Kind, PART_PAUSE);  // 1 s after the first program
    EXPECT_DOUBLE_EQ(tape.Parts[1].Seconds, 1.0);
    EXPECT_EQ(tape.Parts[2].Machine, TARGET_ZX80);
    EXPECT_EQ(tape.Parts[2].Bytes, zx80);
    EXPECT_EQ(tape.Parts[3].Kind, PART_PROGRAM);  // played in the encoding, but no program
    EXPECT_EQ(tape.Parts[3].Machine, TARGET_UNKNOWN);
    EXPECT_EQ(tape.Parts[3].BitCount, 24u);
    EXPECT_EQ(tape.Parts[4].Kind, PART_SOUND);  // 2 waves are no bit of the encoding
    EXPECT_EQ(ProgramCount(tape), 2u);
}

TEST(TapeFile, OtherBlocksPlayForTheirOwnTime)
{
    constexpr double T = 1 / 3500000.0;
    // The format's own example of a generalized data block: a Spectrum header with its pilot.
    const std::vector<uint8_t> header_data = {0x00, 0x03, 0x4A, 0x50, 0x53, 0x50, 0x20,
                                              0x20, 0x20, 0x20, 0x20, 0x20, 0x00, 0x1B,
                                              0x00, 0x40, 0x00, 0x80, 0xC1};
    std::vector<uint8_t> general =
        Body({{1000, 2}, {2, 4}, {2, 1},   {2, 1},   {152, 4}, {2, 1},    {2, 1},    {0, 1},
              {2168, 2}, {0, 2}, {0, 1},   {667, 2}, {735, 2}, {0, 1},    {8063, 2}, {1, 1},
              {1, 2},    {0, 1}, {855, 2}, {855, 2}, {0, 1},   {1710, 2}, {1710, 2}});
    general.insert(general.end(), header_data.begin(), header_data.end());
    std::vector<uint8_t> general_block = Body({{general.size(), 4}});
    general_block.insert(general_block.end(), general.begin(), general.end());
    int ones = 0;
    for (const uint8_t byte : header_data) ones += __builtin_popcount(byte);
    const double data_seconds = (2 * 855 * (152 - ones) + 2 * 1710 * ones) * T;
    const struct {
        std::vector<uint8_t> Block;
        double Seconds;  // of sound and silence
        size_t Levels;
    } cases[] = {
        {TzxBlock(0x12, Body({{2168, 2}, {10, 2}})), 10 * 2168 * T, 10},
        {TzxBlock(0x13, Body({{3, 1}, {100, 2}, {200, 2}, {300, 2}})), 600 * T, 3},
        {TzxBlock(0x20, Body({{1500, 2}})), 1.5, 0},
        {TzxBlock(0x20, Body({{0, 2}})), STOP_PAUSE_SECONDS, 0},
        // 12 samples of 79 T: 1111 0000 then 1010, then 1 ms at the last level and 9 ms of pause
        {TzxBlock(0x15, Body({{79, 2}, {10, 2}, {4, 1}, {2, 3}, {0xF0, 1}, {0xA0, 1}})),
         12 * 79 * T + 0.010, 6},
        {TzxBlock(0x19, general_block), (8063 * 2168 + 667 + 735) * T + data_seconds + 1.0,
         8063 + 2 + 2 * 152 + 1},
        {Joined({TzxBlock(0x24, Body({{3, 2}})), TzxBlock(0x12, Body({{1000, 2}, {2, 2}})),
                 TzxBlock(0x25, {})}),
         6 * 1000 * T, 6},
    };
    for (const auto& c : cases) {
        const std::vector<uint8_t> file = Joined({TzxHeader(), c.Block});
        TapeFile tape;
        ASSERT_TRUE(ReadTzx(file.data(), file.size(), &tape)) << tape.Error;
        double seconds = 0;
        size_t levels = 0;
        for (const TapePart& part : tape.Parts) {
            seconds += Seconds(part);
            levels += part.Levels.size();
        }
        EXPECT_NEAR(seconds, c.Seconds, 1e-6) << int{c.Block[0]};
        EXPECT_EQ(levels, c.Levels) << int{c.Block[0]};
        EXPECT_EQ(ProgramCount(tape), 0u);
    }
}

}  // namespace
