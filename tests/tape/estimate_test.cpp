#include "tape/estimate.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "conversion.h"

namespace {

std::string Printed(const std::vector<uint8_t>& image, double* estimate)
{
    testing::internal::CaptureStdout();
    *estimate = EstimateWavDuration(image.data(), static_cast<int>(image.size()));
    return testing::internal::GetCapturedStdout();
}

std::string Formatted(double seconds)
{
    char text[64];
    std::snprintf(text, sizeof text, "%f", seconds);
    return text;
}

TEST(EstimateWavDuration, FiguresForSmallAndLargestImages)
{
    struct Case {
        std::vector<uint8_t> Image;
        std::string BitLine;  // counts before the name-block margin is added
        std::string Seconds;  // as the progress line prints it
        int32_t BufferBytes;
    };
    const Case cases[] = {
        {{}, "Input file has 0 zero bits, 0 one bits\n", "2.416000", 53292},
        {{0x00}, "Input file has 8 zero bits, 0 one bits\n", "2.436000", 53733},
        {{0xFF}, "Input file has 0 zero bits, 8 one bits\n", "2.448000", 53998},
        {{0x81, 0x7E}, "Input file has 8 zero bits, 8 one bits\n", "2.468000", 54439},
        {std::vector<uint8_t>(65544, 0xFF), "Input file has 0 zero bits, 524352 one bits\n",
         "2099.824000", 46301139},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Image.size());
        double estimate = 0.0;
        EXPECT_EQ(Printed(c.Image, &estimate), c.BitLine);
        EXPECT_EQ(Formatted(estimate), c.Seconds);
        EXPECT_EQ(SampleBufferSize(estimate), c.BufferBytes);
    }
}

TEST(EstimateWavDuration, SilentWhileVerboseIsOff)
{
    verbose = 0;
    double estimate = 0.0;
    EXPECT_EQ(Printed({1, 2, 3}, &estimate), "");
    verbose = 1;
    EXPECT_GT(estimate, 2.0);
}

}  // namespace
