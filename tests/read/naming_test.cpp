// The names programs are written under, and that no file is ever replaced.
#include "read/naming.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/folders.h"
#include "support/wav_reader.h"

namespace fs = std::filesystem;

namespace {

TEST(Naming, FileNamesFromTapeNamesAndRecordings)
{
    // ZX81 codes: 38 A, 49 L, 63 Z, 28 digit 0, 0 space, 27 full stop, 24 slash, 11 quote.
    EXPECT_EQ(Zx81FileName({38, 49, 63, 28}), "alz0.p");
    EXPECT_EQ(Zx81FileName({38, 0, 38}), "a_a.p");
    EXPECT_EQ(Zx81FileName({27, 27}), "_..p");
    EXPECT_EQ(Zx81FileName({24, 11, 200}), "___.p");
    EXPECT_EQ(Zx80FileName("tapes/side a.wav", 3), "side a-3.o");
    EXPECT_EQ(Zx80FileName("recording", 1), "recording-1.o");
#ifdef _WIN32
    EXPECT_EQ(Zx80FileName("C:tapes\\side a.wav", 3), "side a-3.o");
#endif
}

TEST(Naming, NeverReplacesAFile)
{
    const fs::path dir = FreshTestFolder("zx8xread_");
    std::string written;
    for (const std::string expected : {"game.p", "game-2.p", "game-3.p"}) {
        ASSERT_TRUE(WriteNewFile(dir.string(), "game.p", {static_cast<uint8_t>(expected.size())},
                                 &written));
        EXPECT_TRUE(fs::path(written) == dir / expected) << written;
    }
    EXPECT_EQ(ReadWholeFile((dir / "game.p").string()), std::vector<uint8_t>{6});
    EXPECT_FALSE(WriteNewFile((dir / "missing").string(), "game.p", {1}, &written));
    fs::remove_all(dir);
}

}  // namespace
