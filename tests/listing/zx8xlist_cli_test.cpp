// zx8xlist end to end: what it prints and exits with for good, damaged and missing files.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "support/folders.h"
#include "support/images.h"
#include "support/tape_files.h"

namespace fs = std::filesystem;

namespace {

TEST(Zx8xlist, OutputsAndExitStatus)
{
    const fs::path dir = FreshTestFolder("zx8xlist_");
    const std::vector<uint8_t> zx81 = WellFormedZx81Image(3, 5);
    ASSERT_TRUE(WriteFileBytes((dir / "game.p").string().c_str(), zx81));
    ASSERT_TRUE(WriteFileBytes((dir / "old.o").string().c_str(), WellFormedZx80Image(2, 6)));
    std::vector<uint8_t> broken = zx81;
    broken[11] = 0xFF;  // E_LINE far outside the image
    ASSERT_TRUE(WriteFileBytes((dir / "broken.p").string().c_str(), broken));
    std::ofstream(dir / "huge.p", std::ios::binary) << std::string(70000, '\0');
    std::vector<uint8_t> p81 = P81Record("ONE", zx81);
    const std::vector<uint8_t> two = P81Record("TWO", WellFormedZx81Image(1, 7));
    p81.insert(p81.end(), two.begin(), two.end());
    ASSERT_TRUE(WriteFileBytes((dir / "tape.p81").string().c_str(), p81));
    std::vector<uint8_t> tzx = TzxHeader();
    const std::vector<uint8_t> zx80_block = TzxProgramBlock(WellFormedZx80Image(2, 6), 0);
    tzx.insert(tzx.end(), zx80_block.begin(), zx80_block.end());
    ASSERT_TRUE(WriteFileBytes((dir / "tape.tzx").string().c_str(), tzx));
    ASSERT_TRUE(WriteFileBytes((dir / "tape.t81").string().c_str(), p81));
    // A report that doubts the last bit of E_LINE's low byte of game.p, written to another folder.
    char doubt[160];
    std::snprintf(doubt, sizeof doubt,
                  "{\"offset\": 11, \"value\": %d, \"margin\": 0.1, \"doubtful_bits\": [0]}",
                  zx81[11]);
    std::ofstream(dir / "report.json")
        << "{\"version\": 1, \"programs\": [{\"file\": \"out/game.p\", "
        << "\"doubtful_bytes\": [" << doubt << "]}]}\n";
    std::ofstream(dir / "bad.json")
        << "{\"programs\": [{\"file\": \"game.p\", \"doubtful_bytes\": [";
    char as_read[64], other[64];
    std::snprintf(as_read, sizeof as_read, "    %02X (as read)  checks pass  E_LINE ", zx81[11]);
    std::snprintf(other, sizeof other, "    %02X            fails: ", zx81[11] ^ 1);

    struct Case {
        std::string Args;
        int Status;
        std::string Out;  // the start of standard output
        std::string Err;  // standard error, whole
    };
    const Case cases[] = {
        {"game.p", 0, "game.p: ZX81 program, " + std::to_string(zx81.size()) + " bytes\n  D_FILE  ",
         ""},
        {"old.o", 0, "old.o: ZX80 program, ", ""},
        {"-81 old.o", 1, "old.o: ZX81 program, ", ""},
        {"broken.p game.p", 1, "broken.p: ZX81 program, ", ""},
        {"missing.p game.p", 2, "game.p: ZX81",
         "zx8xlist: missing.p: cannot read: No such file or directory\n"},
        {"huge.p", 2, "", "zx8xlist: huge.p: too large for a program image\n"},
        {"tape.p81", 0, "tape.p81, program 1 \"ONE\": ZX81 program, ", ""},
        {"tape.tzx", 0, "tape.tzx, program 1: ZX80 program, ", ""},
        {"tape.t81", 2, "", "zx8xlist: tape.t81: a .t81 file, a format no document describes\n"},
        {"-x game.p", 2, "", "zx8xlist: unknown option -x\nUsage: zx8xlist"},
        {"", 2, "", "zx8xlist: no file given\nUsage: zx8xlist"},
        {"-h", 0, "Usage: zx8xlist [--ascii] [-80 | -81] [--report REPORT] FILE...\n", ""},
        {"--report bad.json game.p", 2, "game.p: ZX81",
         "zx8xlist: bad.json: not a report written by zx8xread\n"},
        {"--report report.json old.o", 2, "old.o: ZX80",
         "zx8xlist: report.json: the report names no program written as old.o\n"},
        {"--report missing.json game.p", 2, "",
         "zx8xlist: missing.json: cannot read: No such file or directory\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Args);
        const std::string command =
            "cd '" + dir.string() + "' && " + ZX8XLIST_EXE + " " + c.Args + " >stdout 2>stderr";
        const int raw = std::system(command.c_str());
        EXPECT_EQ(WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, c.Status);
        EXPECT_EQ(FileText(dir / "stdout").substr(0, c.Out.size()), c.Out);
        EXPECT_EQ(FileText(dir / "stderr").substr(0, c.Err.size()), c.Err);
    }

    // Every program of a tape file is listed.
    ASSERT_EQ(
        std::system(("cd '" + dir.string() + "' && " + ZX8XLIST_EXE + " tape.p81 >tape").c_str()),
        0);
    EXPECT_NE(FileText(dir / "tape").find("\n\ntape.p81, program 2 \"TWO\": ZX81 program, "),
              std::string::npos);

    // With the report: the doubtful byte, each value it may have, and what each makes of it.
    ASSERT_EQ(std::system(("cd '" + dir.string() + "' && " + ZX8XLIST_EXE +
                           " --report report.json game.p >doubts")
                              .c_str()),
              0);
    const std::string doubts = FileText(dir / "doubts");
    EXPECT_NE(doubts.find("\n? at 16404 (byte 11): read as "), std::string::npos) << doubts;
    EXPECT_NE(doubts.find(as_read), std::string::npos) << doubts;
    EXPECT_NE(doubts.find(other), std::string::npos) << doubts;

    // Into a file: no terminal codes; with --ascii, nothing but ASCII.
    ASSERT_EQ(std::system(("cd '" + dir.string() + "' && " + ZX8XLIST_EXE + " game.p >plain && " +
                           ZX8XLIST_EXE + " --ascii game.p >ascii")
                              .c_str()),
              0);
    const std::string plain = FileText(dir / "plain"), ascii = FileText(dir / "ascii");
    EXPECT_EQ(plain.find('\x1b'), std::string::npos);
    EXPECT_TRUE(std::all_of(ascii.begin(), ascii.end(),
                            [](char c) { return static_cast<unsigned char>(c) < 0x80; }));
    EXPECT_NE(ascii.find("\n  10 REM "), std::string::npos) << ascii;
    if (!::testing::Test::HasFailure()) fs::remove_all(dir);
}

}  // namespace
