// Reading back the doubtful bytes of a report: the program is found by its file, and anything
// that is not such a report is refused without harm.
#include "listing/report_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const char REPORT[] = R"({"version": 1, "recordings": [{"file": "a.wav", "error": null}],
  "programs": [
    {"file": "out/one.p", "status": "ok", "doubtful_bytes": []},
    {"file": "out\\two.p", "name": "T\u00c9", "doubtful_bytes": [
      {"offset": 122, "time": 9.4302, "margin": 0.04, "value": 63, "doubtful_bits": [7, 0],
       "readings": [63, null, 62]}]},
    {"file": "two.p", "doubtful_bytes": [{"offset": 5, "value": 1, "doubtful_bits": []}]}]}
)";

TEST(ReportReader, FindsTheProgramByItsFileThenByItsName)
{
    std::vector<ReportedDoubt> doubts;
    std::string error;
    ASSERT_TRUE(ReportedDoubts(REPORT, "out\\two.p", &doubts, &error)) << error;
    ASSERT_EQ(doubts.size(), 1u);
    EXPECT_EQ(doubts[0].Offset, 122u);
    EXPECT_EQ(doubts[0].Value, 63);
    EXPECT_DOUBLE_EQ(doubts[0].Margin, 0.04);
    EXPECT_EQ(doubts[0].Bits, (std::vector<int>{7, 0}));
    EXPECT_EQ(doubts[0].Readings, (std::vector<int>{63, -1, 62}));
    ASSERT_TRUE(ReportedDoubts(REPORT, "two.p", &doubts, &error));
    EXPECT_EQ(doubts[0].Offset, 5u);  // the very name before the same name elsewhere
    ASSERT_TRUE(ReportedDoubts(REPORT, "/home/me/one.p", &doubts, &error));
    EXPECT_TRUE(doubts.empty());
}

TEST(ReportReader, RefusesWhatIsNoReport)
{
    const std::string deep = std::string(100000, '[') + std::string(100000, ']');
    const struct {
        std::string Json, Error;
    } cases[] = {
        {"", "not a report written by zx8xread"},
        {"{\"programs\": [", "not a report written by zx8xread"},
        {deep, "not a report written by zx8xread"},
        {"{\"programs\": 3}", "not a report written by zx8xread"},
        {"{\"programs\": []}", "the report names no program written as x.p"},
        {R"({"programs": [{"file": "x.p", "doubtful_bytes": [{"offset": 70000, "value": 1,
           "doubtful_bits": []}]}]})",
         "a doubtful byte in the report cannot be read"},
        {R"({"programs": [{"file": "x.p", "doubtful_bytes": [{"offset": 1, "value": 1,
           "doubtful_bits": [8]}]}]})",
         "a doubtful byte in the report cannot be read"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Json.substr(0, 60));
        std::vector<ReportedDoubt> doubts;
        std::string error;
        EXPECT_FALSE(ReportedDoubts(c.Json, "x.p", &doubts, &error));
        EXPECT_EQ(error, c.Error);
    }
}

}  // namespace
