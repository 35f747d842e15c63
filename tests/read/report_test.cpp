// The JSON report: strings escaped so that any name is safe, and each doubtful byte listed.
#include "read/report.h"

#include <gtest/gtest.h>

#include <string>

#include "support/images.h"

namespace {

TEST(Report, EscapesAndListsDoubt)
{
    EXPECT_EQ(JsonQuoted("a\"b\\c\n\x01"), "\"a\\\"b\\\\c\\u000a\\u0001\"");
    TapeProgram p;
    p.Kind = TARGET_ZX80;
    p.Image = WellFormedZx80Image(2, 6);
    p.BitMargins.assign(8 * p.Image.size(), 0.9f);
    p.ByteTimes.assign(p.Image.size(), 2.0);
    p.BitMargins[8 * 3 + 6] = 0.05f;  // byte 3, its next-to-last bit: bit 1
    p.Sources.resize(1);
    RecordingReport recording;
    recording.File = "tape \"1\".wav";
    const std::string json = ReportJson({recording}, {{&p, "out/tape-1.o"}});
    for (const char* part : {"\"file\": \"tape \\\"1\\\".wav\"", "\"file\": \"out/tape-1.o\"",
                             "\"offset\": 3", "\"doubtful_bits\": [1]", "\"machine\": \"ZX80\""}) {
        EXPECT_NE(json.find(part), std::string::npos) << part << " in " << json;
    }
    EXPECT_EQ(json.back(), '\n');
}

}  // namespace
