// The framing rules on made-up bursts: each rule has a case here that fails without it.
#include "read/framer.h"

#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <string>
#include <vector>

#include "read/program.h"
#include "zx/tape.h"

namespace {

constexpr double PAUSE = BIT_PAUSE_SECONDS;

std::vector<int> RandomBits(size_t count, uint32_t seed)
{
    std::mt19937 rng(seed);
    std::vector<int> bits(count);
    for (int& bit : bits) bit = static_cast<int>(rng() & 1);
    return bits;
}

// The bursts a clean tape of these bits gives, played `speed` times as fast.
std::vector<Burst> BurstsFor(const std::vector<int>& bits, double speed = 1.0)
{
    std::vector<Burst> bursts;
    double t = 1.0;
    for (const int bit : bits) {
        const double length = (bit ? ONE_BURST_SECONDS : ZERO_BURST_SECONDS) / speed;
        bursts.push_back({t, t + length, 1.0, 0.01, bit ? PULSES_ONE : PULSES_ZERO});
        t += length + PAUSE / speed;
    }
    return bursts;
}

std::vector<TapeBlock> Frame(const std::vector<Burst>& bursts, bool timed = false)
{
    Framer framer;
    StartFramer(&framer);
    framer.Timed = timed;
    for (const Burst& burst : bursts) FrameBurst(&framer, burst);
    FinishFramer(&framer, bursts.back().End + 1.0);
    return framer.Finished;
}

TEST(Framer, CleanBurstsAreSureBits)
{
    const std::vector<int> bits = RandomBits(200, 1);
    const std::vector<TapeBlock> blocks = Frame(BurstsFor(bits));
    ASSERT_EQ(blocks.size(), 1u);
    EXPECT_EQ(std::vector<int>(blocks[0].Bits.begin(), blocks[0].Bits.end()), bits);
    for (const float margin : blocks[0].Margins) EXPECT_GT(margin, 0.9f);
    EXPECT_NEAR(blocks[0].SilenceBefore, 1.0, 1e-9);
}

TEST(Framer, DamageIsMendedOrMarked)
{
    // Bit 100 is a 1 and bit 101 a 0 in every case; each damage is done to bit 100's burst or
    // the pause around it.
    std::vector<int> bits = RandomBits(200, 2);
    bits[100] = 1;
    bits[101] = 0;
    constexpr size_t K = 100;
    struct Case {
        std::string Rule;
        std::function<void(std::vector<Burst>&)> Damage;
        bool Sure;  // whether bit K stays sure
    };
    const Case cases[] = {
        {"a burst broken in two is joined",
         [](auto& b) {
             Burst second = b[K];
             b[K].End = b[K].Start + 1.2e-3;
             second.Start = b[K].End + 0.25e-3;
             b.insert(b.begin() + K + 1, second);
         },
         false},
        {"a burst lost entirely is put back", [](auto& b) { b.erase(b.begin() + K); }, false},
        {"a worn end is counted back", [](auto& b) { b[K].End -= 1.0e-3; }, false},
        {"a worn start is counted back", [](auto& b) { b[K].Start += 1.0e-3; }, false},
        {"a faint noise in a pause is no bit",
         [](auto& b) {
             const double at = b[K].End + 0.4e-3;
             b.insert(b.begin() + K + 1, Burst{at, at + 0.5e-3, 0.2, 0.01, 2});
         },
         true},
        {"a pause far too long marks its neighbour",
         [](auto& b) {
             for (size_t i = K; i < b.size(); ++i) {
                 b[i].Start += 1.0e-3;
                 b[i].End += 1.0e-3;
             }
         },
         false},
        {"a pause far too short marks its neighbours",
         [](auto& b) {
             for (size_t i = K; i < b.size(); ++i) {
                 b[i].Start -= 0.75e-3;
                 b[i].End -= 0.75e-3;
             }
         },
         false},
        {"pulses that disagree with a clear length", [](auto& b) { b[K].Pulses = PULSES_ZERO; },
         false},
        {"a burst near the noise", [](auto& b) { b[K].Noise = 0.25; }, false},
        {"two bits whose pause a codec filled are split at the dip",
         [](auto& b) {
             b[K].DipStart = b[K].End;
             b[K].DipEnd = b[K + 1].Start;
             b[K].DipDepth = 0.3;
             b[K].End = b[K + 1].End;
             b[K].Pulses += b[K + 1].Pulses;
             b.erase(b.begin() + K + 1);
         },
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Rule);
        std::vector<Burst> bursts = BurstsFor(bits);
        c.Damage(bursts);
        const std::vector<TapeBlock> blocks = Frame(bursts);
        ASSERT_EQ(blocks.size(), 1u);
        EXPECT_EQ(std::vector<int>(blocks[0].Bits.begin(), blocks[0].Bits.end()), bits);
        const float least = std::min(blocks[0].Margins[K], blocks[0].Margins[K + 1]);
        if (c.Sure) {
            EXPECT_GT(least, 0.9f);
        } else {
            EXPECT_LT(least, DOUBT_MARGIN);
        }
        EXPECT_GT(blocks[0].Margins[K - 2], 0.9f);  // the doubt stays where the damage is
    }
}

// The machine's timing hears a burst begin where its first pulse left the resting level: a pause
// that went on says only that the pulses after it began later, and where that makes no other bit
// the bit keeps the margin its length gives. Counted bursts have none there, as anything put back.
TEST(Framer, ATimedBitThatALongPauseBeforeMakesNoOtherBitKeepsItsMargin)
{
    std::vector<int> bits = RandomBits(200, 3);
    bits[99] = 0;
    bits[100] = 1;
    std::vector<Burst> bursts = BurstsFor(bits);
    for (size_t i = 100; i < bursts.size(); ++i) {
        bursts[i].Start += 0.7e-3;
        bursts[i].End += 0.7e-3;
    }
    for (const bool timed : {false, true}) {
        SCOPED_TRACE(timed ? "timed" : "counted");
        const std::vector<TapeBlock> blocks = Frame(bursts, timed);
        ASSERT_EQ(blocks.size(), 1u);
        EXPECT_EQ(std::vector<int>(blocks[0].Bits.begin(), blocks[0].Bits.end()), bits);
        EXPECT_EQ(blocks[0].Margins[100] > DOUBT_MARGIN, timed) << blocks[0].Margins[100];
    }
}

TEST(Framer, AFragmentAfterA0IsThe1sEndOnlyWhereTheNextBitSaysSo)
{
    // A dip takes all but the last pulse of a 1's second half, or all but the first pulse of a
    // 0 (each smeared into the pause after it, as long as a burst may be): either way a fragment
    // follows a 0 at a pause's distance, and only the next burst's moment tells one bit from two.
    constexpr size_t K = 60;
    const double period = 2 * HALF_PULSE_SECONDS;
    for (const int second : {1, 0}) {
        SCOPED_TRACE(second);
        std::vector<int> bits = RandomBits(120, 7);
        bits[K] = 0;
        bits[K + 1] = second;
        std::vector<Burst> bursts = BurstsFor(bits);
        Burst& b = bursts[K + 1];
        if (second == 1) {
            Burst tail = b;
            b.End = b.Start + PULSES_ZERO * period;
            tail.Start = tail.End - period;
            tail.End += period / 2;
            b.Pulses = PULSES_ZERO;
            tail.Pulses = 1;
            bursts.insert(bursts.begin() + K + 2, tail);
        } else {
            b.End = b.Start + 1.5 * period;
            b.Pulses = 1;
        }
        const std::vector<TapeBlock> blocks = Frame(bursts);
        ASSERT_EQ(blocks.size(), 1u);
        EXPECT_EQ(std::vector<int>(blocks[0].Bits.begin(), blocks[0].Bits.end()), bits);
        EXPECT_LT(blocks[0].Margins[K + 1], DOUBT_MARGIN);
    }
}

TEST(Framer, FollowsTheTapesSpeed)
{
    for (const double speed : {0.8, 1.2}) {
        SCOPED_TRACE(speed);
        const std::vector<int> bits = RandomBits(300, 3);
        const std::vector<TapeBlock> blocks = Frame(BurstsFor(bits, speed));
        ASSERT_EQ(blocks.size(), 1u);
        EXPECT_EQ(std::vector<int>(blocks[0].Bits.begin(), blocks[0].Bits.end()), bits);
        for (size_t i = 100; i < bits.size(); ++i) EXPECT_GT(blocks[0].Margins[i], 0.8f) << i;
    }
}

TEST(Framer, ALongSilenceEndsTheBlock)
{
    for (const double silence : {0.015, 0.025}) {
        SCOPED_TRACE(silence);
        const std::vector<int> bits = RandomBits(100, 4);
        std::vector<Burst> bursts = BurstsFor(bits);
        for (size_t i = 50; i < bursts.size(); ++i) {
            bursts[i].Start += silence - PAUSE;
            bursts[i].End += silence - PAUSE;
        }
        const std::vector<TapeBlock> blocks = Frame(bursts);
        const bool split = silence > BLOCK_GAP_SECONDS;
        ASSERT_EQ(blocks.size(), split ? 2u : 1u);
        if (split) {
            EXPECT_NEAR(blocks[1].SilenceBefore, silence, 1e-6);
        } else {
            EXPECT_LT(blocks[0].Margins[50], DOUBT_MARGIN);  // something may have been lost there
        }
    }
}

TEST(Framer, NoiseBeforeTheTapeLeavesAPlaceToBegin)
{
    // Louder noise bursts at random moments, then the tape: the block may begin where the tape
    // does, and noise alone makes no block.
    std::mt19937 rng(5);
    std::vector<Burst> bursts;
    for (double t = 0.2; t < 0.98; t += 0.3e-3 * static_cast<double>(1 + rng() % 8)) {
        const double length = 0.4e-3 + 0.1e-3 * static_cast<double>(rng() % 10);
        bursts.push_back({t, t + length, 0.1, 0.03, 2});
        t += length;
    }
    const size_t noise = bursts.size();
    const std::vector<int> bits = RandomBits(80, 6);
    for (const Burst& burst : BurstsFor(bits)) bursts.push_back(burst);
    const std::vector<TapeBlock> blocks = Frame(bursts);
    ASSERT_EQ(blocks.size(), 1u);
    bool begins_at_tape = false;
    for (const size_t start : blocks[0].Starts) {
        const std::vector<int> from(blocks[0].Bits.begin() + static_cast<long>(start),
                                    blocks[0].Bits.end());
        begins_at_tape = begins_at_tape || from == bits;
    }
    EXPECT_TRUE(begins_at_tape);
    bursts.resize(noise);
    EXPECT_TRUE(Frame(bursts).empty());
}

}  // namespace
