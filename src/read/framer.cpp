#include "read/framer.h"

#include <algorithm>
#include <cmath>

#include "zx/machine.h"
#include "zx/tape.h"

namespace {

// The longest program a block can hold: the largest image after the longest name.
constexpr size_t LONGEST_BLOCK = LONGEST_IMAGE + 256;

// How well a burst of this length fits a bit: 1 from a little short of a 0 to a little beyond a
// 1, falling to 0 for a burst much shorter than a 0 or much longer than a 1.
double LengthFit(const Framer* f, double length)
{
    const ReaderSettings& s = f->Settings;
    double fit = 1.0;
    if (length < f->Pace.ZeroLength) {
        fit = std::log(length / f->Pace.ZeroLength / s.TooShort) / std::log(s.ShortOk / s.TooShort);
    } else if (length > f->Pace.OneLength) {
        fit = std::log(s.TooLong * f->Pace.OneLength / length) / std::log(s.TooLong / s.LongOk);
    }
    return std::clamp(fit, 0.0, 1.0);
}

// How sure a burst of this length is, from its length alone: its distance from the boundary
// between the two kinds (see BitMargin), and how well it fits a bit at all.
double LengthMargin(const Framer* f, double length)
{
    return std::min(BitMargin(length, f->Pace.ZeroLength, f->Pace.OneLength), LengthFit(f, length));
}

// How much a pause of `ratio` typical pauses speaks for the bits beside it.
double PauseConfidence(const ReaderSettings& s, double ratio)
{
    if (ratio < s.PauseNormalLow) {
        return std::clamp((ratio - s.PauseLimitLow) / (s.PauseNormalLow - s.PauseLimitLow), 0.0,
                          1.0);
    }
    if (ratio > s.PauseNormalHigh) {
        return std::clamp((s.PauseLimitHigh - ratio) / (s.PauseLimitHigh - s.PauseNormalHigh), 0.0,
                          1.0);
    }
    return 1.0;
}

// Whether a pause of `ratio` typical pauses is as a pause should be.
bool PauseIsNormal(const ReaderSettings& s, double ratio)
{
    return ratio >= s.PauseNormalLow && ratio <= s.PauseNormalHigh;
}

// The strength a burst would show were it long enough: one shorter than the window the
// strength is measured over shows only part of it.
double FullStrength(const ReaderSettings& s, const Burst& burst)
{
    const double length = burst.End - burst.Start;
    return burst.Strength * std::max(1.0, s.StrengthWindowSeconds / std::max(length, 1e-6));
}

double NoiseConfidence(const ReaderSettings& s, const Burst& burst)
{
    if (burst.Noise <= 0) return 1.0;
    const double clearance = burst.Strength / burst.Noise;
    return std::clamp((clearance - s.NoiseEntry) / (s.ClearOfNoise - s.NoiseEntry), 0.0, 1.0);
}

void AppendBit(Framer* f, bool one, double margin, double start)
{
    TapeBlock& block = f->Current.Block;
    block.Bits.push_back(one ? 1 : 0);
    block.Margins.push_back(static_cast<float>(std::clamp(margin, 0.0, 1.0)));
    block.Times.push_back(start);
    if (f->Trace != nullptr) {
        fprintf(f->Trace, "bit %d %.6f %d %.3f %zu\n", f->Channel, start, one ? 1 : 0,
                static_cast<double>(block.Margins.back()), block.Bits.size() - 1);
    }
}

// The held bit goes into the block, its margin lowered by the pause after it.
void ReleaseHeld(Framer* f, double pause_after)
{
    HeldBit& held = f->Held;
    if (!held.Waiting) return;
    held.Waiting = false;
    const double after =
        pause_after >= 0 ? PauseConfidence(f->Settings, pause_after / f->Pace.PauseLength) : 1.0;
    TapeBlock& block = f->Current.Block;
    if (held.Breaks) {
        block.Starts.push_back(block.Bits.size());
        block.StartMargins.push_back(static_cast<float>(std::min(held.Unpaused, after)));
    }
    double margin = std::min(held.Margin, after);
    if (held.OddCount) {
        // In doubt for its count, whatever else says; what else says is kept for combining.
        block.OddCounts.push_back(block.Bits.size());
        block.UncountedMargins.push_back(static_cast<float>(std::clamp(margin, 0.0, 1.0)));
        margin = std::min(margin, f->Settings.PulsesOdd);
        held.Unpaused = std::min(held.Unpaused, f->Settings.PulsesOdd);
    }
    if (margin < held.Unpaused) {
        block.PausedBits.push_back(block.Bits.size());
        block.UnpausedMargins.push_back(static_cast<float>(std::clamp(held.Unpaused, 0.0, 1.0)));
    }
    AppendBit(f, held.One, margin, held.Start);
    block.End = held.End;
}

// A new block may come from another tape at another speed: the typical lengths start afresh.
void ResetBlock(Framer* f)
{
    f->Pace.ZeroLength = ZERO_BURST_SECONDS;
    f->Pace.OneLength = ONE_BURST_SECONDS;
    f->Pace.PauseLength = BIT_PAUSE_SECONDS;
    f->Pace.PulseTrust = f->Settings.FirstTrust;  // unknown until the block shows it
    f->Current = BlockUnderWay{};
    f->Current.Block.Starts.push_back(0);
    f->Current.Block.StartMargins.push_back(0.0f);  // unused: no break comes before the first bit
    f->Held.Waiting = false;
}

// Ends the block under way. It is kept if it holds a whole byte and its bits once kept the
// tape's pace: bits that never did were noise.
void EndBlock(Framer* f)
{
    ReleaseHeld(f, -1);
    TapeBlock& block = f->Current.Block;
    const bool kept = block.Bits.size() >= 8 && f->Current.SinceBreak >= f->Settings.SettledBits;
    if (f->Trace != nullptr && !block.Bits.empty()) {
        fprintf(f->Trace, "block %d %.6f %.6f %zu %s\n", f->Channel, block.Start, block.End,
                block.Bits.size(), kept ? "kept" : "noise");
    }
    if (kept) {
        if (f->Current.Counted > 0) {
            block.CountsAgree = static_cast<float>(f->Current.CountsAgreed) /
                                static_cast<float>(f->Current.Counted);
        }
        ++f->BlocksKept;
        f->LastBlockEnd = block.End;
        f->Finished.push_back(std::move(block));
    }
    ResetBlock(f);
}

void HoldBit(Framer* f, bool one, double margin, double start, double end)
{
    HeldBit& held = f->Held;
    held.Waiting = true;
    held.Breaks = false;
    held.OddCount = false;
    held.Length = end - start;
    held.One = one;
    held.Margin = margin;
    held.Unpaused = margin;
    held.Start = start;
    held.End = end;
    BlockUnderWay& current = f->Current;
    current.LastBitEnd = end;
    ++current.SinceBreak;
    if (current.Bits == 0) {
        current.Block.Start = start;
        current.Block.SilenceBefore = start - f->LastBlockEnd;
        current.Block.FirstInRecording = f->BlocksKept == 0;
    }
    ++current.Bits;
}

// The first bits of a block keep the tape's pace and level and are bursts of a bit's length.
// Where one breaks them, the block may really begin there (what came before may have been noise,
// or the start of the tape may be damaged: the program's reading decides), and *breaks is set.
// Bits that never settle are noise. False where the burst is noise that no block starts with.
bool YoungBlockTakes(Framer* f, const Burst& burst, double gap, bool* breaks)
{
    const ReaderSettings& s = f->Settings;
    BlockUnderWay& current = f->Current;
    const double length = burst.End - burst.Start;
    const bool fits = length > s.YoungShortest * ZERO_BURST_SECONDS &&
                      length < s.YoungLongest * ONE_BURST_SECONDS;
    *breaks = false;
    if (current.Bits == 0) return fits;
    const double pause = f->Pace.PauseLength;
    if (current.SinceBreak >= s.SettledBits ||
        (fits && gap >= s.YoungPauseLow * pause && gap <= s.YoungPauseHigh * pause &&
         burst.Strength <= s.LevelChange * current.Level &&
         burst.Strength >= current.Level / s.LevelChange)) {
        return true;
    }
    if (current.Bits >= s.UnsettledLimit) {
        if (f->Trace != nullptr) fprintf(f->Trace, "unsettled %d %.6f\n", f->Channel, burst.Start);
        ResetBlock(f);
        return fits;
    }
    *breaks = true;
    current.SinceBreak = 0;
    current.Level = burst.Strength;
    return true;
}

// Of the held bit and this burst, which the excess of a long pause between them belongs to:
// the one it makes clearly clearer; else, where the level changes across the pause, the louder
// (the edge of a dip cut it); else the one that was clearly the less clear before; else the
// first if it came out weaker than the bursts before it.
bool ExcessToHeld(const Framer* f, const Burst& burst, double length, double excess)
{
    const ReaderSettings& s = f->Settings;
    const HeldBit& held_bit = f->Held;
    const double own = LengthMargin(f, length);
    const double held = LengthMargin(f, held_bit.Length);
    const double own_grown = LengthMargin(f, length + excess);
    const double held_grown = LengthMargin(f, held_bit.Length + excess);
    bool held_better = held_bit.Strength < s.Weakened * held_bit.Level;
    if (std::fabs((held_grown - held) - (own_grown - own)) > s.Clearly) {
        held_better = held_grown - held > own_grown - own;
    }
    if (burst.Strength < held_bit.Strength / 2) held_better = true;
    if (burst.Strength > 2 * held_bit.Strength) held_better = false;
    if (std::fabs(held_grown - own_grown) > s.Clearly) held_better = held_grown > own_grown;
    const bool unclear = own < s.WornMargin || held < s.WornMargin;
    return unclear ? held < s.WornMargin && (own >= s.WornMargin || held_better) : held_better;
}

// What a burst's length and place say, before the pulses and the noise have their say.
struct BurstReading {
    double Length = 0;
    bool Reconstructed = false;
    // Timed as the machine times it, its length took the excess of a long pause before it and it
    // is the same bit for that: its margin is its grown length's, not none.
    bool Grown = false;
    double PauseBefore = -1;  // -1: none counts (the block's first bit)
};

// A timed burst runs from the first busy sample to the last, so a long pause beside one is faint
// pulses at its edge that the comparator did not hear, and the machine's own input may well have.
// Where giving them back makes it no other bit, the bit is as sure as its grown length says.
// Anything else put back has no margin.
bool GrowsSame(const Framer* f, double length, double excess, double boundary)
{
    return f->Timed && (length >= boundary) == (length + excess >= boundary);
}

// A pause longer than pauses are follows a burst whose end was worn away, comes before one whose
// start was, or is the place of a burst lost entirely. The excess counts as part of the burst
// beside it whose own length is unclear (of two unclear ones, the one it makes clearer); where
// both are clear, a bit as long as the place is put back, with no margin.
void MendLongPause(Framer* f, const Burst& burst, double gap, double boundary, BurstReading* r)
{
    const ReaderSettings& s = f->Settings;
    const TapePace& pace = f->Pace;
    HeldBit& held_bit = f->Held;
    const double excess = gap - pace.PauseLength;
    const double missing = gap - 2.0 * pace.PauseLength;
    const double own = LengthMargin(f, r->Length);
    const double held = held_bit.Waiting ? LengthMargin(f, held_bit.Length) : 1.0;
    const bool lost_fits =
        missing > s.LostShortest * pace.ZeroLength && missing < s.LostLongest * pace.OneLength;
    const bool unclear = own < s.WornMargin || held < s.WornMargin;
    const bool large = excess > s.LargeExcess * pace.ZeroLength;  // more than jitter
    if (held_bit.Waiting && excess > s.WornExcess * pace.PauseLength &&
        excess < pace.PauseLength + pace.OneLength && (unclear || (large && !lost_fits))) {
        if (ExcessToHeld(f, burst, r->Length, excess)) {
            const double grown =
                GrowsSame(f, held_bit.Length, excess, boundary)
                    ? std::min(held_bit.Margin, LengthMargin(f, held_bit.Length + excess))
                    : 0.0;
            held_bit.Length += excess;
            held_bit.One = held_bit.Length >= boundary;
            held_bit.Margin = held_bit.Unpaused = grown;
            held_bit.End += excess;
            if (own < s.WornMargin) r->Reconstructed = true;
        } else {
            r->Grown = !r->Reconstructed && GrowsSame(f, r->Length, excess, boundary);
            r->Length += excess;
            r->Reconstructed = true;
            if (held < s.WornMargin) held_bit.Margin = held_bit.Unpaused = 0.0;
        }
        r->PauseBefore = pace.PauseLength;
    } else if (lost_fits) {
        const double half = 0.5 * (gap - missing);
        ReleaseHeld(f, half);
        const double lost_start = f->Current.LastBitEnd + half;
        if (f->Trace != nullptr) fprintf(f->Trace, "lost %d %.6f\n", f->Channel, lost_start);
        HoldBit(f, missing >= boundary, 0.0, lost_start, lost_start + missing);
        r->PauseBefore = half;
    }
}

// Where the pulses can be counted reliably (their count has agreed with clear lengths), a length
// near the boundary is settled by them, and pulses that disagree with a length make it doubtful.
// Filters can make the count meaningless: then it is not heard. Counted exactly, a 0's or a 1's
// count is as good evidence as a clear length (it is what the machine itself goes by), and any
// other count puts the bit in doubt whatever its length: true if it does (the margin is left as
// the rest of the evidence has it, to be capped once the bit is kept).
bool WeighPulses(Framer* f, const Burst& burst, bool* one, double* margin)
{
    const ReaderSettings& s = f->Settings;
    const int below = f->ExactCounts ? 0 : s.PulsesBelow;
    const bool says_zero = burst.Pulses >= PULSES_ZERO - below &&
                           burst.Pulses <= PULSES_ZERO + (f->ExactCounts ? 0 : s.PulsesAbove);
    const bool says_one = burst.Pulses >= PULSES_ONE - below &&
                          burst.Pulses <= PULSES_ONE + (f->ExactCounts ? 0 : s.OnePulsesAbove);
    if (*margin >= s.ClearLength && burst.Pulses >= 0) {
        const bool agree = *one ? says_one : says_zero;
        f->Pace.PulseTrust += s.TrustWeight * ((agree ? 1.0 : 0.0) - f->Pace.PulseTrust);
        ++f->Current.Counted;
        f->Current.CountsAgreed += agree;
    }
    // In noise a count is easily one off: only a burst clear of the noise is counted.
    if (f->Pace.PulseTrust < s.TrustedPulses || NoiseConfidence(s, burst) < 1.0) return false;
    if (!(says_zero || says_one)) {
        if (!f->ExactCounts || burst.Pulses < 0) return false;
        // A burst as long as its count makes it lost or gained whole pulses on tape; one nearly
        // as long as a 0's or a 1's was miscounted (ringing at its edge crossed the threshold, a
        // deck smeared it), and its count says nothing.
        const double pulse = (f->Pace.OneLength - f->Pace.ZeroLength) / (PULSES_ONE - PULSES_ZERO);
        const double length = burst.End - burst.Start;
        auto off = [&](int pulses) {
            return std::fabs(length - f->Pace.ZeroLength - (pulses - PULSES_ZERO) * pulse);
        };
        if (off(burst.Pulses) >= s.PulsesOddLength * std::min(off(PULSES_ZERO), off(PULSES_ONE))) {
            return false;
        }
        // A length near the boundary goes by the nearer count, as the machine's own does.
        if (*margin < s.PulsesSettle) *one = 2 * burst.Pulses > PULSES_ZERO + PULSES_ONE;
        return true;
    }
    if (f->ExactCounts && *one == says_one) {
        *margin = std::max(*margin, s.PulsesCounted);
        return false;
    }
    if (*margin < s.PulsesSettle) {
        *one = says_one;
        *margin = std::min(*margin, s.PulsesSettle);
    } else if (*one != says_one) {
        // Pulses and length disagree: where the length is not beyond doubt, the pulses win (a
        // codec smears a burst's length, not its pulses); either way it is in doubt.
        if (*margin < s.PulsesOverrule) *one = says_one;
        *margin = std::min(*margin, s.PulsesDisagree);
    }
    return false;
}

// Follows the tape's speed and level, from the block's first bits on: a tape played slow or fast
// is one from its start. Returns the block's level before this burst.
double FollowPace(Framer* f, const Burst& burst, double gap, bool paced, bool first, bool one,
                  double margin, const BurstReading& r)
{
    const ReaderSettings& s = f->Settings;
    TapePace& pace = f->Pace;
    if (paced && gap > 0 && gap < s.PaceLongestPause * pace.PauseLength && !r.Reconstructed) {
        pace.PauseLength += s.LengthWeight * (gap - pace.PauseLength);
    }
    double& typical = one ? pace.OneLength : pace.ZeroLength;
    if ((paced || first) && !r.Grown && margin > s.PaceMargin &&
        r.Length > s.PaceShortest * pace.ZeroLength && r.Length < s.PaceLongest * pace.OneLength) {
        typical += s.LengthWeight * (r.Length - typical);
    }
    BlockUnderWay& current = f->Current;
    const double level_before = current.Level;
    current.Level = current.Bits == 0
                        ? burst.Strength
                        : current.Level + s.LevelWeight * (burst.Strength - current.Level);
    return level_before;
}

// A burst, whole or joined from pieces, is a bit.
void TakeBurst(Framer* f, const Burst& burst, bool joined)
{
    const ReaderSettings& s = f->Settings;
    const double gap = f->Current.LastBitEnd < 0 ? -1.0 : burst.Start - f->Current.LastBitEnd;
    if (gap > BLOCK_GAP_SECONDS) EndBlock(f);
    bool breaks = false;
    if (!YoungBlockTakes(f, burst, gap, &breaks)) return;
    const bool settled = f->Current.SinceBreak >= s.SettledBits;
    const bool first = f->Current.Bits == 0;

    BurstReading r;
    r.Length = burst.End - burst.Start;
    r.Reconstructed = joined;
    r.PauseBefore = first ? -1.0 : gap;
    const double boundary = std::sqrt(f->Pace.ZeroLength * f->Pace.OneLength);
    if (settled) MendLongPause(f, burst, gap, boundary, &r);

    bool one = r.Length >= boundary;
    double margin = LengthMargin(f, r.Length);
    const bool odd_count = WeighPulses(f, burst, &one, &margin);
    margin = std::min(margin, NoiseConfidence(s, burst));
    // A block that follows another within moments began where the tape came back (after a
    // dropout, say): its first burst may have begun before that, and its length says nothing.
    const bool cut_start =
        first && f->BlocksKept > 0 && burst.Start - f->LastBlockEnd < LEAD_IN_SECONDS;
    if ((r.Reconstructed && !r.Grown) || cut_start) margin = 0.0;
    const double margin_as_start = margin;
    if (r.PauseBefore >= 0) {
        margin = std::min(margin, PauseConfidence(s, r.PauseBefore / f->Pace.PauseLength));
    }
    const double level_before = FollowPace(f, burst, gap, !first && !breaks, first, one,
                                           odd_count ? std::min(margin, s.PulsesOdd) : margin, r);

    ReleaseHeld(f, r.PauseBefore);
    if (first) f->Current.Block.ClearStart = NoiseConfidence(s, burst) >= 1.0;
    HoldBit(f, one, margin, burst.End - r.Length, burst.End);
    f->Held.OddCount = odd_count;
    f->Held.Strength = burst.Strength;
    f->Held.Level = level_before;
    f->Held.Breaks = breaks;
    f->Held.Unpaused = margin_as_start;
    // No program is longer: a block never outgrows one, however long the signal goes on.
    if (f->Current.Block.Bits.size() >= 8 * LONGEST_BLOCK) EndBlock(f);
}

void FlushPending(Framer* f)
{
    if (!f->Pending.Waiting) return;
    f->Pending.Waiting = false;
    TakeBurst(f, f->Pending.Piece, f->Pending.Joined);
}

void JoinPending(Framer* f, const Burst& burst)
{
    Burst& joined = f->Pending.Piece;
    joined.End = burst.End;
    joined.Strength = std::max(joined.Strength, burst.Strength);
    joined.Noise = std::max(joined.Noise, burst.Noise);
    joined.Pulses = joined.Pulses < 0 || burst.Pulses < 0 ? -1 : joined.Pulses + burst.Pulses;
    f->Pending.Joined = true;
}

// Whether a burst is one more piece of the pending burst. Two bits must each be as long as a bit
// and a pause apart (a pause too long may hold the worn end of the first or the worn start of the
// second); one bit broken in two must be as long as a bit whole, and broken by less than a pause.
// The likelier wins, two bits where it is unclear.
bool PieceOfPending(const Framer* f, const Burst& burst)
{
    const ReaderSettings& s = f->Settings;
    const Burst& p = f->Pending.Piece;
    const double pause = f->Pace.PauseLength;
    const double gap = burst.Start - p.End;
    const double first = p.End - p.Start, second = burst.End - burst.Start;
    const double excess = std::max(0.0, gap - pause);
    const double apart_fit =
        std::max({LengthFit(f, first) * LengthFit(f, second) * PauseConfidence(s, gap / pause),
                  LengthFit(f, first + excess) * LengthFit(f, second),
                  LengthFit(f, first) * LengthFit(f, second + excess)});
    const double joined_fit = LengthFit(f, burst.End - p.Start);
    // A much louder burst is a new signal, not the rest of a faint one.
    const bool louder = FullStrength(s, burst) > s.LevelChange * FullStrength(s, p);
    const bool short_gap = gap < s.PauseNormalLow * pause;
    return !louder && (gap < s.ShortestPause * pause ||
                       (short_gap && joined_fit > apart_fit + s.JoinPreference));
}

// The burst waits for the next, which may be more of it.
void WaitOn(Framer* f, const Burst& burst)
{
    f->Pending.Waiting = true;
    f->Pending.Piece = burst;
    f->Pending.Joined = false;
}

// Whether a burst too short to be a bit, about a pause after the pending one, may be the last
// pulse of the same burst, a dip having taken those between: together they would fit a bit. The
// next burst's moment decides (see SettleTail).
bool TailOfPending(const Framer* f, const Burst& burst)
{
    const ReaderSettings& s = f->Settings;
    const Burst& p = f->Pending.Piece;
    const double pause = f->Pace.PauseLength;
    return f->Current.SinceBreak >= s.SettledBits && LengthFit(f, burst.End - burst.Start) <= 0 &&
           burst.Start - p.End < s.PauseNormalHigh * pause &&
           LengthFit(f, burst.End - p.Start) >= LengthFit(f, p.End - p.Start) &&
           FullStrength(s, burst) <= s.LevelChange * FullStrength(s, p);
}

// The next burst after a tail is `next` (null: silence). The tail was the end of the pending
// burst if the next began about a 1 and a pause after the pending one (noise in the pause after
// a 0 would put it a 0 and a pause after, a 0 and a fragment of the next bit two bits and two
// pauses after), and the tail is no better as the start of the next (a dropout or a dip may
// leave a bit's first pulses apart from the rest). Otherwise the tail is a burst of its own, as
// it always was.
void SettleTail(Framer* f, const Burst* next)
{
    if (!f->Pending.HasTail) return;
    f->Pending.HasTail = false;
    const Burst tail = f->Pending.Tail;
    const Burst& p = f->Pending.Piece;
    const TapePace& pace = f->Pace;
    const double first = p.End - p.Start;
    const double one_bit = pace.OneLength + pace.PauseLength;
    const double first_alone = first + pace.PauseLength;
    const double two_bits = first_alone + pace.ZeroLength + pace.PauseLength;
    const bool ends_pending = next != nullptr &&
                              next->Start - p.Start > std::sqrt(first_alone * one_bit) &&
                              next->Start - p.Start < std::sqrt(one_bit * two_bits);
    // The tail may begin the next burst where, together, they fit a bit as well: if they are
    // less than a pause apart, or the next is too short to be a bit alone (a dip in a 1).
    const double with_next = next != nullptr ? LengthFit(f, next->End - tail.Start) : 0.0;
    const bool begins_next =
        next != nullptr && with_next >= LengthFit(f, tail.End - p.Start) &&
        (next->Start - tail.End < f->Settings.PauseNormalLow * pace.PauseLength ||
         LengthFit(f, next->End - next->Start) < with_next);
    if (ends_pending && !begins_next) {
        JoinPending(f, tail);
        return;
    }
    FlushPending(f);
    WaitOn(f, tail);
}

// A burst is one more piece of the pending burst, or the next burst.
void Accept(Framer* f, const Burst& burst)
{
    SettleTail(f, &burst);
    if (f->Pending.Waiting) {
        if (PieceOfPending(f, burst)) {
            JoinPending(f, burst);
            return;
        }
        if (TailOfPending(f, burst)) {
            f->Pending.HasTail = true;
            f->Pending.Tail = burst;
            return;
        }
        FlushPending(f);
    }
    WaitOn(f, burst);
}

// Takes a burst that was put together from pieces or split from a longer one: a reconstruction.
void AcceptMended(Framer* f, const Burst& burst)
{
    Accept(f, burst);
    f->Pending.Joined = true;
}

// Whether the faint bursts between two loud ones, the last ending at `before` and the next
// starting at `after`, are pieces of one burst: together they fill a bit's place, with pauses
// of a pause's length on either side. Its value may be unclear, but there is one bit there.
bool FaintAreOneBurst(const Framer* f, double before, double after)
{
    if (f->Faint.size() < 2) return false;
    const ReaderSettings& s = f->Settings;
    const double start = f->Faint.front().Start;
    const double end = f->Faint.back().End;
    return PauseIsNormal(s, (start - before) / f->Pace.PauseLength) &&
           PauseIsNormal(s, (after - end) / f->Pace.PauseLength) &&
           end - start > s.TooShort * f->Pace.ZeroLength &&
           end - start < s.TooLong * f->Pace.OneLength;
}

// Whether the faint bursts keep the tape's pace among themselves, each as long as a bit and a
// pause after the one before: the signal, at a lower level (a dip in the tape's level). The
// first may be a burst that the dip's edge cut short.
bool FaintKeepPace(const Framer* f, const std::vector<Burst>& faint)
{
    const ReaderSettings& s = f->Settings;
    for (size_t k = 1; k < faint.size(); ++k) {
        const Burst& burst = faint[k];
        if (LengthFit(f, burst.End - burst.Start) <= 0) return false;
        if (k == 1) continue;
        const double pause = (burst.Start - faint[k - 1].End) / f->Pace.PauseLength;
        if (pause < s.YoungPauseLow || pause > s.YoungPauseHigh) return false;
    }
    return true;
}

// The faint bursts are taken as signal, or, with `noise_unless_paced`, only if they keep the
// tape's pace: noise in a quiet stretch or after the end of the signal does not.
void ReleaseFaint(Framer* f, bool noise_unless_paced = false)
{
    if (f->Faint.empty()) return;
    std::vector<Burst> faint;
    faint.swap(f->Faint);
    if (noise_unless_paced) {
        if (!FaintKeepPace(f, faint)) return;
        // The level has fallen: bursts at the new level are no longer faint.
        f->Current.Level = faint.back().Strength;
    }
    for (const Burst& burst : faint) Accept(f, burst);
}

// A loud burst has come after faint ones: they were noise in the pause before it if it follows
// the last bit at a pause's distance, the pieces of a burst a dropout broke if they fill a bit's
// place, and signal otherwise.
void SettleFaint(Framer* f, const Burst& loud)
{
    const double last_end = f->Pending.HasTail   ? f->Pending.Tail.End
                            : f->Pending.Waiting ? f->Pending.Piece.End
                                                 : f->Current.LastBitEnd;
    const double pause = (loud.Start - last_end) / f->Pace.PauseLength;
    if (last_end >= 0 && PauseIsNormal(f->Settings, pause)) {
        f->Faint.clear();
    } else if (last_end >= 0 && FaintAreOneBurst(f, last_end, loud.Start)) {
        Burst whole = f->Faint.front();
        for (const Burst& piece : f->Faint) {
            whole.End = piece.End;
            whole.Strength = std::max(whole.Strength, piece.Strength);
            whole.Noise = std::max(whole.Noise, piece.Noise);
        }
        f->Faint.clear();
        AcceptMended(f, whole);
    } else {
        ReleaseFaint(f);
    }
}

// A codec can fill the pause between two bursts with their ringing, and a detector then hears one
// burst. One too long for a 1, whose strength falls in the middle to under half of its greatest
// for as long as a pause may last, is split there into two bits whose lengths fit bits. Both are
// doubtful, as anything put back is, and their pulses are not counted. False if it is not split.
bool SplitAtDip(Framer* f, const Burst& burst)
{
    const ReaderSettings& s = f->Settings;
    const double dip = burst.DipEnd - burst.DipStart;
    // Only where the block has settled are the typical lengths and pause known.
    if (f->Current.Bits == 0 || f->Current.SinceBreak < s.SettledBits ||
        burst.End - burst.Start <= s.LongOk * f->Pace.OneLength || burst.DipDepth > s.SplitDepth ||
        dip < s.PauseLimitLow * f->Pace.PauseLength ||
        dip > s.PauseNormalHigh * f->Pace.PauseLength) {
        return false;
    }
    Burst first = burst, second = burst;
    first.End = burst.DipStart;
    second.Start = burst.DipEnd;
    if (LengthFit(f, first.End - first.Start) <= 0 ||
        LengthFit(f, second.End - second.Start) <= 0) {
        return false;
    }
    first.Pulses = second.Pulses = -1;
    first.DipStart = first.DipEnd = second.DipStart = second.DipEnd = 0;
    if (f->Trace != nullptr) fprintf(f->Trace, "split %d %.6f\n", f->Channel, burst.DipStart);
    AcceptMended(f, first);
    AcceptMended(f, second);
    return true;
}

}  // namespace

