// The generator computes each run's end directly; these tests drive it and the per-sample
// reference with the same requests and compare every sample and every counter.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "conversion.h"
#include "support/reference_generator.h"
#include "tape/signal.h"
#include "tape/tape.h"

namespace {

struct Request {
    uint8_t Level;
    double Duration;
    bool NewSignal;  // set the counter to 0 first
    bool Byte;       // a whole byte (Level) instead of a run
};

// Durations of every kind: zero, tiny, the tape's own, odd ones, and huge; with `bytes`, a third
// of the requests are whole bytes instead, which start wherever the runs before left the clock.
std::vector<Request> RandomRequests(uint32_t seed, size_t count, bool new_signals,
                                    bool bytes = false)
{
    std::mt19937_64 rng(seed);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    // Mostly pulse halves and pauses, now and then a lead-in or lead-out.
    const double tape_durations[] = {
        Signal.HalfPulsDuration, Signal.HalfPulsDuration, Signal.HalfPulsDuration,
        Signal.InterbitDelay,    Signal.InterbitDelay,    Signal.HalfPulsDuration,
        Signal.HalfPulsDuration, Signal.InterbitDelay,    Signal.HalfPulsDuration,
        Signal.HalfPulsDuration, Signal.InterbitDelay,    Signal.HalfPulsDuration,
        Signal.HalfPulsDuration, Signal.InterbitDelay,    Signal.HalfPulsDuration,
        Signal.HalfPulsDuration, Signal.InterbitDelay,    Signal.HalfPulsDuration,
        Signal.IntroDuration,    Signal.ExtroDuration};
    std::vector<Request> requests;
    for (size_t i = 0; i < count; ++i) {
        Request r{static_cast<uint8_t>(rng()), 0.0, new_signals && rng() % 2000 == 0,
                  bytes && rng() % 3 == 0};
        switch (rng() % 8) {
            case 0:
                r.Duration = 0.0;
                break;
            case 1:
                r.Duration = unit(rng) * 1e-5;
                break;  // below one period
            case 2:
                r.Duration = SAMPLE_PERIOD * static_cast<double>(rng() % 4);
                break;
            case 3:
                r.Duration = unit(rng) * 0.01;
                break;
            case 4:
                r.Duration = rng() % 1000 == 0 ? 1.0 + unit(rng) * 4 : 0.002;
                break;  // huge
            default:
                r.Duration = tape_durations[rng() % 20];
                break;
        }
        requests.push_back(r);
    }
    return requests;
}

class GeneratorEquivalence : public ::testing::Test {
protected:
    void TearDown() override
    {
        ReleaseSampleBuffer();
        zxFileName.clear();
        targetFormat = TARGET_UNKNOWN;
    }

    // Runs the requests through both generators, with buffers of `capacity` samples, and
    // checks the counters after every request and the samples at the end.
    void Compare(const std::vector<Request>& requests, int32_t capacity)
    {
        ASSERT_TRUE(AllocateSampleBuffer(capacity));
        ReferenceSignal reference;
        reference.Samples.assign(static_cast<size_t>(capacity), 0);
        for (size_t i = 0; i < requests.size(); ++i) {
            const Request& r = requests[i];
            if (r.NewSignal) {
                wavCounter = 0;
                reference.Counter = 0;
            }
            if (r.Byte) {
                OutputByte(r.Level);
                ReferenceOutputByte(reference, r.Level);
            } else {
                OutputLevel(r.Level, r.Duration);
                ReferenceOutputLevel(reference, r.Level, r.Duration);
            }
            ASSERT_EQ(wavCounter, reference.Counter) << "request " << i;
            ASSERT_EQ(wavWriteTime, reference.Time) << "request " << i;
            ASSERT_EQ(wavOverflow, reference.Overflow) << "request " << i;
        }
        // The signal is the first wavCounter samples; the rest of the buffer holds no samples.
        const std::vector<uint8_t> signal(wavFile.get(), wavFile.get() + wavCounter);
        const std::vector<uint8_t> expected(reference.Samples.begin(),
                                            reference.Samples.begin() + reference.Counter);
        ASSERT_TRUE(signal == expected);
    }
};

TEST_F(GeneratorEquivalence, RandomLevelsAndDurations)
{
    Compare(RandomRequests(7, 400000, true), 40000000);
    EXPECT_FALSE(wavOverflow);
    EXPECT_GT(wavCounter, 1000000);
}

TEST_F(GeneratorEquivalence, BytesAmongRandomRuns)
{
    Compare(RandomRequests(8, 300000, true, true), 40000000);
    EXPECT_FALSE(wavOverflow);
}

TEST_F(GeneratorEquivalence, RunningOutOfBufferStopsAtTheSameSample)
{
    for (const int32_t capacity : {0, 1, 1000, 123457}) {
        SCOPED_TRACE(capacity);
        Compare(RandomRequests(static_cast<uint32_t>(capacity) + 11, 20000, false, true), capacity);
        EXPECT_TRUE(wavOverflow);
        EXPECT_EQ(wavCounter, capacity);
    }
}

TEST_F(GeneratorEquivalence, FullSizeTapes)
{
    // The longest tape there can be, and a full-size image of random bytes.
    std::mt19937 rng(65544);
    std::vector<uint8_t> random_image(MAX_P_FILE_SIZE);
    for (uint8_t& b : random_image) b = static_cast<uint8_t>(rng());
    const std::vector<uint8_t> images[] = {std::vector<uint8_t>(MAX_P_FILE_SIZE, 0xFF),
                                           random_image};
    constexpr int32_t CAPACITY = 46301139;
    for (const std::vector<uint8_t>& image : images) {
        zxFileName = "ZZZZZZZZ";
        targetFormat = TARGET_ZX81;
        ASSERT_TRUE(AllocateSampleBuffer(CAPACITY));
        char bad = 0;
        ASSERT_TRUE(OutputTape(image.data(), static_cast<int>(image.size()), &bad));

        ReferenceSignal reference;
        reference.Samples.assign(CAPACITY, 0);
        ReferenceOutputLevel(reference, middleLevel, Signal.IntroDuration);
        for (int i = 0; i < 7; ++i) ReferenceOutputByte(reference, 63);
        ReferenceOutputByte(reference, 63 | 0x80);
        for (const uint8_t byte : image) ReferenceOutputByte(reference, byte);
        ReferenceOutputLevel(reference, middleLevel, Signal.ExtroDuration);

        ASSERT_EQ(wavCounter, reference.Counter);
        EXPECT_EQ(wavWriteTime, reference.Time);
        EXPECT_FALSE(reference.Overflow);
        EXPECT_EQ(std::memcmp(wavFile.get(), reference.Samples.data(),
                              static_cast<size_t>(reference.Counter)),
                  0);
    }
}

}  // namespace
