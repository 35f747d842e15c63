#include "options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "conversion.h"

namespace {

struct Parsed {
    int FirstNonOption;
    std::string Err;
};

Parsed Parse(std::vector<std::string> args)
{
    args.insert(args.begin(), "zx8xwav");
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    testing::internal::CaptureStderr();
    const int first = HandleOptions(static_cast<int>(args.size()), argv.data());
    return {first, testing::internal::GetCapturedStderr()};
}

class HandleOptionsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        targetFormat = TARGET_UNKNOWN;
        zxFileName.clear();
    }
    void TearDown() override { SetUp(); }
};

TEST_F(HandleOptionsTest, OptionsSetTargetAndTapeName)
{
    struct Case {
        std::vector<std::string> Args;
        int FirstNonOption;
        TargetFormat Target;
        std::string Name;
        std::string Err;
    };
    const Case cases[] = {
        {{"f.p"}, 1, TARGET_UNKNOWN, "", ""},
        {{"-81", "f.p"}, 2, TARGET_ZX81, "", ""},
        {{"-80", "f.p"}, 2, TARGET_ZX80, "", ""},
        {{"-810", "f.p"}, 2, TARGET_ZX81, "", ""},  // characters after the third are ignored
        {{"-80", "-81", "f.p"}, 3, TARGET_ZX81, "", ""},
        {{"-zGAME", "f.p"}, 2, TARGET_UNKNOWN, "GAME", ""},
        {{"-fgame", "f.p"}, 2, TARGET_UNKNOWN, "game", ""},  // kept as typed
        {{"-zABCDEFGH", "f.p"}, 2, TARGET_UNKNOWN, "ABCDEFGH", ""},
        {{"-zMYPROGRAM", "f.p"},
         2,
         TARGET_UNKNOWN,
         "MYPROGRA",
         "ERROR: option -z: name MYPROGRAM too long\n"},
        {{"-z", "f.p"}, 2, TARGET_UNKNOWN, "", "ERROR: option -z: name missing\n"},
        {{"-zAA", "-z", "f.p"}, 3, TARGET_UNKNOWN, "", "ERROR: option -z: name missing\n"},
        {{"-zAA", "-zBB", "f.p"}, 3, TARGET_UNKNOWN, "BB", ""},
        {{"-8", "f.p"}, 2, TARGET_UNKNOWN, "", "ERROR: unknown option -8\n"},
        {{"-82", "f.p"}, 2, TARGET_UNKNOWN, "", "ERROR: unknown option -82\n"},
        {{"-x", "-", "f.p"},
         3,
         TARGET_UNKNOWN,
         "",
         "ERROR: unknown option -x\nERROR: unknown option -\n"},
        {{"f.p", "-81"}, 1, TARGET_UNKNOWN, "", ""},  // later arguments are not looked at
        {{"-81"}, 0, TARGET_ZX81, "", ""},
        {{"", "f.p"}, 1, TARGET_UNKNOWN, "", ""},  // an empty argument is a file name
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Args.front());
        SetUp();
        const Parsed parsed = Parse(c.Args);
        EXPECT_EQ(parsed.FirstNonOption, c.FirstNonOption);
        EXPECT_EQ(targetFormat, c.Target);
        EXPECT_EQ(zxFileName, c.Name);
        EXPECT_EQ(parsed.Err, c.Err);
    }
}

TEST_F(HandleOptionsTest, SlashIsAnOptionPrefixOnlyOnWindows)
{
    const Parsed parsed = Parse({"/81", "f.p"});
#ifdef _WIN32
    EXPECT_EQ(parsed.FirstNonOption, 2);
    EXPECT_EQ(targetFormat, TARGET_ZX81);
#else
    EXPECT_EQ(parsed.FirstNonOption, 1);  // "/81" is an absolute path
    EXPECT_EQ(targetFormat, TARGET_UNKNOWN);
#endif
    EXPECT_EQ(parsed.Err, "");
}

TEST_F(HandleOptionsTest, HelpPrintsTheUsageAndGoesOn)
{
    for (const char* help : {"-h", "-H", "-?"}) {
        SCOPED_TRACE(help);
        const Parsed parsed = Parse({help, "-81", "f.p"});
        EXPECT_EQ(parsed.FirstNonOption, 3);
        EXPECT_EQ(targetFormat, TARGET_ZX81);
        EXPECT_EQ(parsed.Err.rfind("\nConvert a ZX81 or ZX80 software file", 0), 0u);
        EXPECT_NE(parsed.Err.find("\nzx8xwav [options] filename\n"), std::string::npos);
    }
}

}  // namespace