double BitMargin(double length, double zero_length, double one_length)
{
    const double boundary = std::sqrt(zero_length * one_length);
    const double margin = length >= boundary
                              ? std::log(length / boundary) / std::log(one_length / boundary)
                              : std::log(boundary / length) / std::log(boundary / zero_length);
    return std::min(margin, 1.0);
}

float ListedMargin(const std::vector<size_t>& bits, const std::vector<float>& margins, size_t i)
{
    const auto at = std::lower_bound(bits.begin(), bits.end(), i);
    if (at == bits.end() || *at != i) return -1;
    return margins[static_cast<size_t>(at - bits.begin())];
}

void ListBit(std::vector<size_t>* bits, std::vector<float>* margins, size_t i, float margin)
{
    const auto at = std::lower_bound(bits->begin(), bits->end(), i);
    if (at != bits->end() && *at == i) return;
    margins->insert(margins->begin() + (at - bits->begin()), margin);
    bits->insert(at, i);
}

void CapMargins(TapeBlock* block, size_t i, float cap)
{
    block->Margins[i] = std::min(block->Margins[i], cap);
    auto cap_listed = [&](const std::vector<size_t>& bits, std::vector<float>* margins) {
        const auto at = std::lower_bound(bits.begin(), bits.end(), i);
        if (at == bits.end() || *at != i) return;
        float& margin = (*margins)[static_cast<size_t>(at - bits.begin())];
        margin = std::min(margin, cap);
    };
    cap_listed(block->OddCounts, &block->UncountedMargins);
    cap_listed(block->PausedBits, &block->UnpausedMargins);
}

