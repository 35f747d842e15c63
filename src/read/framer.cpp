#include "read/framer.h"

#include <algorithm>
#include <cmath>

#include "zx/machine.h"
#include "zx/tape.h"

namespace {

// A burst shorter than this, in seconds, is noise.
constexpr double SHORTEST_BURST = 0.35e-3;
// A dip shorter than this part of a pause is no pause: the bursts on either side are one.
constexpr double SHORTEST_PAUSE = 0.23;
// Two bursts are taken for pieces of one only where that is clearly likelier than two bits.
constexpr double JOIN_PREFERENCE = 0.2;
// A burst too long for a 1 whose strength falls below this part of its greatest, for as long as
// a pause may be, is two bits with the pause between them filled in.
constexpr double SPLIT_DEPTH = 0.5;
// A burst below this part of the level of those around it is faint; this many wait at most.
constexpr double FAINT = 0.5;
constexpr size_t FAINT_KEPT = 4;
// A block's first bits must follow each other at the tape's pace and at one level, or they
// were noise.
constexpr int SETTLED_BITS = 16;
constexpr double LEVEL_CHANGE = 3.0;
constexpr double YOUNG_PAUSE_LOW = 0.6, YOUNG_PAUSE_HIGH = 1.8;
// Until then a burst must be at least this part of a 0 burst and at most this part of a 1 (at
// the tape's own speed: 0.8 to 1.2 times its lengths are bits).
constexpr double YOUNG_SHORTEST = 0.6, YOUNG_LONGEST = 1.5;
// Bits that break the pace this often, never settling, are noise.
constexpr int UNSETTLED_LIMIT = 48;
// The longest program a block can hold: the largest image after the longest name.
constexpr size_t LONGEST_BLOCK = LONGEST_IMAGE + 256;
// How quickly the typical lengths follow the tape's speed.
constexpr double LENGTH_WEIGHT = 0.15;
constexpr double LEVEL_WEIGHT = 0.1;

// A burst down to this part of a 0's length, or up to this part beyond a 1's, fits its kind;
// at these limits it fits neither.
constexpr double SHORT_OK = 0.85, TOO_SHORT = 0.6;
constexpr double LONG_OK = 1.15, TOO_LONG = 1.5;
// Margins this far apart tell two bursts apart.
constexpr double CLEARLY = 0.2;
// A burst below this part of the level before it was weakened by what damaged the tape there.
constexpr double WEAKENED = 0.85;
// A pause longer than usual by more than this part of a pause holds something worn away.
constexpr double WORN_EXCESS = 0.25;
// A burst whose length is this unclear may have lost part of itself to a longer pause beside it.
constexpr double WORN_MARGIN = 0.5;

// The pulse count is trusted while it has agreed with this share of the bits whose length is
// at least this clear, counted with this weight for the latest.
constexpr double TRUSTED_PULSES = 0.9;
constexpr double CLEAR_LENGTH = 0.6;
constexpr double TRUST_WEIGHT = 0.05;
// Trusted pulses overrule a length whose margin is below this.
constexpr double PULSES_OVERRULE = 0.7;

// Pauses within this part of the typical pause are as they should be; the margin of a bit next
// to one shorter or longer falls to nothing at the outer limits: something was joined, or may
// have been lost.
constexpr double PAUSE_NORMAL_LOW = 0.7, PAUSE_NORMAL_HIGH = 1.45;
constexpr double PAUSE_LIMIT_LOW = 0.4, PAUSE_LIMIT_HIGH = 2.0;
// A burst this many times above the noise is measured cleanly; nearer the noise its length is
// less sure.
constexpr double CLEAR_OF_NOISE = 8.0;
constexpr double NOISE_ENTRY = 3.0;

// How well a burst of this length fits a bit: 1 from a little short of a 0 to a little beyond a
// 1, falling to 0 for a burst much shorter than a 0 or much longer than a 1.
double LengthFit(const Framer* f, double length)
{
    double fit = 1.0;
    if (length < f->ZeroLength) {
        fit = std::log(length / f->ZeroLength / TOO_SHORT) / std::log(SHORT_OK / TOO_SHORT);
    } else if (length > f->OneLength) {
        fit = std::log(TOO_LONG * f->OneLength / length) / std::log(TOO_LONG / LONG_OK);
    }
    return std::clamp(fit, 0.0, 1.0);
}

// How sure a burst of this length is, from its length alone: its distance from the boundary
// between the two kinds (see BitMargin), and how well it fits a bit at all.
double LengthMargin(const Framer* f, double length)
{
    return std::min(BitMargin(length, f->ZeroLength, f->OneLength), LengthFit(f, length));
}

double PauseConfidence(double ratio)
{
    if (ratio < PAUSE_NORMAL_LOW) {
        return std::clamp((ratio - PAUSE_LIMIT_LOW) / (PAUSE_NORMAL_LOW - PAUSE_LIMIT_LOW), 0.0,
                          1.0);
    }
    if (ratio > PAUSE_NORMAL_HIGH) {
        return std::clamp((PAUSE_LIMIT_HIGH - ratio) / (PAUSE_LIMIT_HIGH - PAUSE_NORMAL_HIGH), 0.0,
                          1.0);
    }
    return 1.0;
}

// The strength a burst would show were it long enough: one shorter than the window the
// strength is measured over shows only part of it.
double FullStrength(const Burst& burst)
{
    const double length = burst.End - burst.Start;
    return burst.Strength * std::max(1.0, STRENGTH_WINDOW_SECONDS / std::max(length, 1e-6));
}

double NoiseConfidence(const Burst& burst)
{
    if (burst.Noise <= 0) return 1.0;
    const double clearance = burst.Strength / burst.Noise;
    return std::clamp((clearance - NOISE_ENTRY) / (CLEAR_OF_NOISE - NOISE_ENTRY), 0.0, 1.0);
}

void AppendBit(Framer* f, bool one, double margin, double start)
{
    f->Block.Bits.push_back(one ? 1 : 0);
    f->Block.Margins.push_back(static_cast<float>(std::clamp(margin, 0.0, 1.0)));
    f->Block.Times.push_back(start);
}

// The held bit goes into the block, its margin lowered by the pause after it.
void ReleaseHeld(Framer* f, double pause_after)
{
    if (!f->Held) return;
    f->Held = false;
    const double after = pause_after >= 0 ? PauseConfidence(pause_after / f->PauseLength) : 1.0;
    if (f->HeldBreaks) {
        f->Block.Starts.push_back(f->Block.Bits.size());
        f->Block.StartMargins.push_back(static_cast<float>(std::min(f->HeldMarginAsStart, after)));
    }
    AppendBit(f, f->HeldOne, std::min(f->HeldMargin, after), f->HeldStart);
    f->Block.End = f->HeldEnd;
}

// A new block may come from another tape at another speed: the typical lengths start afresh.
void ResetBlock(Framer* f)
{
    f->ZeroLength = ZERO_BURST_SECONDS;
    f->OneLength = ONE_BURST_SECONDS;
    f->PauseLength = BIT_PAUSE_SECONDS;
    f->PulseTrust = 0.5;  // unknown until the block shows it
    f->Block = TapeBlock{};
    f->Block.Starts.push_back(0);
    f->Block.StartMargins.push_back(0.0f);  // unused: the first bit has no break before it
    f->BlockBits = 0;
    f->SinceBreak = 0;
    f->LastBitEnd = -1;
    f->Held = false;
}

// Ends the block under way. It is kept if it holds a whole byte and its bits once kept the
// tape's pace: bits that never did were noise.
void EndBlock(Framer* f)
{
    ReleaseHeld(f, -1);
    if (f->Block.Bits.size() >= 8 && f->SinceBreak >= SETTLED_BITS) {
        f->LastBlockEnd = f->Block.End;
        f->Finished.push_back(std::move(f->Block));
    }
    ResetBlock(f);
}

void HoldBit(Framer* f, bool one, double margin, double start, double end)
{
    f->Held = true;
    f->HeldBreaks = false;
    f->HeldLength = end - start;
    f->HeldOne = one;
    f->HeldMargin = margin;
    f->HeldStart = start;
    f->HeldEnd = end;
    f->LastBitEnd = end;
    ++f->SinceBreak;
    if (f->BlockBits == 0) {
        f->Block.Start = start;
        f->Block.SilenceBefore = start - f->LastBlockEnd;
    }
    ++f->BlockBits;
}

// A burst, whole or joined from pieces, is a bit.
void TakeBurst(Framer* f, const Burst& burst, bool joined)
{
    const double gap = f->LastBitEnd < 0 ? -1.0 : burst.Start - f->LastBitEnd;
    if (gap > BLOCK_GAP_SECONDS) EndBlock(f);

    // The first bits of a block keep the tape's pace and level and are bursts of a bit's
    // length. Where one breaks them, the block may really begin there (what came before may
    // have been noise, or the start of the tape may be damaged: the program's reading decides).
    // Bits that never settle are noise.
    const double length_seen = burst.End - burst.Start;
    const bool fits = length_seen > YOUNG_SHORTEST * ZERO_BURST_SECONDS &&
                      length_seen < YOUNG_LONGEST * ONE_BURST_SECONDS;
    if (f->BlockBits == 0 && !fits) return;  // noise: no block starts with it
    bool breaks = false;
    if (f->BlockBits > 0 && f->SinceBreak < SETTLED_BITS &&
        (!fits || gap < YOUNG_PAUSE_LOW * f->PauseLength ||
         gap > YOUNG_PAUSE_HIGH * f->PauseLength || burst.Strength > LEVEL_CHANGE * f->BlockLevel ||
         burst.Strength < f->BlockLevel / LEVEL_CHANGE)) {
        if (f->BlockBits >= UNSETTLED_LIMIT) {
            ResetBlock(f);
            if (!fits) return;
        } else {
            breaks = true;
            f->SinceBreak = 0;
            f->BlockLevel = burst.Strength;
        }
    }
    const bool settled = f->SinceBreak >= SETTLED_BITS;
    const bool first = f->BlockBits == 0;

    double length = burst.End - burst.Start;
    bool reconstructed = joined;
    const double boundary = std::sqrt(f->ZeroLength * f->OneLength);
    double pause_before = first ? -1.0 : gap;

    // A pause longer than pauses are follows a burst whose end was worn away, comes before one
    // whose start was, or is the place of a burst lost entirely. The excess counts as part of
    // the burst beside it whose own length is unclear (of two unclear ones, the one it makes
    // clearer); where both are clear, a bit as long as the place is put back, with no margin.
    const double excess = gap - f->PauseLength;
    const double missing = gap - 2.0 * f->PauseLength;
    const double own = LengthMargin(f, length);
    const double held = f->Held ? LengthMargin(f, f->HeldLength) : 1.0;
    const bool lost_fits = missing > 0.5 * f->ZeroLength && missing < 1.3 * f->OneLength;
    const bool unclear = own < WORN_MARGIN || held < WORN_MARGIN;
    const bool large = excess > 0.5 * f->ZeroLength;  // more than jitter: it belongs somewhere
    if (settled && f->Held && excess > WORN_EXCESS * f->PauseLength &&
        excess < f->PauseLength + f->OneLength && (unclear || (large && !lost_fits))) {
        const double own_grown = LengthMargin(f, length + excess);
        const double held_grown = LengthMargin(f, f->HeldLength + excess);
        // Of two, the one the excess makes clearly clearer; else, where the level changes across
        // the pause, the louder (the edge of a dip cut it); else the one that was clearly the
        // less clear before; else the first if it came out weaker than the bursts before it.
        bool held_better = f->HeldStrength < WEAKENED * f->HeldLevel;
        if (std::fabs((held_grown - held) - (own_grown - own)) > CLEARLY) {
            held_better = held_grown - held > own_grown - own;
        }
        if (burst.Strength < f->HeldStrength / 2) held_better = true;
        if (burst.Strength > 2 * f->HeldStrength) held_better = false;
        if (std::fabs(held_grown - own_grown) > CLEARLY) held_better = held_grown > own_grown;
        const bool to_held =
            unclear ? held < WORN_MARGIN && (own >= WORN_MARGIN || held_better) : held_better;
        if (to_held) {
            f->HeldLength += excess;
            f->HeldOne = f->HeldLength >= boundary;
            f->HeldMargin = 0.0;
            f->HeldEnd += excess;
            if (own < WORN_MARGIN) reconstructed = true;
        } else {
            length += excess;
            reconstructed = true;
            if (held < WORN_MARGIN) f->HeldMargin = 0.0;
        }
        pause_before = f->PauseLength;
    } else if (settled && lost_fits) {
        const double half = 0.5 * (gap - missing);
        ReleaseHeld(f, half);
        const double lost_start = f->LastBitEnd + half;
        HoldBit(f, missing >= boundary, 0.0, lost_start, lost_start + missing);
        pause_before = half;
    }

    bool one = length >= boundary;
    double margin = LengthMargin(f, length);
    // Where the pulses can be counted reliably (their count has agreed with clear lengths), a
    // length near the boundary is settled by them, and pulses that disagree with a length make
    // it doubtful. Filters can make the count meaningless: then it is not heard.
    const bool pulses_say_zero = burst.Pulses >= PULSES_ZERO - 1 && burst.Pulses <= PULSES_ZERO + 1;
    const bool pulses_say_one = burst.Pulses >= PULSES_ONE - 1 && burst.Pulses <= PULSES_ONE + 2;
    if (margin >= CLEAR_LENGTH && burst.Pulses >= 0) {
        const bool agree = one ? pulses_say_one : pulses_say_zero;
        f->PulseTrust += TRUST_WEIGHT * ((agree ? 1.0 : 0.0) - f->PulseTrust);
    }
    // In noise a count is easily one off: only a burst clear of the noise is counted.
    if (f->PulseTrust >= TRUSTED_PULSES && (pulses_say_zero || pulses_say_one) &&
        NoiseConfidence(burst) >= 1.0) {
        if (margin < 0.35) {
            one = pulses_say_one;
            margin = std::min(margin, 0.35);
        } else if (one != pulses_say_one) {
            // Pulses and length disagree: where the length is not beyond doubt, the pulses win
            // (a codec smears a burst's length, not its pulses); either way it is in doubt.
            if (margin < PULSES_OVERRULE) one = pulses_say_one;
            margin = std::min(margin, 0.2);
        }
    }
    margin = std::min(margin, NoiseConfidence(burst));
    if (reconstructed) margin = 0.0;
    const double margin_as_start = margin;
    if (pause_before >= 0) {
        margin = std::min(margin, PauseConfidence(pause_before / f->PauseLength));
    }

    // Follow the tape's speed and level, from the block's first bits on: a tape played slow
    // or fast is one from its start.
    const bool paced = !first && !breaks;
    if (paced && gap > 0 && gap < 2.5 * f->PauseLength && !reconstructed) {
        f->PauseLength += LENGTH_WEIGHT * (gap - f->PauseLength);
    }
    double& typical = one ? f->OneLength : f->ZeroLength;
    if ((paced || first) && margin > 0.2 && length > 0.5 * f->ZeroLength &&
        length < 2.0 * f->OneLength) {
        typical += LENGTH_WEIGHT * (length - typical);
    }
    const double level_before = f->BlockLevel;
    f->BlockLevel = f->BlockBits == 0
                        ? burst.Strength
                        : f->BlockLevel + LEVEL_WEIGHT * (burst.Strength - f->BlockLevel);

    ReleaseHeld(f, pause_before);
    HoldBit(f, one, margin, burst.End - length, burst.End);
    f->HeldStrength = burst.Strength;
    f->HeldLevel = level_before;
    f->HeldBreaks = breaks;
    f->HeldMarginAsStart = margin_as_start;
    // No program is longer: a block never outgrows one, however long the signal goes on.
    if (f->Block.Bits.size() >= 8 * LONGEST_BLOCK) EndBlock(f);
}

void FlushPending(Framer* f)
{
    if (!f->Pending) return;
    f->Pending = false;
    TakeBurst(f, f->PendingBurst, f->PendingJoined);
}

void JoinPending(Framer* f, const Burst& burst)
{
    Burst& joined = f->PendingBurst;
    joined.End = burst.End;
    joined.Strength = std::max(joined.Strength, burst.Strength);
    joined.Noise = std::max(joined.Noise, burst.Noise);
    joined.Pulses = joined.Pulses < 0 || burst.Pulses < 0 ? -1 : joined.Pulses + burst.Pulses;
    f->PendingJoined = true;
}

// A burst is one more piece of the pending burst, or the next burst.
void Accept(Framer* f, const Burst& burst)
{
    if (f->Pending) {
        // Two bits must each be as long as a bit and a pause apart (a pause too long may hold
        // the worn end of the first or the worn start of the second); one bit broken in two must
        // be as long as a bit whole, and broken by less than a pause. The likelier wins, two
        // bits where it is unclear.
        const Burst& p = f->PendingBurst;
        const double gap = burst.Start - p.End;
        const double first = p.End - p.Start, second = burst.End - burst.Start;
        const double excess = std::max(0.0, gap - f->PauseLength);
        const double apart_fit = std::max(
            {LengthFit(f, first) * LengthFit(f, second) * PauseConfidence(gap / f->PauseLength),
             LengthFit(f, first + excess) * LengthFit(f, second),
             LengthFit(f, first) * LengthFit(f, second + excess)});
        const double joined_fit = LengthFit(f, burst.End - p.Start);
        // A much louder burst is a new signal, not the rest of a faint one.
        const bool louder = FullStrength(burst) > LEVEL_CHANGE * FullStrength(p);
        const bool short_gap = gap < PAUSE_NORMAL_LOW * f->PauseLength;
        if (!louder && (gap < SHORTEST_PAUSE * f->PauseLength ||
                        (short_gap && joined_fit > apart_fit + JOIN_PREFERENCE))) {
            JoinPending(f, burst);
            return;
        }
        FlushPending(f);
    }
    f->Pending = true;
    f->PendingBurst = burst;
    f->PendingJoined = false;
}

// Whether the faint bursts between two loud ones, the last ending at `before` and the next
// starting at `after`, are pieces of one burst: together they fill a bit's place, with pauses
// of a pause's length on either side. Its value may be unclear, but there is one bit there.
bool FaintAreOneBurst(const Framer* f, double before, double after)
{
    if (f->Faint.size() < 2) return false;
    const double start = f->Faint.front().Start;
    const double end = f->Faint.back().End;
    const double pause_before = (start - before) / f->PauseLength;
    const double pause_after = (after - end) / f->PauseLength;
    return pause_before >= PAUSE_NORMAL_LOW && pause_before <= PAUSE_NORMAL_HIGH &&
           pause_after >= PAUSE_NORMAL_LOW && pause_after <= PAUSE_NORMAL_HIGH &&
           end - start > TOO_SHORT * f->ZeroLength && end - start < TOO_LONG * f->OneLength;
}

// Whether the faint bursts waiting keep the tape's pace among themselves, each as long as a bit
// and a pause after the one before: the signal, at a lower level (a dip in the tape's level).
// The first may be a burst that the dip's edge cut short.
bool FaintKeepPace(const Framer* f)
{
    for (size_t k = 1; k < f->Faint.size(); ++k) {
        const Burst& burst = f->Faint[k];
        if (LengthFit(f, burst.End - burst.Start) <= 0) return false;
        if (k == 1) continue;
        const double pause = (burst.Start - f->Faint[k - 1].End) / f->PauseLength;
        if (pause < YOUNG_PAUSE_LOW || pause > YOUNG_PAUSE_HIGH) return false;
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
        f->Faint.swap(faint);
        const bool paced = FaintKeepPace(f);
        faint.swap(f->Faint);
        if (!paced) return;
        // The level has fallen: bursts at the new level are no longer faint.
        f->BlockLevel = faint.back().Strength;
    }
    for (const Burst& burst : faint) Accept(f, burst);
}

// A codec can fill the pause between two bursts with their ringing, and a detector then hears one
// burst. One too long for a 1, whose strength falls in the middle to under half of its greatest
// for as long as a pause may last, is split there into two bits whose lengths fit bits. Both are
// doubtful, as anything put back is, and their pulses are not counted. False if it is not split.
bool SplitAtDip(Framer* f, const Burst& burst)
{
    const double dip = burst.DipEnd - burst.DipStart;
    // Only where the block has settled are the typical lengths and pause known.
    if (f->BlockBits == 0 || f->SinceBreak < SETTLED_BITS ||
        burst.End - burst.Start <= LONG_OK * f->OneLength || burst.DipDepth > SPLIT_DEPTH ||
        dip < PAUSE_LIMIT_LOW * f->PauseLength || dip > PAUSE_NORMAL_HIGH * f->PauseLength) {
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
    Accept(f, first);
    f->PendingJoined = true;
    Accept(f, second);
    f->PendingJoined = true;
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

void StartFramer(Framer* f)
{
    *f = Framer{};
    ResetBlock(f);
}

void FrameBurst(Framer* f, const Burst& burst)
{
    if (burst.End - burst.Start < SHORTEST_BURST) return;  // noise
    // A burst much fainter than those around it waits: if the next loud one follows the last at
    // the pause's own distance, it was noise in that pause, or the ringing a filter leaves after
    // a burst. Otherwise it was signal (a dropout broke a burst, or the level fell).
    const double level = f->BlockBits > 0 ? f->BlockLevel
                         : f->Pending     ? f->PendingBurst.Strength
                                          : 0;
    if (burst.Strength < FAINT * level) {
        f->Faint.push_back(burst);
        if (f->Faint.size() > FAINT_KEPT) ReleaseFaint(f, true);
        return;
    }
    if (!f->Faint.empty()) {
        const double last_end = f->Pending ? f->PendingBurst.End : f->LastBitEnd;
        const double pause = (burst.Start - last_end) / f->PauseLength;
        if (last_end >= 0 && pause >= PAUSE_NORMAL_LOW && pause <= PAUSE_NORMAL_HIGH) {
            f->Faint.clear();
        } else if (last_end >= 0 && FaintAreOneBurst(f, last_end, burst.Start)) {
            // A dropout in the middle of a burst leaves its faint pieces in a bit's place.
            Burst whole = f->Faint.front();
            for (const Burst& piece : f->Faint) {
                whole.End = piece.End;
                whole.Strength = std::max(whole.Strength, piece.Strength);
                whole.Noise = std::max(whole.Noise, piece.Noise);
            }
            f->Faint.clear();
            Accept(f, whole);
            f->PendingJoined = true;
        } else {
            ReleaseFaint(f);
        }
    }
    if (!SplitAtDip(f, burst)) Accept(f, burst);
}

void FrameSilenceUntil(Framer* f, double now)
{
    if (!f->Faint.empty() && now - f->Faint.back().End >= PAUSE_NORMAL_HIGH * f->PauseLength) {
        ReleaseFaint(f, true);
    }
    if (f->Pending && now - f->PendingBurst.End >= PAUSE_NORMAL_HIGH * f->PauseLength) {
        FlushPending(f);
    }
    if (!f->Pending && f->LastBitEnd >= 0 && now - f->LastBitEnd > BLOCK_GAP_SECONDS) EndBlock(f);
}

void FinishFramer(Framer* f, double now)
{
    ReleaseFaint(f, true);
    FlushPending(f);
    EndBlock(f);
    f->LastBlockEnd = now;
}
