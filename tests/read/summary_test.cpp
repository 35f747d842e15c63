// The line a person reads for each program, and the status behind the exit status.
#include "read/summary.h"

#include <gtest/gtest.h>

#include <string>

#include "support/images.h"

namespace {

TEST(Summary, TheLineSaysWhatIsKnown)
{
    TapeProgram p;
    p.Kind = TARGET_ZX81;
    p.Name = {45, 42, 49, 49, 52};
    p.Image = WellFormedZx81Image(2, 5);
    p.NameMargins.assign(40, 0.9f);
    p.BitMargins.assign(8 * p.Image.size(), 0.9f);
    for (size_t i = 0; i < p.Image.size(); ++i)
        p.ByteTimes.push_back(1.5 + 0.025 * static_cast<double>(i));
    p.Start = 1.5;
    p.End = 75.25;
    const std::string size = std::to_string(p.Image.size());
    EXPECT_EQ(StatusOf(p), STATUS_OK);
    EXPECT_EQ(ProgramLine(p, "out/hello.p"),
              "out/hello.p: ZX81, name \"HELLO\", " + size +
                  " bytes, 0:01.5 to 1:15.3, checks OK, worst bit 90% clear");
    p.BitMargins[8 * 7] = 0.1f;
    p.MidTape = true;
    p.BytesAfter = 1;
    EXPECT_EQ(StatusOf(p), STATUS_DOUBTFUL);
    EXPECT_EQ(ProgramLine(p, "h.p"),
              "h.p: ZX81, name \"HELLO\", " + size +
                  " bytes, 0:01.5 to 1:15.3, checks passed, starts mid-tape, 1 doubtful byte: 7 "
                  "(0:01.68), 1 byte after the program's end, worst bit 10% clear");
    p.Failed = {CHECK_END_MARKER, CHECK_TRUNCATED};
    EXPECT_EQ(StatusOf(p), STATUS_FAILED);
    EXPECT_NE(ProgramLine(p, "h.p").find("checks failed: end marker, truncated"),
              std::string::npos);
    EXPECT_EQ(ClockText(605.125, true), "10:05.13");
}

}  // namespace