float OwnMargin(const TapeBlock& block, size_t i)
{
    const float unpaused = ListedMargin(block.PausedBits, block.UnpausedMargins, i);
    return unpaused >= 0 ? unpaused : block.Margins[i];
}

void KeepBits(TapeBlock* block, const std::vector<bool>& keep)
{
    // The first bit kept, where bits before it go, begins the block: its margin is then what it
    // would be as a start.
    const auto first =
        static_cast<size_t>(std::find(keep.begin(), keep.end(), true) - keep.begin());
    const float as_start = first > 0 && first < keep.size()
                               ? ListedMargin(block->Starts, block->StartMargins, first)
                               : -1.0f;
    if (as_start >= 0) block->Margins[first] = as_start;
    std::vector<size_t> number(keep.size());  // each bit kept's number among them
    size_t kept = 0;
    for (size_t i = 0; i < keep.size(); ++i) {
        number[i] = kept;
        if (!keep[i]) continue;
        block->Bits[kept] = block->Bits[i];
        block->Margins[kept] = block->Margins[i];
        block->Times[kept] = block->Times[i];
        ++kept;
    }
    block->Bits.resize(kept);
    block->Margins.resize(kept);
    block->Times.resize(kept);
    auto renumber = [&](std::vector<size_t>* bits, std::vector<float>* margins) {
        size_t listed = 0;
        for (size_t k = 0; k < bits->size(); ++k) {
            if (!keep[(*bits)[k]]) continue;
            (*bits)[listed] = number[(*bits)[k]];
            (*margins)[listed++] = (*margins)[k];
        }
        bits->resize(listed);
        margins->resize(listed);
    };
    renumber(&block->Starts, &block->StartMargins);
    renumber(&block->PausedBits, &block->UnpausedMargins);
    renumber(&block->OddCounts, &block->UncountedMargins);
    if (kept == 0) return;
    block->Start = block->Times.front();
    ListBit(&block->Starts, &block->StartMargins, 0, 0.0f);  // no break before it
}

