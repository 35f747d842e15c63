// Combining readings of one tape: each settles what the others doubt, and a bit one reading lost
// or gained is mended from the others.
#include "read/merge.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "read/program.h"
#include "support/images.h"
#include "support/tape_files.h"

namespace {

// A block of `count` bits, `bit(i)` each, all as sure as `margin`, one every `step` seconds from
// `start`, that may begin only at its first.
template <typename BitAt>
TapeBlock EvenBlock(int count, float margin, double start, double step, BitAt bit)
{
    TapeBlock block;
    for (int i = 0; i < count; ++i) {
        block.Bits.push_back(static_cast<uint8_t>(bit(i)));
        block.Margins.push_back(margin);
        block.Times.push_back(start + i * step);
    }
    block.Starts = {0};
    block.StartMargins = {0};
    block.Start = block.Times.front();
    block.End = block.Times.back() + 0.003;
    return block;
}

// 100 bits at the tape's pace (a 0 every 2.5 ms, a 1 every 4 ms) from 0.1 s, 1 0 1 1 0 (or the
// five bits of `pattern`, the first in its lowest bit) again and again, each as sure as `margin`.
TapeBlock PacedBlock(float margin, int pattern = 0x0D)
{
    TapeBlock block;
    double t = 0.1;
    for (int i = 0; i < 100; ++i) {
        const bool one = (pattern >> (i % 5)) & 1;
        block.Bits.push_back(one);
        block.Margins.push_back(margin);
        block.Times.push_back(t);
        t += one ? 0.004 : 0.0025;
    }
    block.Starts = {0};
    block.StartMargins = {0};
    block.Start = block.Times.front();
    block.End = t;
    return block;
}

TEST(MergeReadings, ReadingsSettleEachOthersDoubts)
{
    // Three readings of 600 bits, each with a doubtful bit read wrong, one that lost a bit and
    // one that gained one, each in its own place.
    std::mt19937 rng(15);
    TapeBlock truth;
    for (int i = 0; i < 600; ++i) {
        truth.Bits.push_back(static_cast<uint8_t>(rng() & 1));
        truth.Margins.push_back(0.9f);
        truth.Times.push_back(i * 0.003);
    }
    truth.Starts = {0};
    truth.StartMargins = {0};
    auto flipped = [&](size_t at) {
        TapeBlock block = truth;
        block.Bits[at] ^= 1;
        block.Margins[at] = 0.05f;
        return block;
    };
    TapeBlock lost = flipped(100);
    lost.Bits.erase(lost.Bits.begin() + 300);
    lost.Margins.erase(lost.Margins.begin() + 300);
    lost.Times.erase(lost.Times.begin() + 300);
    lost.Margins[299] = lost.Margins[300] = 0.0f;
    TapeBlock gained = flipped(450);
    gained.Bits.insert(gained.Bits.begin() + 200, 1);
    gained.Margins.insert(gained.Margins.begin() + 200, 0.0f);
    gained.Times.insert(gained.Times.begin() + 200, 0.6);
    const std::vector<std::vector<TapeBlock>> readings = {{lost}, {gained}, {flipped(520)}};
    for (const size_t count : {2u, 3u}) {
        SCOPED_TRACE(count);
        const std::vector<TapeBlock> merged = MergeReadings(
            std::vector<std::vector<TapeBlock>>(readings.begin(), readings.begin() + count));
        ASSERT_EQ(merged.size(), 1u);
        EXPECT_TRUE(merged[0].Bits == truth.Bits);
        EXPECT_EQ(merged[0].Sources.size(), count);
    }
}

TEST(MergeViews, APulseCountNoBitHasKeepsItsDoubt)
{
    // Two readings of one stretch, in which one counted a pulse count no bit has for bit 40: the
    // other's surer reading of it settles its value, but only views of one signal (which hear
    // the same pulses) keep it in doubt; a separate reading's odd count is its own damage.
    const TapeBlock clear = EvenBlock(100, 0.9f, 0, 0.004, [](int i) { return i % 3 == 0; });
    TapeBlock odd = clear;
    odd.Bits[40] ^= 1;
    odd.Margins[40] = 0.2f;
    odd.OddCounts = {40};
    odd.UncountedMargins = {0.3f};
    for (const bool views : {true, false}) {
        SCOPED_TRACE(views);
        const std::vector<std::vector<TapeBlock>> readings = {{clear}, {odd}};
        const std::vector<TapeBlock> merged =
            views ? MergeViews(readings) : MergeChannels(readings);
        ASSERT_EQ(merged.size(), 1u);
        EXPECT_TRUE(merged[0].Bits == clear.Bits);
        EXPECT_EQ(merged[0].Margins[40] < DOUBT_MARGIN, views);
        EXPECT_GT(merged[0].Margins[39], 0.8f);
    }
}

TEST(MergeViews, ViewsAreNeverLinedUpABitApart)
{
    // Views of a stretch that begins with 400 0s, the first with a stray bit heard before the
    // tape: lined up by their values alone, the first may match a bit early, yet views of one
    // signal share its timeline.
    std::mt19937 rng(7);
    TapeBlock clear =
        EvenBlock(600, 0.95f, 0.01, 0.0025, [&](int i) { return i >= 400 && (rng() & 1); });
    clear.End = clear.Times.back() + 0.002;
    TapeBlock stray = clear;
    stray.Bits.insert(stray.Bits.begin(), 0);
    stray.Margins.insert(stray.Margins.begin(), 0.5f);
    stray.Times.insert(stray.Times.begin(), 0.0075);
    stray.Start = 0.0075;
    for (size_t i = 20; i < 600; i += 20) stray.Margins[i] = 0.1f;  // the others hear surer
    const std::vector<TapeBlock> merged = MergeViews({{stray}, {clear}, {clear}});
    ASSERT_EQ(merged.size(), 1u);
    const std::vector<uint8_t> tail(merged[0].Bits.end() - 600, merged[0].Bits.end());
    EXPECT_TRUE(tail == clear.Bits);
    EXPECT_GT(*std::min_element(merged[0].Margins.end() - 600, merged[0].Margins.end()), 0.5f);
}

TEST(MergeViews, AViewThatRanNoiseIntoABurstDoesNotSettleItAlone)
{
    // The last view heard noise before the tape and ran it into the first burst: it began that
    // burst 0.85 ms early and heard a 1 where the first view heard the 0 it was, surer.
    TapeBlock first = EvenBlock(100, 0.9f, 0.1, 0.004, [](int i) { return i % 3 == 1; });
    first.Margins[0] = 0.65f;
    TapeBlock last = first;
    last.Bits[0] = 1;
    last.Margins[0] = 0.57f;
    last.Times[0] -= 0.85e-3;
    for (const double noise : {0.0965, 0.093, 0.0895}) {
        last.Bits.insert(last.Bits.begin(), 1);
        last.Margins.insert(last.Margins.begin(), 0.5f);
        last.Times.insert(last.Times.begin(), noise);
    }
    last.Start = last.Times.front();
    const std::vector<TapeBlock> merged = MergeViews({{first}, {}, {last}});
    ASSERT_EQ(merged.size(), 1u);
    const TapeBlock& m = merged[0];
    ASSERT_GE(m.Bits.size(), first.Bits.size());
    const size_t skip = m.Bits.size() - first.Bits.size();
    EXPECT_TRUE(std::vector<uint8_t>(m.Bits.begin() + static_cast<long>(skip), m.Bits.end()) ==
                first.Bits);
    EXPECT_LT(m.Margins[skip], DOUBT_MARGIN);
}

TEST(MergeViews, ABurstTheSurestViewHeardInTwoPiecesIsOneBit)
{
    // The surest view heard the 1 at bit 50 in two pieces, the first a 0 in doubt and the second
    // a bit of its own; another view heard that 1 whole and surely, and the bit before it surely,
    // the bit after it surely or in doubt.
    for (const float after : {0.95f, 0.25f}) {
        SCOPED_TRACE(after);
        TapeBlock whole = EvenBlock(100, 0.95f, 0.1, 0.004, [](int i) { return i % 3 == 2; });
        whole.Margins[51] = after;
        TapeBlock split = whole;
        for (float& margin : split.Margins) margin = 1.0f;
        split.Bits[50] = 0;
        split.Margins[50] = 0.45f;
        split.Bits.insert(split.Bits.begin() + 51, 0);
        split.Margins.insert(split.Margins.begin() + 51, 0.14f);
        split.Times.insert(split.Times.begin() + 51, split.Times[50] + 0.0019);
        TapeBlock first = whole;
        for (float& margin : first.Margins) margin = 0.3f;
        const std::vector<TapeBlock> merged = MergeViews({{first}, {whole}, {split}});
        ASSERT_EQ(merged.size(), 1u);
        EXPECT_TRUE(merged[0].Bits == whole.Bits);
    }
}

TEST(MergeViews, AOneTheFirstViewHeardAsAZeroAndAPieceIsInDoubt)
{
    // The first view heard the 1 at bit 50 as a 0 it is fairly sure of and a piece in doubt,
    // 2.7 ms later, that the next bit follows 1.3 ms after; the other views, surer elsewhere,
    // heard the 1 whole, unsure of it.
    TapeBlock whole = EvenBlock(100, 1.0f, 0.1, 0.004, [](int i) { return i % 3 == 2; });
    whole.Margins[50] = 0.0f;
    TapeBlock pieces = whole;
    for (size_t i = 0; i < 100; ++i) pieces.Margins[i] = i >= 70 && i < 90 ? 0.2f : 0.9f;
    pieces.Bits[50] = 0;
    pieces.Margins[50] = 0.65f;
    pieces.Bits.insert(pieces.Bits.begin() + 51, 0);
    pieces.Margins.insert(pieces.Margins.begin() + 51, 0.0f);
    pieces.Times.insert(pieces.Times.begin() + 51, pieces.Times[50] + 0.0027);
    const std::vector<TapeBlock> merged = MergeViews({{pieces}, {whole}, {whole}});
    ASSERT_EQ(merged.size(), 1u);
    EXPECT_TRUE(merged[0].Bits == whole.Bits);
    EXPECT_LT(merged[0].Margins[50], DOUBT_MARGIN);
}

TEST(MergeViews, AOneTheFirstViewHeardWhereTheNextBitFollowsTooSoonIsOverturned)
{
    // The tape's bits at their pace. The first view heard the 0 at bit 51 as a 1, just sure of
    // it, though the next bit follows as soon as after a 0, or beginning 0.9 ms early (noise run
    // into the burst); the last view heard the 0 surely. Or the first was surer of that early 1
    // and heard a bit of hiss after the block, so that the last, surer, settles its own bits
    // while the first's stay the reference.
    const TapeBlock last = PacedBlock(0.95f);
    for (const auto& [early, margin, hiss] :
         {std::tuple{0.0, 0.45f, false}, {0.0009, 0.45f, false}, {0.0009, 0.63f, true}}) {
        SCOPED_TRACE(early);
        TapeBlock first = last;
        first.Bits[51] = 1;
        first.Margins[51] = margin;
        first.Times[51] -= early;
        if (hiss) {
            first.Bits.push_back(0);
            first.Margins.push_back(0);
            first.Times.push_back(last.End + 0.003);
            first.End += 0.004;
        }
        const std::vector<TapeBlock> merged = MergeViews({{first}, {}, {last}});
        ASSERT_EQ(merged.size(), 1u);
        ASSERT_GE(merged[0].Bits.size(), last.Bits.size());
        EXPECT_TRUE(std::equal(last.Bits.begin(), last.Bits.end(), merged[0].Bits.begin()));
    }
}

TEST(MergeViews, A1HeardBeginTooSoonAfterTheBitBeforeWhereNoneFitsIsA0InDoubt)
{
    // Where a 1 heard for bit `k`, a 0, began before bit k - 1 could have ended, a 1's burst
    // does not fit before bit k + 1. Every view heard it so, beginning 0.8 ms too soon after a
    // sure 0 (that 0's echo run into it); or bit k - 1 is a 1 every view heard in doubt, and
    // one view heard bit k as a sure 1 beginning 1.3 ms early, another as a 0 in doubt.
    for (const bool after_sure : {true, false}) {
        SCOPED_TRACE(after_sure);
        const size_t k = after_sure ? 52 : 54;
        const TapeBlock truth = PacedBlock(0.95f, after_sure ? 0x09 : 0x0D);
        TapeBlock first = truth, last = truth;
        first.Bits[k] = 1;
        first.Margins[k] = after_sure ? 0.3f : 0.9f;
        first.Times[k] -= after_sure ? 0.0008 : 0.0013;
        if (after_sure) {
            last = first;
            last.Margins[k] = 0.2f;
        } else {
            first.Margins[k - 1] = 0.1f;
            last.Margins[k - 1] = 0.2f;
            last.Margins[k] = 0.0f;
            for (const size_t j : {10, 20, 30}) first.Margins[j] = 0.1f;  // the last is surer
        }
        const std::vector<TapeBlock> merged = MergeViews({{first}, {}, {last}});
        ASSERT_EQ(merged.size(), 1u);
        EXPECT_TRUE(merged[0].Bits == truth.Bits);
        EXPECT_LT(merged[0].Margins[k], DOUBT_MARGIN);
    }
}

TEST(MergeViews, TheReferencesBitsStandWhereOthersWouldBreakItsChecks)
{
    // The first view heard one bit of D_FILE wrongly, surely enough to outvote the other view,
    // whose program passes every check; that bit stays as the other heard it, in doubt.
    std::vector<uint8_t> bytes = ZxName("GAME");
    const std::vector<uint8_t> image = WellFormedZx81Image(5, 7);
    bytes.insert(bytes.end(), image.begin(), image.end());
    const auto bit = [&](int i) { return (bytes[i / 8] >> (7 - i % 8)) & 1; };
    const TapeBlock right = EvenBlock(static_cast<int>(8 * bytes.size()), 1.0f, 0.1, 0.004, bit);
    TapeBlock wrong = right;
    for (float& margin : wrong.Margins) margin = 0.9f;
    const size_t flipped = 8 * (4 + 3);  // the top bit of D_FILE's low byte
    wrong.Bits[flipped] ^= 1;
    wrong.Margins[flipped] = 0.6f;
    const std::vector<TapeBlock> merged = MergeViews({{wrong}, {right}});
    ASSERT_EQ(merged.size(), 1u);
    EXPECT_TRUE(merged[0].Bits == right.Bits);
    EXPECT_LT(merged[0].Margins[flipped], DOUBT_MARGIN);
}

TEST(MergeViews, AViewsFirstBitAfterHissIsAsSureAsAStart)
{
    // The first view heard hiss as two bits before the tape, so the break before its first bit
    // left that bit in doubt, though it is sure as a start; the surest view began at the tape
    // and heard its first bit wrongly, in doubt. The hiss bit next to the tape may lie at the
    // tape's pace, so that the combined block may begin at it, in doubt, or after it.
    for (const double hiss : {0.0013, 0.003}) {
        SCOPED_TRACE(hiss);
        const auto bit = [](int i) { return i % 3 == 0; };
        TapeBlock surest = EvenBlock(100, 1.0f, 0.1005, 0.004, bit);
        surest.Bits[0] = 0;
        surest.Margins[0] = 0.3f;
        TapeBlock first =
            EvenBlock(102, 0.9f, 0.1 - 0.008, 0.004, [&](int i) { return bit(i - 2); });
        first.Bits[0] = first.Bits[1] = 0;
        first.Times[0] = 0.1 - hiss - 0.0013;
        first.Times[1] = 0.1 - hiss;
        first.Margins[0] = first.Margins[1] = first.Margins[2] = 0.0f;
        first.Starts = {0, 2};
        first.StartMargins = {0.0f, 0.9f};
        first.Start = first.Times[0];
        const std::vector<TapeBlock> merged = MergeViews({{first}, {surest}});
        ASSERT_EQ(merged.size(), 1u);
        const size_t put = merged[0].Bits.size() - 100;
        EXPECT_EQ(put, hiss > 0.002 ? 1u : 0u);
        EXPECT_EQ(merged[0].Bits[put], 1);
        EXPECT_GE(merged[0].Margins[put], DOUBT_MARGIN);
    }
}

TEST(MergeViews, BitsTheSurestViewLostBeforeItsFirstAreThoseAnotherHeardSurely)
{
    // The surest view lost the block's first two bits (1 1), which another view heard, surely or
    // in doubt (hiss before the tape, as likely as not). Of those in doubt before the first sure
    // one, the one next to it is put in, still in doubt: the block may begin at it or after it.
    // The surest may have heard its first bit a little late, after the other's, or early and in
    // doubt, where the other's bits keep their own pace up to it.
    struct Case {
        float Lost[2];
        double Moved;  // the surest's first bit, later than the other's
    };
    for (const Case& c : std::initializer_list<Case>{{{0.9f, 0.9f}, 0},
                                                     {{0.3f, 0.3f}, 0},
                                                     {{0.9f, 0.3f}, 0},
                                                     {{0.9f, 0.9f}, 0.0002},
                                                     {{0.9f, 0.9f}, -0.001}}) {
        SCOPED_TRACE(testing::Message() << c.Lost[0] << " " << c.Lost[1] << " " << c.Moved);
        const auto bit = [](int i) { return i % 3 != 2; };
        TapeBlock first = EvenBlock(100, 0.3f, 0.1, 0.004, bit);
        first.Margins[0] = c.Lost[0];
        first.Margins[1] = c.Lost[1];
        TapeBlock surest = EvenBlock(98, 1.0f, 0.108, 0.004, [&](int i) { return bit(i + 2); });
        surest.Times[0] += c.Moved;
        if (c.Moved < 0) surest.Margins[0] = 0.3f;
        surest.Start = surest.Times[0];
        const std::vector<TapeBlock> merged = MergeViews({{first}, {surest}});
        ASSERT_EQ(merged.size(), 1u);
        const size_t put = c.Lost[0] > 0.5f ? 2 : 1;
        EXPECT_TRUE(merged[0].Bits ==
                    std::vector<uint8_t>(first.Bits.end() - 98 - put, first.Bits.end()));
        EXPECT_EQ(merged[0].Margins[0] < DOUBT_MARGIN, c.Lost[0] < DOUBT_MARGIN);
        // The block may still begin where the surest began.
        const std::vector<size_t>& starts = merged[0].Starts;
        EXPECT_EQ(std::count(starts.begin(), starts.end(), put), 1);
        EXPECT_EQ(starts.front(), 0u);
    }
}

TEST(MergeViews, AStretchTheSurestViewRanTogetherIsAsAnotherHeardItSurely)
{
    // The tape's bits at their pace (a 0 every 2.5 ms, a 1 every 4 ms). The surest view heard
    // five of them (1 0 1 1 0) as four in doubt, bursts run together, where the other view heard
    // them surely: inside the block, and at its start, where the first of the four is sure and
    // wrong (a comparator not yet settled), or where both views also heard hiss before the
    // tape, and the other its first bit in doubt.
    TapeBlock first = PacedBlock(0.9f);
    std::fill(first.Margins.begin() + 70, first.Margins.begin() + 80, 0.2f);  // doubt elsewhere
    for (const auto& [from, hiss] : {std::pair{40L, false}, {0L, false}, {0L, true}}) {
        SCOPED_TRACE(testing::Message() << from << " " << hiss);
        TapeBlock surest = first;
        std::fill(surest.Margins.begin(), surest.Margins.end(), 1.0f);
        for (double& time : surest.Times) time += 0.0003;
        const double at = first.Times[static_cast<size_t>(from)];
        surest.Bits.erase(surest.Bits.begin() + from, surest.Bits.begin() + from + 5);
        surest.Margins.erase(surest.Margins.begin() + from, surest.Margins.begin() + from + 5);
        surest.Times.erase(surest.Times.begin() + from, surest.Times.begin() + from + 5);
        const double heard[] = {-0.0004, 0.0048, 0.0088, 0.0129};
        for (long k = 3; k >= 0; --k) {
            surest.Bits.insert(surest.Bits.begin() + from, k == 0 && from > 0);
            const bool sure = k == 0 && from == 0 && !hiss;
            surest.Margins.insert(surest.Margins.begin() + from, sure ? 1.0f : 0.2f);
            surest.Times.insert(surest.Times.begin() + from, at + heard[k]);
        }
        TapeBlock other = first;
        if (hiss) {
            other.Margins[0] = 0.3f;
            for (const double before : {0.0065, 0.008}) {
                other.Bits.insert(other.Bits.begin(), 0);
                other.Margins.insert(other.Margins.begin(), 0.0f);
                other.Times.insert(other.Times.begin(), at - before);
            }
            surest.Bits.insert(surest.Bits.begin(), 1);
            surest.Margins.insert(surest.Margins.begin(), 0.0f);
            surest.Times.insert(surest.Times.begin(), at - 0.0077);
            other.Start = other.Times.front();
        }
        surest.Start = surest.Times.front();
        const std::vector<TapeBlock> merged = MergeViews({{other}, {surest}});
        ASSERT_EQ(merged.size(), 1u);
        EXPECT_TRUE(merged[0].Bits == first.Bits);
        EXPECT_EQ(merged[0].Starts.front(), 0u);
    }
}

TEST(MergeViews, APlaceToBeginInsideAStretchTakenKeepsItsMoment)
{
    // The surest view heard hiss, then the block's first five bits run together as four in
    // doubt, and knew where the block begins; the other heard hiss too, a sure bit of it just
    // before the tape, and the five bits surely.
    TapeBlock truth = PacedBlock(0.9f);
    std::fill(truth.Margins.begin() + 70, truth.Margins.end(), 0.2f);  // the other's doubt
    TapeBlock other = truth;
    for (const double before : {0.0025, 0.0065}) {
        other.Bits.insert(other.Bits.begin(), 0);
        other.Margins.insert(other.Margins.begin(), before < 0.005 ? 0.9f : 0.0f);
        other.Times.insert(other.Times.begin(), 0.1 - before);
    }
    other.Start = other.Times.front();
    TapeBlock surest = truth;
    surest.Bits.erase(surest.Bits.begin(), surest.Bits.begin() + 5);
    surest.Times.erase(surest.Times.begin(), surest.Times.begin() + 5);
    surest.Bits.insert(surest.Bits.begin(), {0, 1, 1, 0, 1});
    surest.Times.insert(surest.Times.begin(), {0.094, 0.1, 0.1048, 0.1088, 0.1129});
    surest.Margins.assign(surest.Bits.size(), 1.0f);
    std::fill(surest.Margins.begin(), surest.Margins.begin() + 5, 0.2f);
    surest.Starts = {0, 1};
    surest.StartMargins = {0, 0.9f};
    surest.Start = surest.Times.front();
    const std::vector<TapeBlock> merged = MergeViews({{other}, {surest}});
    ASSERT_EQ(merged.size(), 1u);
    const size_t first = merged[0].Bits.size() - 100;
    EXPECT_TRUE(std::equal(truth.Bits.begin(), truth.Bits.end(), merged[0].Bits.begin() + first));
    const std::vector<size_t>& starts = merged[0].Starts;
    EXPECT_NE(std::find(starts.begin(), starts.end(), first), starts.end());
}

TEST(MergeViews, AStretchTheSurestHeardInDoubtAndOutOfPlaceIsSettledBitForBit)
{
    // The tape's bits at their pace. The surest view began late, a comparator not yet settled:
    // its first 20 bits 1.4 ms early, five of them in doubt and all 0, where the other heard as
    // many surely: they are the same bits, each settled with its own.
    TapeBlock other = PacedBlock(0.9f);
    std::fill(other.Margins.begin() + 70, other.Margins.end(), 0.2f);  // its own doubt
    TapeBlock surest = other;
    surest.Bits.erase(surest.Bits.begin(), surest.Bits.begin() + 11);
    surest.Margins.assign(surest.Bits.size(), 1.0f);
    surest.Times.erase(surest.Times.begin(), surest.Times.begin() + 11);
    for (size_t i = 0; i < 20; ++i) {
        if (i > 0 && i < 6) {
            surest.Bits[i] = 0;
            surest.Margins[i] = 0;
        }
        surest.Times[i] -= 0.0014;
    }
    surest.Start = surest.Times[0];
    const std::vector<TapeBlock> merged = MergeViews({{other}, {surest}});
    ASSERT_EQ(merged.size(), 1u);
    EXPECT_TRUE(merged[0].Bits == other.Bits);
}

TEST(MergeViews, AStretchAViewHeardAtTheTapesPaceHasItsNumberOfBits)
{
    // The tape's bits at their pace (1 0 1 1 0 again and again). One view lost its hold for a
    // while: its 1 at bit 42 in doubt, the 1 after it heard late as a 0, the bits after that
    // 1.1 ms late and the 0 at bit 46 lost, so that its pace breaks, all else sure. The other
    // heard them all at the pace, two of them in doubt; either may be the surer.
    for (const bool other_surer : {false, true}) {
        SCOPED_TRACE(other_surer);
        TapeBlock other = PacedBlock(0.9f);
        other.Margins[44] = other.Margins[46] = 0.3f;
        TapeBlock lost = other;
        if (!other_surer) other.Margins[80] = 0.3f;
        lost.Margins.assign(lost.Bits.size(), 1.0f);
        lost.Margins[42] = 0;
        lost.Bits[43] = 0;
        lost.Margins[43] = 0.82f;
        lost.Times[43] += 0.0022;
        for (size_t i = 44; i < 49; ++i) lost.Times[i] += 0.0011;
        lost.Bits.erase(lost.Bits.begin() + 46);
        lost.Margins.erase(lost.Margins.begin() + 46);
        lost.Times.erase(lost.Times.begin() + 46);
        lost.Start = lost.Times[0];
        const std::vector<TapeBlock> merged = MergeViews({{other}, {lost}});
        ASSERT_EQ(merged.size(), 1u);
        EXPECT_TRUE(merged[0].Bits == PacedBlock(0.9f).Bits);
    }
}

TEST(MergeViews, WhereViewsHeardABurstApartThePaceAndTheirNumbersTellItsBits)
{
    // The tape's bits at their pace (bits 50 to 53: 1 0 1 1). The surer view heard them all but
    // for one of the damages a copy leaves; the other view, in doubt elsewhere, heard them
    // otherwise. 0: the surer view fairly sure of the 0 at bit 51 and in doubt of the 1 after
    // it, begun 0.7 ms early, where the other heard the 0 as a 1 and the 1 as a 0 in doubt,
    // 1.2 ms late. 1: the other heard the 1 at bit 52 as two 0s, surer than the surer view, the
    // next bit too soon after. 2: the surer view as in 0; the other lost the 0 at bit 51 and was
    // unsure of bit 50. 3: bits 50 to 53 are 1 0 0 1; the surer view in doubt of the second 0,
    // begun 0.4 ms early, the other heard both 0s as one 1, at the pace but too short.
    auto drop = [](TapeBlock* block, long i) {
        block->Bits.erase(block->Bits.begin() + i);
        block->Margins.erase(block->Margins.begin() + i);
        block->Times.erase(block->Times.begin() + i);
    };
    for (int damage = 0; damage < 4; ++damage) {
        SCOPED_TRACE(damage);
        const TapeBlock truth = PacedBlock(0.95f, damage == 3 ? 0x09 : 0x0D);
        TapeBlock surer = truth;
        TapeBlock other = truth;
        std::fill(other.Margins.begin() + 70, other.Margins.begin() + 90, 0.2f);
        if (damage == 0 || damage == 2) {
            surer.Margins[51] = 0.5f;
            surer.Margins[52] = 0.35f;
            surer.Times[52] -= 0.0007;
        }
        switch (damage) {
            case 0:
                other.Bits[51] = 1;
                other.Margins[51] = 0.56f;
                other.Bits[52] = 0;
                other.Margins[52] = 0.02f;
                other.Times[52] += 0.0012;
                break;
            case 1:
                other.Bits[52] = 0;
                other.Margins[52] = 1.0f;
                other.Bits.insert(other.Bits.begin() + 53, 0);
                other.Margins.insert(other.Margins.begin() + 53, 0.9f);
                other.Times.insert(other.Times.begin() + 53, other.Times[52] + 0.0021);
                break;
            case 2:
                drop(&other, 51);
                other.Margins[50] = 0;
                other.Margins[51] = 0.57f;
                break;
            default:
                surer.Margins[52] = 0.1f;
                surer.Times[52] -= 0.0004;
                drop(&other, 52);
                other.Bits[51] = 1;
                other.Margins[51] = 0.5f;
                other.Times[51] += 0.0004;
        }
        const std::vector<TapeBlock> merged = MergeViews({{other}, {surer}});
        ASSERT_EQ(merged.size(), 1u);
        EXPECT_TRUE(merged[0].Bits == truth.Bits);
    }
}

TEST(MergeViews, AgreementCountsTheBitsBothViewsHeardSurely)
{
    const auto bit = [](int i) { return i % 3 == 0; };
    const TapeBlock block = EvenBlock(100, 0.9f, 0.1, 0.004, bit);
    TapeBlock other = EvenBlock(100, 0.9f, 0.1003, 0.004, bit);
    for (const int i : {0, 1, 2, 3, 4, 50, 51, 52}) other.Bits[static_cast<size_t>(i)] ^= 1;
    for (const int i : {0, 1, 2, 3, 4}) other.Margins[static_cast<size_t>(i)] = 0.2f;
    size_t both = 0;
    EXPECT_DOUBLE_EQ(SureAgreement(block, {other}, &both), 92.0 / 95.0);
    EXPECT_EQ(both, 95u);
}

TEST(MergeViews, AFirstBitIsHeardOtherwiseWhereABitOfTheOtherValueBeganWithinReach)
{
    // A view's first bit, a sure 0, begun as late as a comparator that settled near the end of a
    // 1's burst; the other view's nearest bit began `apart` earlier.
    for (const auto& [apart, other_bit, otherwise] :
         {std::tuple{0.0013, 1, true}, {0.0026, 1, true}, {0.0013, 0, false}, {0.0035, 1, false}}) {
        SCOPED_TRACE(apart);
        TapeBlock late = PacedBlock(0.9f);
        late.Bits[0] = 0;
        TapeBlock other = PacedBlock(0.9f);
        other.Bits[0] = static_cast<uint8_t>(other_bit);
        other.Times[0] = late.Times[0] - apart;
        EXPECT_EQ(HeardOtherwise(late, 0, {other}, ONE_BURST_SECONDS), otherwise);
    }
}

TEST(MergeChannels, NoBitIsPutInsideASure1)
{
    // The other channel heard a piece of the 1 at bit 50 as a bit of its own, a 0's place after
    // its start but inside the 1's.
    const TapeBlock sure = EvenBlock(100, 0.95f, 0.1, 0.0041, [](int i) { return i % 3 != 1; });
    TapeBlock other = sure;
    for (float& margin : other.Margins) margin = 0.5f;
    other.Bits.insert(other.Bits.begin() + 51, 0);
    other.Margins.insert(other.Margins.begin() + 51, 0.0f);
    other.Times.insert(other.Times.begin() + 51, other.Times[50] + 0.00205);
    const std::vector<TapeBlock> merged = MergeChannels({{sure}, {other}});
    ASSERT_EQ(merged.size(), 1u);
    EXPECT_TRUE(merged[0].Bits == sure.Bits);
}

TEST(MergeChannels, ABitInDoubtTakesTheNearestBitOfTheOther)
{
    // The reference's first bit is in doubt (so it reaches further for the other's); the other
    // heard noise before the tape as a bit, 1.3 ms earlier, and then that first bit surely.
    TapeBlock doubt = EvenBlock(100, 0.95f, 0.1, 0.004, [](int i) { return i % 3 == 0; });
    doubt.Bits[0] = 0;
    doubt.Margins[0] = 0.0f;
    TapeBlock other = EvenBlock(100, 0.9f, 0.1, 0.004, [](int i) { return i % 3 == 0; });
    other.Margins[10] = other.Margins[20] = 0.2f;
    other.Times[0] += 0.05e-3;
    other.Bits.insert(other.Bits.begin(), 0);
    other.Margins.insert(other.Margins.begin(), 0.0f);
    other.Times.insert(other.Times.begin(), 0.1 - 1.3e-3);
    other.Start = other.Times.front();
    const std::vector<TapeBlock> merged = MergeChannels({{doubt}, {other}});
    ASSERT_EQ(merged.size(), 1u);
    ASSERT_GE(merged[0].Bits.size(), 100u);
    EXPECT_EQ(merged[0].Bits[merged[0].Bits.size() - 100], 1);
}

}  // namespace
