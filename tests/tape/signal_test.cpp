#include "tape/signal.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "support/runs.h"

namespace {

// Room for a few seconds of signal.
constexpr int32_t BUFFER_SAMPLES = 200000;

class SignalTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(AllocateSampleBuffer(BUFFER_SAMPLES)); }
    void TearDown() override { ReleaseSampleBuffer(); }
};

const uint8_t* Samples() { return wavFile.get(); }

std::vector<SampleRun> RunsFrom(int32_t first)
{
    return Runs(Samples() + first, Samples() + wavCounter);
}

// Pulse trains (runs of the pulse level) in the samples from `first` on.
int PulseCount(int32_t first)
{
    int pulses = 0;
    for (const SampleRun& run : RunsFrom(first)) pulses += run.Level == pulseLevel;
    return pulses;
}

TEST_F(SignalTest, LeadInIs35281SamplesOfSilence)
{
    // Sample 35280 stands for an instant just below 1.6 s as held in a double, so it is still
    // part of the lead-in. A period held in double, or a product rounded to single precision,
    // would end the lead-in one sample early.
    OutputLevel(middleLevel, Signal.IntroDuration);
    EXPECT_EQ(wavCounter, 35281);
    EXPECT_EQ(RunsFrom(0), (std::vector<SampleRun>{{middleLevel, 35281}}));
}

TEST_F(SignalTest, FirstZeroBitAfterLeadIn)
{
    OutputLevel(middleLevel, Signal.IntroDuration);
    const int32_t start = wavCounter;
    OutputBit(0);
    // The levels are written as numbers: the tape's silence, pulse and pause values themselves.
    const std::vector<SampleRun> expected = {
        {128, 28}, {250, 3}, {5, 4}, {250, 3}, {5, 3}, {250, 4}, {5, 3}, {250, 3}, {5, 4},
    };
    EXPECT_EQ(RunsFrom(start), expected);
}

TEST_F(SignalTest, BitsSpanTheirNominalLengthWithinOneSample)
{
    OutputLevel(middleLevel, Signal.IntroDuration);
    std::mt19937 rng(81);
    int zeros = 0;
    int ones = 0;
    for (int i = 0; i < 1500; ++i) {
        const bool one = (rng() & 1) != 0;
        const int32_t start = wavCounter;
        OutputBit(one ? 1 : 0);
        const int32_t length = wavCounter - start;
        SCOPED_TRACE(i);
        if (one) {
            EXPECT_TRUE(length == 88 || length == 89) << length;
            ++ones;
        } else {
            EXPECT_TRUE(length == 55 || length == 56) << length;
            ++zeros;
        }
        // Pause first: 28 or 29 samples of silence, then half pulses of 3 or 4 samples.
        const std::vector<SampleRun> runs = RunsFrom(start);
        ASSERT_EQ(runs.size(), one ? 19u : 9u);
        EXPECT_EQ(runs[0].Level, middleLevel);
        EXPECT_TRUE(runs[0].Length == 28 || runs[0].Length == 29);
        for (size_t r = 1; r < runs.size(); ++r) {
            EXPECT_EQ(runs[r].Level, r % 2 == 1 ? pulseLevel : pauseLevel);
            EXPECT_TRUE(runs[r].Length == 3 || runs[r].Length == 4);
        }
    }
    EXPECT_GT(zeros, 500);
    EXPECT_GT(ones, 500);
}

TEST_F(SignalTest, ByteGoesOutMostSignificantBitFirst)
{
    OutputLevel(middleLevel, Signal.IntroDuration);
    // Emit the byte, then split it into bits at each pause.
    const int32_t start = wavCounter;
    OutputByte(0x80);
    std::vector<int> pulses_per_bit;
    int current = -1;
    for (const SampleRun& run : RunsFrom(start)) {
        if (run.Level == middleLevel) {
            pulses_per_bit.push_back(0);
            current = static_cast<int>(pulses_per_bit.size()) - 1;
        } else if (run.Level == pulseLevel) {
            ++pulses_per_bit[static_cast<size_t>(current)];
        }
    }
    EXPECT_EQ(pulses_per_bit, (std::vector<int>{9, 4, 4, 4, 4, 4, 4, 4}));
}

TEST_F(SignalTest, ZeroAndFullBytesAreEightBitsOfOneKind)
{
    OutputLevel(middleLevel, Signal.IntroDuration);
    int32_t start = wavCounter;
    OutputByte(0x00);
    EXPECT_EQ(PulseCount(start), 8 * 4);
    start = wavCounter;
    OutputByte(0xFF);
    EXPECT_EQ(PulseCount(start), 8 * 9);
}

TEST_F(SignalTest, ZeroDurationWritesNothing)
{
    OutputLevel(pulseLevel, 0.0);
    EXPECT_EQ(wavCounter, 0);
    OutputLevel(middleLevel, 0.01);
    const int32_t after = wavCounter;
    const double clock = wavWriteTime;
    OutputLevel(pulseLevel, 0.0);
    EXPECT_EQ(wavCounter, after);
    EXPECT_EQ(wavWriteTime, clock);
}

TEST_F(SignalTest, NewSignalRestartsTheClock)
{
    OutputLevel(middleLevel, 0.5);
    wavCounter = 0;
    OutputLevel(middleLevel, Signal.IntroDuration);
    EXPECT_EQ(wavCounter, 35281);
    EXPECT_EQ(wavWriteTime, Signal.IntroDuration);
}

TEST_F(SignalTest, TwoCallsEqualOneCallWithTheSummedDuration)
{
    // Durations whose sums are exact in binary, so the split cannot move a boundary.
    OutputLevel(middleLevel, 0.25);
    OutputLevel(pulseLevel, 0.125);
    OutputLevel(pulseLevel, 0.375);
    OutputLevel(pauseLevel, 0.0625);
    const std::vector<uint8_t> split(Samples(), Samples() + wavCounter);

    wavCounter = 0;
    OutputLevel(middleLevel, 0.25);
    OutputLevel(pulseLevel, 0.5);
    OutputLevel(pauseLevel, 0.0625);
    const std::vector<uint8_t> whole(Samples(), Samples() + wavCounter);
    EXPECT_EQ(split, whole);
}

TEST_F(SignalTest, RequestBeyondTheBufferStopsAtItsEndAndIsFlagged)
{
    ASSERT_TRUE(AllocateSampleBuffer(100));
    OutputLevel(middleLevel, 0.001);  // 23 samples
    EXPECT_FALSE(wavOverflow);
    OutputLevel(pulseLevel, 1.0);
    EXPECT_TRUE(wavOverflow);
    EXPECT_EQ(wavCounter, 100);
    EXPECT_EQ(Samples()[99], pulseLevel);
    OutputByte(0xFF);  // further requests write nothing
    EXPECT_EQ(wavCounter, 100);
}

TEST_F(SignalTest, ImpossibleBufferSizesAreRefused)
{
    EXPECT_FALSE(AllocateSampleBuffer(-1));
    EXPECT_FALSE(AllocateSampleBuffer((1 << 30) + 1));
    EXPECT_EQ(wavFile, nullptr);
    EXPECT_EQ(wavFileSize, 0);
}

TEST_F(SignalTest, AllocationStartsAnEmptySignal)
{
    OutputLevel(middleLevel, 0.01);
    wavOverflow = true;
    ASSERT_TRUE(AllocateSampleBuffer(10));
    EXPECT_EQ(wavCounter, 0);
    EXPECT_EQ(wavFileSize, 10);
    EXPECT_FALSE(wavOverflow);
}

}  // namespace