void StartFramer(Framer* f, const ReaderSettings& settings)
{
    *f = Framer{};
    f->Settings = settings;
    ResetBlock(f);
}

void FrameBurst(Framer* f, const Burst& burst)
{
    if (f->Trace != nullptr) {
        fprintf(f->Trace, "burst %d %.6f %.6f %.3g %.3g %d\n", f->Channel, burst.Start, burst.End,
                burst.Strength, burst.Noise, burst.Pulses);
    }
    const ReaderSettings& s = f->Settings;
    if (burst.End - burst.Start < s.ShortestBurst) return;  // noise
    // A burst much fainter than those around it waits: if the next loud one follows the last at
    // the pause's own distance, it was noise in that pause, or the ringing a filter leaves after
    // a burst. Otherwise it was signal (a dropout broke a burst, or the level fell).
    const double level = f->Current.Bits > 0  ? f->Current.Level
                         : f->Pending.Waiting ? f->Pending.Piece.Strength
                                              : 0;
    if (burst.Strength < s.Faint * level) {
        f->Faint.push_back(burst);
        if (f->Faint.size() > static_cast<size_t>(s.FaintKept)) ReleaseFaint(f, true);
        return;
    }
    if (!f->Faint.empty()) SettleFaint(f, burst);
    if (!SplitAtDip(f, burst)) Accept(f, burst);
}

void FrameSilenceUntil(Framer* f, double now)
{
    // Taking the faint bursts may change the typical pause: it is looked up afresh.
    const double pause_high = f->Settings.PauseNormalHigh;
    if (!f->Faint.empty() && now - f->Faint.back().End >= pause_high * f->Pace.PauseLength) {
        ReleaseFaint(f, true);
    }
    if (f->Pending.HasTail && now - f->Pending.Tail.End >= pause_high * f->Pace.PauseLength) {
        SettleTail(f, nullptr);
    }
    if (f->Pending.Waiting && !f->Pending.HasTail &&
        now - f->Pending.Piece.End >= pause_high * f->Pace.PauseLength) {
        FlushPending(f);
    }
    if (!f->Pending.Waiting && f->Current.LastBitEnd >= 0 &&
        now - f->Current.LastBitEnd > BLOCK_GAP_SECONDS) {
        EndBlock(f);
    }
}

void FinishFramer(Framer* f, double now)
{
    ReleaseFaint(f, true);
    SettleTail(f, nullptr);
    FlushPending(f);
    EndBlock(f);
    f->LastBlockEnd = now;
}
