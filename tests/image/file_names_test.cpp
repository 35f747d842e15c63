#include "image/file_names.h"

#include <gtest/gtest.h>

#include <string>

#include "conversion.h"

namespace {

struct Case {
    std::string Path;
    TargetFormat TargetBefore;
    std::string NameBefore;  // a tape name given by option, or empty
    TargetFormat TargetAfter;
    std::string Output;
    std::string TapeName;
};

void Check(const Case& c)
{
    SCOPED_TRACE(c.Path.size() > 60 ? c.Path.substr(c.Path.size() - 60) : c.Path);
    targetFormat = c.TargetBefore;
    zxFileName = c.NameBefore;
    outFileName = "stale";
    TransferFileNames(c.Path.c_str());
    EXPECT_EQ(targetFormat, c.TargetAfter);
    EXPECT_EQ(outFileName, c.Output);
    EXPECT_EQ(zxFileName, c.TapeName);
    targetFormat = TARGET_UNKNOWN;
    zxFileName.clear();
}

constexpr TargetFormat UNKNOWN = TARGET_UNKNOWN;
constexpr TargetFormat ZX80 = TARGET_ZX80;
constexpr TargetFormat ZX81 = TARGET_ZX81;

TEST(TransferFileNames, OutputPathTargetAndTapeName)
{
    const Case cases[] = {
        {"games\\frogs.p", UNKNOWN, "", ZX81, "games\\frogs.wav", "FROGS"},
        {"games/frogs.p", UNKNOWN, "", ZX81, "games/frogs.wav", "FROGS"},
        {"frogs.P", UNKNOWN, "", UNKNOWN, "frogs.wav", "FROGS"},  // only lower-case .p counts
        {"games\\frogs.80", ZX80, "", ZX80, "games\\frogs_ZX80.wav", "FROGS"},
        {"games/frogs.80", ZX80, "", ZX80, "games/frogs_ZX80.wav", "FROGS"},
        {"game.p", ZX80, "", ZX81, "game.wav", "GAME"},  // .p overrides -80 and detection
        // A dot before the last separator starts no extension: the output stays beside the input.
        {"old.dir\\frogs", UNKNOWN, "", UNKNOWN, "old.dir\\frogs.wav", "FROGS"},
        {"old.dir/frogs", UNKNOWN, "", UNKNOWN, "old.dir/frogs.wav", "FROGS"},
        {"..\\frogs", UNKNOWN, "", UNKNOWN, "..\\frogs.wav", "FROGS"},
        {"../frogs", UNKNOWN, "", UNKNOWN, "../frogs.wav", "FROGS"},
        {"a.b/c.d/game.80", ZX80, "", ZX80, "a.b/c.d/game_ZX80.wav", "GAME"},
        {"dir/.p", UNKNOWN, "", ZX81, "dir/.wav", ""},
        {"abcdefgh.p", UNKNOWN, "", ZX81, "abcdefgh.wav", "ABCDEFGH"},
        {"abcdefghi.p", UNKNOWN, "", ZX81, "abcdefghi.wav", ""},
        {"readme", UNKNOWN, "", UNKNOWN, "readme.wav", "README"},
        {"x.tar.p", UNKNOWN, "", ZX81, "x.tar.wav", "X.TAR"},
        {".p", UNKNOWN, "", UNKNOWN, ".p.wav", ".P"},  // a dot at position 0 is no extension
        {"frogs.p", UNKNOWN, "HELLO", ZX81, "frogs.wav", "HELLO"},
        {"longname123.o", ZX80, "X", ZX80, "longname123_ZX80.wav", "X"},
        {"longname123.o", ZX80, "", ZX80, "longname123_ZX80.wav", ""},
        {"my game.p", UNKNOWN, "", ZX81, "my game.wav", "MY GAME"},
        {"/home/me/t.bin", UNKNOWN, "", UNKNOWN, "/home/me/t.wav", "T"},
        {"C:\\ZX\\Spiel\xE4.p", UNKNOWN, "", ZX81, "C:\\ZX\\Spiel\xE4.wav", "SPIEL\xE4"},
        {"", UNKNOWN, "", UNKNOWN, "", ""},
    };
    for (const Case& c : cases) Check(c);
}

TEST(TransferFileNames, LongPathsAreKeptWhole)
{
    const std::string a250(250, 'a');
    const std::string dir990 = std::string(989, 'd') + "/";
    const std::string dotted220 = std::string(220, 'b') + ".p";  // the dot lies past position 200
    const Case cases[] = {
        {a250, UNKNOWN, "", UNKNOWN, a250 + ".wav", ""},
        {a250, ZX80, "", ZX80, a250 + "_ZX80.wav", ""},
        {a250, ZX80, "NAME", ZX80, a250 + "_ZX80.wav", "NAME"},
        {dotted220, ZX80, "", ZX81, std::string(220, 'b') + ".wav", ""},
        {dir990 + "game.p", UNKNOWN, "", ZX81, dir990 + "game.wav", "GAME"},
        {dir990 + "game.80", ZX80, "", ZX80, dir990 + "game_ZX80.wav", "GAME"},
        {dir990 + "readme", ZX80, "", ZX80, dir990 + "readme_ZX80.wav", "README"},
        {std::string(1000, 'c'), ZX81, "", ZX81, std::string(1000, 'c') + ".wav", ""},
    };
    for (const Case& c : cases) Check(c);
}

}  // namespace
