#include "read/merge.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <utility>

#include "read/program.h"
#include "zx/tape.h"

namespace {

// Bits are aligned a stretch at a time: within each, one reading is shifted against the other
// by at most this many bits more than in the stretch before.
constexpr size_t STRETCH_BITS = 128;
constexpr int MOST_SHIFT = 16;
constexpr double SHIFT_PENALTY = 4.0;
// Changes of shift in two readings this many bits apart or fewer are the same change (in a run of
// equal bits, where the change lies is not to be told).
constexpr size_t SAME_EDIT = 8;
// The reference is mended only where a bit of its own is less sure than this.
constexpr float EDIT_DOUBT = 0.5f;
// Blocks of separate recordings hold the same stretch of tape where, lined up, this share of all
// their bits agree (unrelated bits agree half the time, and two programs' system variables and
// display files much more: no one stretch tells), and their lengths differ by no more than this
// part of the longer or these bits (what damage loses or gains).
constexpr double SAME_TAPE = 0.8;
constexpr size_t LENGTH_SLACK_BITS = 64;
constexpr size_t LENGTH_SLACK_PART = 50;
// Bits of one timeline that began this close, in seconds, are the same bit; a bit fits between
// two others where this part of a bit's length (burst and pause) lies on either side of it: a
// 0's, or a 1's after a sure 1.
constexpr double SAME_MOMENT = 0.5e-3;
constexpr double GUESSED_MOMENT = 2.0e-3;
// A bit in doubt may be so for where its burst began (ringing before it, heard as part of it):
// it takes the nearest bit within this reach, under half a bit's length.
constexpr double DOUBTFUL_MOMENT = 1.2e-3;
// The channels of a stereo capture from a head not square to the tape are a little apart in time:
// an offset beyond this, found from bits lined up by their values over this many bits, is taken
// out before bits are matched by their moments; the heads are never further apart than the last.
constexpr double SKEW_SEEN = 0.25e-3;
constexpr size_t SKEW_BITS = 512;
constexpr size_t OFFSET_STRETCHES = 2 * SKEW_BITS / STRETCH_BITS;
constexpr double SKEW_MOST = 0.1;
// The views of one signal hear its bursts begin at moments this close at most (their detectors
// lag differently): one further apart lined up wrongly, a bit or more off.
constexpr double VIEW_LAG_MOST = 1e-3;
// A reading whose share of sure bits is this far below another's is not the reference.
constexpr double SURE_SLACK = 0.02;
// A bit that a reading counted a pulse count for that no bit has stays in doubt, however sure
// the others are.
constexpr float ODD_COUNT_MARGIN = DOUBT_MARGIN / 2;
// A later view of a channel settles bits where its share of sure bits is more than this above
// the first view's; the last is heard where the first is in doubt unless its share is more than
// the second figure below the first's (it does not suit the signal).
constexpr double VIEW_LEAD = 0.002;
constexpr double VIEW_SLACK = 0.02;
// How much less sure than the first view such a view is at the first's sure bits.
constexpr float OVERRULED = 0.01f;
constexpr double BIT_ROOM = 0.8;
constexpr double ZERO_ROOM = BIT_ROOM * ZERO_BIT_SECONDS;
constexpr double ONE_ROOM = BIT_ROOM * ONE_BIT_SECONDS;

// A block's bits with their margins.
struct BitString {
    const std::vector<uint8_t>& Bits;
    const std::vector<float>& Margins;
};

// How well `other` agrees with `reference` over the reference's bits [from, to) when shifted by
// `shift` (bit i of the reference against bit i + shift of the other), weighted by margins.
double Agreement(const BitString& reference, const BitString& other, size_t from, size_t to,
                 int shift)
{
    double agreement = 0;
    for (size_t i = from; i < to; ++i) {
        const long j = static_cast<long>(i) + shift;
        if (j < 0 || static_cast<size_t>(j) >= other.Bits.size()) continue;
        const double weight = 0.1 + reference.Margins[i] + other.Margins[static_cast<size_t>(j)];
        agreement += reference.Bits[i] == other.Bits[static_cast<size_t>(j)] ? weight : -weight;
    }
    return agreement;
}

// How the other reading lines up with the reference: from which reference bit on it is shifted
// by how much. The shift is found a stretch at a time; where it changes (a bit lost or gained),
// the change is placed where the readings agree best on either side of it.
using Segments = std::vector<std::pair<size_t, int>>;

// Where, between reference bits `low` and `to`, the shift steps from `from_shift` to `to_shift`
// a bit at a time (several bits lost or gained close together), each step where the readings
// agree best: the best path through the shifts between, found by dynamic programming.
Segments Changes(const BitString& reference, const BitString& other, size_t low, size_t to,
                 int from_shift, int to_shift)
{
    const int step = to_shift > from_shift ? 1 : -1;
    const auto states = static_cast<size_t>(std::abs(to_shift - from_shift)) + 1;
    const size_t length = to - low;
    auto agree = [&](size_t i, size_t k) {
        return Agreement(reference, other, i, i + 1, from_shift + step * static_cast<int>(k));
    };
    // score[i][k]: the best agreement of bits low..low+i with state k at bit low+i.
    std::vector<std::vector<double>> score(length, std::vector<double>(states, -1e300));
    std::vector<std::vector<uint8_t>> came(length, std::vector<uint8_t>(states, 0));
    for (size_t i = 0; i < length; ++i) {
        for (size_t k = 0; k < states; ++k) {
            double before = i == 0 ? (k == 0 ? 0.0 : -1e300) : score[i - 1][k];
            if (i > 0 && k > 0 && score[i - 1][k - 1] > before) {
                before = score[i - 1][k - 1];
                came[i][k] = 1;
            }
            if (before > -1e299) score[i][k] = before + agree(low + i, k);
        }
    }
    Segments changes;
    size_t k = states - 1;
    for (size_t i = length; i-- > 0 && k > 0;) {
        if (came[i][k]) {
            changes.emplace_back(low + i, from_shift + step * static_cast<int>(k));
            --k;
        }
    }
    std::reverse(changes.begin(), changes.end());
    return changes;
}

Segments Align(const BitString& reference, const BitString& other)
{
    const size_t n = reference.Bits.size();
    Segments segments;
    int shift = 0;
    for (size_t from = 0; from < n; from += STRETCH_BITS) {
        const size_t to = std::min(n, from + STRETCH_BITS);
        int best = shift;
        double best_agreement = Agreement(reference, other, from, to, shift);
        for (int d = shift - MOST_SHIFT; d <= shift + MOST_SHIFT; ++d) {
            // A change of shift must be clearly better: repeated bytes agree at many shifts.
            const double agreement = Agreement(reference, other, from, to, d) - SHIFT_PENALTY;
            if (agreement > best_agreement) {
                best = d;
                best_agreement = agreement;
            }
        }
        if (segments.empty()) {
            segments.emplace_back(0, best);
        } else if (best != shift) {
            const size_t low = std::max(segments.back().first, from - STRETCH_BITS);
            for (const auto& change : Changes(reference, other, low, to, shift, best)) {
                segments.push_back(change);
            }
        }
        shift = best;
    }
    return segments;
}

// For each of the reference's `n` bits, the position of the other reading's bit that lines up
// with it, or -1.
std::vector<long> Positions(const Segments& segments, size_t n, size_t other_size)
{
    std::vector<long> at(n, -1);
    for (size_t k = 0; k < segments.size(); ++k) {
        const size_t end = k + 1 < segments.size() ? segments[k + 1].first : n;
        for (size_t i = segments[k].first; i < end; ++i) {
            const long j = static_cast<long>(i) + segments[k].second;
            if (j >= 0 && static_cast<size_t>(j) < other_size) at[i] = j;
        }
    }
    return at;
}

// For each of the reference's bits, the position of the other block's bit that lines up with it
// by their values, or -1.
std::vector<long> LineUp(const TapeBlock& reference, const TapeBlock& other)
{
    return Positions(Align({reference.Bits, reference.Margins}, {other.Bits, other.Margins}),
                     reference.Bits.size(), other.Bits.size());
}

// How many of a block's bits are sure.
size_t SureBits(const TapeBlock& block)
{
    return static_cast<size_t>(std::count_if(block.Margins.begin(), block.Margins.end(),
                                             [](float margin) { return margin >= DOUBT_MARGIN; }));
}

// The share of a block's bits that are sure.
double SureShare(const TapeBlock& block)
{
    return block.Margins.empty()
               ? 0.0
               : static_cast<double>(SureBits(block)) / static_cast<double>(block.Margins.size());
}

// The checks that the programs a block holds fail, together.
size_t FailedChecksIn(const std::vector<TapeProgram>& programs)
{
    size_t failed = 0;
    for (const TapeProgram& program : programs) failed += program.Failed.size();
    return failed;
}

size_t FailedChecksIn(const TapeBlock& block)
{
    return FailedChecksIn(ProgramsInBlock(block, TARGET_UNKNOWN));
}

// Whether a block holds programs and they pass every check.
bool PassesEveryCheck(const TapeBlock& block)
{
    const std::vector<TapeProgram> programs = ProgramsInBlock(block, TARGET_UNKNOWN);
    return !programs.empty() && FailedChecksIn(programs) == 0;
}

// The reading the others are lined up with: among those nearly as sure as the surest (a reading
// mostly in doubt may still pass more checks, by chance, as another machine's program), the one
// whose programs pass the most checks (a reading that lost or gained a bit fails them), then one
// with as many bits as most readings have, then the one with the most sure bits.
size_t Reference(const std::vector<const TapeBlock*>& group)
{
    double surest = 0;
    for (const TapeBlock* block : group) surest = std::max(surest, SureShare(*block));
    auto count_of = [&](size_t size) {
        return std::count_if(group.begin(), group.end(),
                             [&](const TapeBlock* b) { return b->Bits.size() == size; });
    };
    size_t best = 0;
    size_t best_failed = 0;
    std::ptrdiff_t best_count = -1;
    size_t best_sure = 0;
    for (size_t r = 0; r < group.size(); ++r) {
        if (SureShare(*group[r]) < surest - SURE_SLACK) continue;
        const size_t failed = FailedChecksIn(*group[r]);
        const std::ptrdiff_t count = count_of(group[r]->Bits.size());
        const size_t sure = SureBits(*group[r]);
        const bool better = best_count < 0 || failed < best_failed ||
                            (failed == best_failed &&
                             (count > best_count || (count == best_count && sure > best_sure)));
        if (better) {
            best = r;
            best_failed = failed;
            best_count = count;
            best_sure = sure;
        }
    }
    return best;
}

// How the readings settled one bit: its value, its margin without the doubt of an odd pulse
// count, and whether a count puts it in doubt.
struct Settled {
    uint8_t Bit = 0;
    float Margin = 0;
    bool Odd = false;
};

// Settles bit `i` of the (mended) reference, `base_bit` there, by the readings lined up with it,
// with their margins as kept or, with `unpaused`, as they would be were the pauses beside them as
// they should be; with `base_stands`, `base_bit` stands, only its margin settled.
// A bit in doubt for its count alone weighs as the rest of its evidence has it; it stays in doubt
// where any reading (`any_odd`: views of one signal, which the same tape gave the same pulses)
// or every reading that has it (readings of their own, where the count may be one's own damage)
// counted pulses no bit has. `start` and `end` bound the stretch the readings hold. `soon`: the
// next bit begins sooner than a 1's burst and pause allow, so that a 1 heard here is a burst run
// on into the pause, and has no say.
Settled SettleBit(const std::vector<const TapeBlock*>& group,
                  const std::vector<std::vector<long>>& at, size_t i, bool may_begin, int base_bit,
                  bool unpaused, bool any_odd, bool base_stands, double start, double end,
                  bool soon)
{
    int count[2] = {0, 0};
    float best[2] = {-1, -1};
    float total[2] = {0, 0};
    int odd = 0;
    for (size_t r = 0; r < group.size(); ++r) {
        if (at[r][i] < 0) continue;
        const TapeBlock& reading = *group[r];
        const auto j = static_cast<size_t>(at[r][i]);
        const int bit = reading.Bits[j];
        if (soon && bit == 1) continue;
        float margin = reading.Margins[j];
        // A reading that lost the tape for a while where others went on (its block ends or
        // begins well inside theirs) may have heard only part of the burst at that edge. One
        // that lost it there has no say in that bit, not even by its number where the others are
        // no surer; one that began there may instead have left out hiss that the others took
        // for bits, and keeps its number.
        const bool lost = j + 1 == reading.Bits.size() && reading.End < end - BLOCK_GAP_SECONDS;
        if (lost) continue;
        const bool cut = j == 0 && reading.Start > start + BLOCK_GAP_SECONDS;
        if (cut) margin = 0;
        // Where the combined block begins (or `may_begin`, after a bit in doubt) without the
        // bits this reading heard before (hiss), its bit is as sure as it would be as a start.
        const bool begins = i == 0 || may_begin || at[r][i - 1] != static_cast<long>(j) - 1;
        const float as_start =
            begins && j > 0 ? ListedMargin(reading.Starts, reading.StartMargins, j) : -1.0f;
        if (as_start >= 0) margin = as_start;
        const float free = ListedMargin(reading.PausedBits, reading.UnpausedMargins, j);
        if (unpaused && free >= 0) margin = free;
        const float uncounted = ListedMargin(reading.OddCounts, reading.UncountedMargins, j);
        if (uncounted >= 0) {
            ++odd;
            if (!cut) margin = std::max(margin, uncounted);
        }
        ++count[bit];
        best[bit] = std::max(best[bit], margin);
        total[bit] += margin;
    }
    // Two readings: the surer wins. Three or more: the majority, the surer where they tie. Where
    // that ties too, the reference's bit stands. Views of one signal are no majority: each hears
    // some damage that the others do not, so the surer wins whatever their number, and only
    // where they are equally sure does the majority.
    int bit = base_bit;
    const bool majority = !any_odd && count[0] + count[1] >= 3;
    if (base_stands) {
        bit = base_bit;  // only its margin is settled
    } else if (majority && count[0] != count[1]) {
        bit = count[1] > count[0] ? 1 : 0;
    } else if (majority) {
        if (total[0] != total[1]) bit = total[1] > total[0] ? 1 : 0;
    } else if (best[0] != best[1]) {
        bit = best[1] > best[0] ? 1 : 0;
    } else if (count[0] != count[1]) {
        bit = count[1] > count[0] ? 1 : 0;
    }
    Settled settled;
    settled.Bit = static_cast<uint8_t>(bit);
    // As sure as the surest that says so, less the surest that says otherwise.
    settled.Margin = std::max(0.0f, best[bit] - std::max(0.0f, best[1 - bit]));
    settled.Odd = odd > 0 && (any_odd || odd == count[0] + count[1]);
    return settled;
}

// The time a bit had before the next bit began (infinity: none known), and whether that is
// counted from where the bit before it ended, a sure bit, the bit having been heard to begin
// sooner, and most views in doubt of it.
struct Room {
    double Seconds = std::numeric_limits<double>::infinity();
    bool AfterSure = false;
};

// Settles each bit of the (mended) reference by all the readings lined up with it (or, with
// `base_stands`, only its margin), keeping, as a reading does, the margins a pause beside a bit
// lowered and an odd pulse count capped.
void Vote(const std::vector<const TapeBlock*>& group, const std::vector<std::vector<long>>& at,
          bool any_odd, bool base_stands, const std::vector<Room>& room, TapeBlock* merged)
{
    merged->PausedBits.clear();
    merged->UnpausedMargins.clear();
    merged->OddCounts.clear();
    merged->UncountedMargins.clear();
    double start = 1e300, end = -1e300;  // of the stretch the readings hold
    for (const TapeBlock* reading : group) {
        start = std::min(start, reading->Start);
        end = std::max(end, reading->End);
    }
    for (size_t i = 0; i < merged->Bits.size(); ++i) {
        const int bit = merged->Bits[i];
        const bool may_begin = ListedMargin(merged->Starts, merged->StartMargins, i) >= 0;
        auto settle = [&](bool unpaused, bool too_soon) {
            return SettleBit(group, at, i, may_begin, bit, unpaused, any_odd, base_stands, start,
                             end, too_soon);
        };
        Settled kept = settle(false, false);
        Settled free = settle(true, false);
        float cap = kept.Odd ? ODD_COUNT_MARGIN : 1.0f;
        // A 1 where the next bit follows too soon for one has no say against a reading that
        // heard a 0 with some conviction, or any reading that heard a 0 where not even a 1's
        // burst fits before the next bit. Where that is so from the end of the sure bit before
        // and most views were in doubt of the 1, it is a 0 even if no view heard one, then in
        // doubt. The 0 is no surer than that next bit is there.
        if (!base_stands && kept.Bit == 1 && i < room.size() && room[i].Seconds < ONE_ROOM) {
            const Settled paced = settle(false, true);
            const bool no_room = room[i].Seconds < ONE_BURST_SECONDS;
            const bool heard = paced.Bit == 0;  // else no reading heard a 0 there
            if ((heard && (paced.Margin > 0 || no_room)) || (no_room && room[i].AfterSure)) {
                kept = heard ? paced : Settled{0, 0.0f, kept.Odd};
                free = heard ? settle(true, true) : kept;
                cap = std::min(kept.Odd ? ODD_COUNT_MARGIN : 1.0f, merged->Margins[i + 1]);
            }
        }
        merged->Bits[i] = kept.Bit;
        merged->Margins[i] = std::min(kept.Margin, cap);
        if (kept.Odd) {
            merged->OddCounts.push_back(i);
            merged->UncountedMargins.push_back(kept.Margin);
        }
        if (free.Bit == kept.Bit && std::min(free.Margin, cap) > merged->Margins[i]) {
            merged->PausedBits.push_back(i);
            merged->UnpausedMargins.push_back(std::min(free.Margin, cap));
        }
    }
}

// A place where a reading lined up with the reference shows that the reference lost or gained
// bits, and the readings that show it.
struct Edit {
    size_t At;
    int Change;  // bits the reference lacks (> 0) or has too many (< 0)
    std::vector<size_t> Readings;
};

// The changes of shift the other readings show against the reference. The same change seen in
// several readings is one edit: at the same bit, or within the same run of equal bits of the
// reference (where in a run a bit was lost is not to be told).
std::vector<Edit> FindEdits(const std::vector<const TapeBlock*>& group, size_t reference)
{
    const TapeBlock& base = *group[reference];
    std::vector<Edit> edits;
    for (size_t r = 0; r < group.size(); ++r) {
        if (r == reference) continue;
        const Segments segments =
            Align({base.Bits, base.Margins}, {group[r]->Bits, group[r]->Margins});
        for (size_t k = 1; k < segments.size(); ++k) {
            const int change = segments[k].second - segments[k - 1].second;
            const size_t at = segments[k].first;
            auto same = std::find_if(edits.begin(), edits.end(), [&](const Edit& e) {
                if (e.Change != change) return false;
                const size_t low = std::min(e.At, at), high = std::max(e.At, at);
                if (high - low > SAME_EDIT) return false;
                for (size_t i = low; i + 1 <= high && i + 1 < base.Bits.size(); ++i) {
                    if (base.Bits[i] != base.Bits[i + 1]) return high - low <= 1;
                }
                return true;
            });
            if (same == edits.end()) {
                edits.push_back({at, change, {r}});
            } else if (std::find(same->Readings.begin(), same->Readings.end(), r) ==
                       same->Readings.end()) {
                same->Readings.push_back(r);
            }
        }
    }
    return edits;
}

float LeastMargin(const TapeBlock& block, size_t from, size_t to)
{
    float least = 1.0f;
    for (size_t i = from; i < std::min(to, block.Margins.size()); ++i) {
        least = std::min(least, block.Margins[i]);
    }
    return least;
}

// Whether an edit is to be made. Only where the reference itself is unsure: a bit lost or gained
// leaves its mark there, while readings that only disagree about where repeated bits line up do
// not. Three or more readings decide by majority; of two, the one whose bits there are the less
// sure gives way.
bool EditHolds(const std::vector<const TapeBlock*>& group, const TapeBlock& base, const Edit& edit)
{
    const size_t near = edit.At > SAME_EDIT ? edit.At - SAME_EDIT : 0;
    if (LeastMargin(base, near, edit.At + SAME_EDIT) >= EDIT_DOUBT) return false;
    if (group.size() != 2) return 2 * edit.Readings.size() > group.size();
    // The other reading's bits by the change against the reference's.
    const TapeBlock& other = *group[edit.Readings[0]];
    const size_t from = edit.At > MOST_SHIFT ? edit.At - MOST_SHIFT : 0;
    const long o = static_cast<long>(from) + edit.Change;
    const size_t other_from = o > 0 ? static_cast<size_t>(o) : 0;
    return LeastMargin(base, from, edit.At + MOST_SHIFT) <
           LeastMargin(other, other_from, other_from + 2 * MOST_SHIFT);
}

// Makes an edit to `mended`: takes out the bits the reference has too many, or puts in those it
// lacks, as a supporter has them just before its bits there.
void ApplyEdit(const std::vector<const TapeBlock*>& group, const TapeBlock& base, const Edit& edit,
               TapeBlock* mended)
{
    const auto at = static_cast<long>(edit.At);
    if (edit.Change < 0) {
        const long end = std::min<long>(at - edit.Change, static_cast<long>(mended->Bits.size()));
        mended->Bits.erase(mended->Bits.begin() + at, mended->Bits.begin() + end);
        mended->Margins.erase(mended->Margins.begin() + at, mended->Margins.begin() + end);
        mended->Times.erase(mended->Times.begin() + at, mended->Times.begin() + end);
        return;
    }
    const TapeBlock& other = *group[edit.Readings[0]];
    const Segments segments = Align({base.Bits, base.Margins}, {other.Bits, other.Margins});
    int shift = edit.Change;
    for (const auto& segment : segments) {
        if (segment.first <= edit.At) shift = segment.second;
    }
    const long first = at + shift - edit.Change;
    if (first < 0 || static_cast<size_t>(first + edit.Change) > other.Bits.size()) return;
    const double time = edit.At < mended->Times.size() ? mended->Times[edit.At] : mended->End;
    for (int k = edit.Change - 1; k >= 0; --k) {
        const auto j = static_cast<size_t>(first + k);
        mended->Bits.insert(mended->Bits.begin() + at, other.Bits[j]);
        mended->Margins.insert(mended->Margins.begin() + at, other.Margins[j]);
        mended->Times.insert(mended->Times.begin() + at, time);
    }
}

// The reference, mended where the other readings agree that it lost or gained bits.
TapeBlock MendReference(const std::vector<const TapeBlock*>& group, size_t reference)
{
    const TapeBlock& base = *group[reference];
    std::vector<Edit> edits = FindEdits(group, reference);
    TapeBlock mended = base;
    std::sort(edits.begin(), edits.end(), [](const Edit& a, const Edit& b) { return a.At > b.At; });
    for (const Edit& edit : edits) {
        if (EditHolds(group, base, edit) && edit.At <= mended.Bits.size()) {
            ApplyEdit(group, base, edit, &mended);
        }
    }
    return mended;
}

// How much later than the reference the other reading's bits begin, in seconds: the median
// difference of their times where the bits are lined up by their values; 0 where it is within
// what the times of one moment differ by anyway, or `most` or more (the bits were lined up
// wrongly).
double TimeOffset(const TapeBlock& reference, const TapeBlock& other, double most)
{
    // The bits are lined up a stretch at a time, each stretch's shift found from the stretches
    // before it: the first stretches, lined up alone, line up as they would with the rest, and
    // hold the bits the offset is found from unless many of them matched nothing.
    const size_t prefix = std::min(reference.Bits.size(), OFFSET_STRETCHES * STRETCH_BITS);
    const std::vector<uint8_t> bits(reference.Bits.begin(),
                                    reference.Bits.begin() + static_cast<long>(prefix));
    const std::vector<float> margins(reference.Margins.begin(),
                                     reference.Margins.begin() + static_cast<long>(prefix));
    std::vector<long> at =
        Positions(Align({bits, margins}, {other.Bits, other.Margins}), prefix, other.Bits.size());
    if (prefix < reference.Bits.size() &&
        static_cast<size_t>(std::count_if(at.begin(), at.end(), [](long j) { return j >= 0; })) <
            SKEW_BITS) {
        at = LineUp(reference, other);
    }
    std::vector<double> differences;
    for (size_t i = 0; i < at.size() && differences.size() < SKEW_BITS; ++i) {
        if (at[i] >= 0)
            differences.push_back(other.Times[static_cast<size_t>(at[i])] - reference.Times[i]);
    }
    if (differences.empty()) return 0;
    auto middle = differences.begin() + static_cast<long>(differences.size() / 2);
    std::nth_element(differences.begin(), middle, differences.end());
    // A reading that holds only part of the reference, and no other moment of it, lines up
    // anywhere.
    return std::fabs(*middle) > SKEW_SEEN && std::fabs(*middle) < most ? *middle : 0;
}

// The place among `times` (in order) of the moment nearest `t`; times.size() where there is none.
size_t Nearest(const std::vector<double>& times, double t)
{
    const auto after =
        static_cast<size_t>(std::lower_bound(times.begin(), times.end(), t) - times.begin());
    if (after > 0 && (after == times.size() || t - times[after - 1] < times[after] - t)) {
        return after - 1;
    }
    return after;
}

// For each of the reference's bits, the bit of `other` that began at the same moment (the other's
// times less `offset`), or -1: readings of one recording share its timeline, however each split it
// into blocks. A bit the reference put back where it lost one has only a guessed moment, and one
// in doubt may have begun elsewhere: each takes the nearest bit within a wider reach (a sure one,
// within `reach_sure`).
std::vector<long> SameMoments(const TapeBlock& reference, const TapeBlock& other, double offset,
                              double reach_sure = SAME_MOMENT)
{
    std::vector<long> at(reference.Bits.size(), -1);
    const std::vector<double>& times = reference.Times;
    for (size_t j = 0; j < other.Times.size(); ++j) {
        const double t = other.Times[j] - offset;
        const size_t i = Nearest(times, t);
        if (i == times.size()) continue;
        const double reach = reference.Margins[i] >= DOUBT_MARGIN ? reach_sure
                             : reference.Margins[i] > 0           ? DOUBTFUL_MOMENT
                                                                  : GUESSED_MOMENT;
        // The nearest of the other's bits within reach is the one: an earlier one (noise before
        // the tape, heard as a bit) does not keep it from the bit that began with it.
        const double apart = std::fabs(times[i] - t);
        if (apart > reach) continue;
        if (at[i] < 0 ||
            apart < std::fabs(times[i] - (other.Times[static_cast<size_t>(at[i])] - offset))) {
            at[i] = static_cast<long>(j);
        }
    }
    return at;
}

// Whether a bit (`one`) that began at `t` lies at the tape's pace before a bit that began at
// `next`: no sooner than its burst and pause allow, and no later than a 1's.
bool AtTapePace(bool one, double t, double next)
{
    const double gap = next - t;
    return gap >= (one ? ONE_ROOM : ZERO_ROOM) && gap <= ONE_BIT_SECONDS / BIT_ROOM;
}

// How long a block's bits from `from` up to `to` would last on the tape, each burst and pause.
double NominalSeconds(const TapeBlock& block, size_t from, size_t to)
{
    double nominal = 0;
    for (size_t k = from; k < to; ++k) {
        nominal += block.Bits[k] ? ONE_BIT_SECONDS : ZERO_BIT_SECONDS;
    }
    return nominal;
}

// How long a block's bits last, on average, against how long the tape's bits last: the pace of
// its tape (a machine's pauses are longer, a deck may run fast or slow).
double PaceScale(const TapeBlock& block)
{
    const double nominal =
        block.Bits.empty() ? 0.0 : NominalSeconds(block, 0, block.Bits.size() - 1);
    return nominal > 0 ? (block.Times.back() - block.Times.front()) / nominal : 1.0;
}

// How far the time from a block's bit `from` to its bit `to` is from what its bits between
// would last at the pace `scale`.
double PaceMisfit(const TapeBlock& block, size_t from, size_t to, double scale)
{
    return std::fabs(block.Times[to] - block.Times[from] - scale * NominalSeconds(block, from, to));
}

// Whether each of a block's bits from `from` up to `to` lies at the tape's pace before the next:
// one in doubt as a 0 would (the least room), unless `as_heard`.
bool AtTapePace(const TapeBlock& block, size_t from, size_t to, bool as_heard = false)
{
    for (size_t k = from; k < to; ++k) {
        const bool one = block.Bits[k] && (as_heard || block.Margins[k] >= DOUBT_MARGIN);
        if (!AtTapePace(one, block.Times[k], block.Times[k + 1])) return false;
    }
    return true;
}

// Pairs each bit of `other` (its times `offset` later) that no bit of the reference matched with
// the nearest of the reference's bits that matched none either, within a guessed bit's reach and
// in order with the bits matched around it, where the reference's bit breaks the tape's pace
// with a bit beside it and the other's keeps it with both: views of one signal heard the same
// bursts, and that one is the other's bit heard to begin early or late (noise run into its
// burst). They settle it together, and where they disagree it is in doubt.
void PairLeftovers(const TapeBlock& reference, const TapeBlock& other, double offset,
                   std::vector<long>* at)
{
    std::vector<bool> matched(other.Bits.size(), false);
    for (const long j : *at) {
        if (j >= 0) matched[static_cast<size_t>(j)] = true;
    }
    const std::vector<double>& times = reference.Times;
    for (size_t j = 1; j + 1 < other.Bits.size(); ++j) {
        if (matched[j] || !AtTapePace(other, j - 1, j + 1)) continue;
        const double t = other.Times[j] - offset;
        const size_t i = Nearest(times, t);
        if (i == 0 || i + 1 >= times.size() || (*at)[i] >= 0 ||
            std::fabs(times[i] - t) > GUESSED_MOMENT || AtTapePace(reference, i - 1, i + 1, true)) {
            continue;
        }
        const auto k = static_cast<long>(j);
        if ((*at)[i - 1] < k && ((*at)[i + 1] < 0 || (*at)[i + 1] > k)) (*at)[i] = k;
    }
}

// The bits of `other` (its times `offset` later) that no bit of `base` matched and that came
// before base's first, one after another at the tape's pace up to it, put in before it: the
// reference lost the first bits of the block, where the other heard them. Bits in doubt before
// the first sure one are hiss before the tape, but for the one next to it, which may be the
// block's true first bit: the block may begin at it or after it, and the reading that passes its
// checks tells. The block may still begin where it began before, its first bit as sure as it
// was.
void PutInBefore(const TapeBlock& other, double offset, const std::vector<bool>& matched,
                 TapeBlock* base)
{
    if (base->Times.empty()) return;
    size_t j = static_cast<size_t>(
        std::lower_bound(other.Times.begin(), other.Times.end(), base->Times.front() + offset) -
        other.Times.begin());
    while (j > 0 && matched[j - 1]) --j;  // the bit base's first matched may lie a little before
    // Each at the pace of the bit after it: the other's own where that one began the block too.
    size_t from = j;
    double next = j < matched.size() && matched[j] ? other.Times[j] - offset : base->Times.front();
    while (from > 0 && !matched[from - 1] &&
           AtTapePace(other.Bits[from - 1], other.Times[from - 1] - offset, next)) {
        next = other.Times[--from] - offset;
    }
    while (from + 1 < j && other.Margins[from] < DOUBT_MARGIN &&
           other.Margins[from + 1] < DOUBT_MARGIN) {
        ++from;
    }
    const size_t put = j - from;
    if (put == 0) return;
    const bool in_doubt = other.Margins[from] < DOUBT_MARGIN;
    const auto first = static_cast<long>(from), last = static_cast<long>(j);
    base->Bits.insert(base->Bits.begin(), other.Bits.begin() + first, other.Bits.begin() + last);
    base->Margins.insert(base->Margins.begin(), other.Margins.begin() + first,
                         other.Margins.begin() + last);
    base->Times.insert(base->Times.begin(), other.Times.begin() + first,
                       other.Times.begin() + last);
    for (size_t k = 0; k < put; ++k) base->Times[k] -= offset;
    for (size_t& start : base->Starts) start += put;
    if (!base->Starts.empty() && base->Starts.front() == put) base->StartMargins.front() = 1.0f;
    if (in_doubt && put > 1) {  // the sure bits put in may begin the block
        ListBit(&base->Starts, &base->StartMargins, 1, 1.0f);
    }
    ListBit(&base->Starts, &base->StartMargins, 0, 0.0f);  // no break before it
    for (size_t& bit : base->PausedBits) bit += put;
    for (size_t& bit : base->OddCounts) bit += put;
    base->Start = base->Times.front();
}

// The reference with the bits it lacks put in: those of other readings of the same timeline
// (each `offsets` later than the reference) that began where the reference has room for a bit
// but none.
void FillReference(const std::vector<const TapeBlock*>& group, size_t reference,
                   const std::vector<double>& offsets, TapeBlock* filled)
{
    TapeBlock& base = *filled;
    for (size_t r = 0; r < group.size(); ++r) {
        if (r == reference) continue;
        const TapeBlock& other = *group[r];
        const std::vector<long> at = SameMoments(base, other, offsets[r]);
        std::vector<bool> matched(other.Bits.size(), false);
        for (const long j : at) {
            if (j >= 0) matched[static_cast<size_t>(j)] = true;
        }
        for (size_t j = 0; j < other.Bits.size(); ++j) {
            if (matched[j]) continue;
            const double t = other.Times[j] - offsets[r];
            const auto place = static_cast<size_t>(
                std::lower_bound(base.Times.begin(), base.Times.end(), t) - base.Times.begin());
            if (place == 0 || place == base.Times.size()) continue;  // outside the reference
            // A sure 1 before it fills a 1's place, not a 0's.
            const bool after_one = base.Bits[place - 1] && base.Margins[place - 1] >= DOUBT_MARGIN;
            const double room_after = after_one ? ONE_ROOM : ZERO_ROOM;
            if (t - base.Times[place - 1] < room_after || base.Times[place] - t < ZERO_ROOM)
                continue;
            const auto k = static_cast<long>(place);
            base.Bits.insert(base.Bits.begin() + k, other.Bits[j]);
            base.Margins.insert(base.Margins.begin() + k, other.Margins[j]);
            base.Times.insert(base.Times.begin() + k, t);
            // The places the block may begin at keep their bits.
            for (size_t& start : base.Starts) start += start >= place;
        }
        PutInBefore(other, offsets[r], matched, &base);
    }
}

// The block the group's readings make together, from the reference (filled in or mended) and,
// for each reading, the bit of it that lines up with each of the reference's bits (-1: none).
TapeBlock CombineGroup(const std::vector<const TapeBlock*>& group, size_t reference,
                       const TapeBlock& base, const std::vector<std::vector<long>>& at,
                       bool any_odd, const std::vector<Room>& room, bool base_stands = false)
{
    TapeBlock merged = base;
    Vote(group, at, any_odd, base_stands, room, &merged);

    // The readings, the reference first, each with its bits and times lined up.
    merged.Sources.clear();
    std::vector<size_t> order = {reference};
    for (size_t r = 0; r < group.size(); ++r) {
        if (r != reference) order.push_back(r);
        merged.SilenceBefore = std::max(merged.SilenceBefore, group[r]->SilenceBefore);
        merged.FirstInRecording = merged.FirstInRecording && group[r]->FirstInRecording;
        merged.ClearStart = merged.ClearStart && group[r]->ClearStart;
    }
    for (const size_t r : order) {
        BlockSource source;
        if (!group[r]->Sources.empty()) {
            source.Recording = group[r]->Sources[0].Recording;
            source.Channel = group[r]->Sources[0].Channel;
        }
        source.Bits.assign(merged.Bits.size(), NO_BIT);
        source.Times.assign(merged.Bits.size(), -1.0);
        for (size_t i = 0; i < merged.Bits.size(); ++i) {
            const long j = at[r][i];
            if (j < 0) continue;
            source.Bits[i] = group[r]->Bits[static_cast<size_t>(j)];
            source.Times[i] = group[r]->Times[static_cast<size_t>(j)];
        }
        merged.Sources.push_back(std::move(source));
    }
    return merged;
}

// The share of sure bits among those of the blocks in `blocks` that overlap `block` in time.
double OverlappingShare(const std::vector<TapeBlock>& blocks, const TapeBlock& block)
{
    size_t bits = 0, sure = 0;
    for (const TapeBlock& other : blocks) {
        if (other.End < block.Start || other.Start > block.End) continue;
        bits += other.Bits.size();
        sure += SureBits(other);
    }
    return bits == 0 ? 0.0 : static_cast<double>(sure) / static_cast<double>(bits);
}

// A view's bits become no evidence either way: it only marks the bits whose pulses it counted as
// no bit has, and is left out if there are none.
void MarkOddCountsOnly(TapeBlock* block)
{
    std::fill(block->Margins.begin(), block->Margins.end(), 0.0f);
    std::fill(block->UncountedMargins.begin(), block->UncountedMargins.end(), 0.0f);
    block->PausedBits.clear();
    block->UnpausedMargins.clear();
    if (block->OddCounts.empty()) block->Bits.clear();
}

// Whether moment `t` of `block`'s timeline lies inside the burst of one of its sure bits (or
// within half a pause after it): no burst can begin there.
bool InsideSureBurst(const TapeBlock& block, double t)
{
    const auto after = static_cast<size_t>(
        std::upper_bound(block.Times.begin(), block.Times.end(), t) - block.Times.begin());
    if (after == 0 || block.Margins[after - 1] < DOUBT_MARGIN) return false;
    const double burst = block.Bits[after - 1] ? ONE_BURST_SECONDS : ZERO_BURST_SECONDS;
    return t - block.Times[after - 1] < burst + 0.5 * BIT_PAUSE_SECONDS;
}

// Whether moment `t` of `block`'s timeline lies between two of its bits, one after the other,
// that are both sure: it heard no burst there.
bool BetweenSureBits(const TapeBlock& block, double t)
{
    const auto after = static_cast<size_t>(
        std::lower_bound(block.Times.begin(), block.Times.end(), t) - block.Times.begin());
    return after > 0 && after < block.Times.size() && block.Margins[after - 1] >= DOUBT_MARGIN &&
           block.Margins[after] >= DOUBT_MARGIN;
}

// A view settles bits only where the first view (`first`, its blocks) is in doubt: at the moments
// of the first's sure bits it is never as sure as the first (it may put such a bit in doubt, not
// overturn it), and its bits between two sure bits of the first, which heard no burst there, are
// dropped.
void HearWhereInDoubt(const std::vector<TapeBlock>& first, TapeBlock* later)
{
    std::vector<bool> keep(later->Bits.size(), true);
    for (const TapeBlock& block : first) {
        if (block.End < later->Start || block.Start > later->End) continue;
        const double offset = TimeOffset(*later, block, VIEW_LAG_MOST);
        // Bits of one signal's views: where one began elsewhere, the nearest within reach is it.
        const std::vector<long> at = SameMoments(*later, block, offset, DOUBTFUL_MOMENT);
        auto sure = [&](size_t j) { return block.Margins[j] >= DOUBT_MARGIN; };
        // A 1 whose next bit follows sooner than a 1's burst and pause allow, or that began
        // well before the 0 this view heard there (noise run into the burst made it long): the
        // pace says otherwise, and a view that disagrees surely may overturn it.
        auto paced = [&](size_t j, size_t i) {
            if (!block.Bits[j]) return true;
            const bool soon =
                j + 1 < block.Times.size() && block.Times[j + 1] - block.Times[j] < ONE_ROOM;
            const bool early =
                !later->Bits[i] && block.Times[j] - offset < later->Times[i] - SAME_MOMENT;
            return !soon && !early;
        };
        for (size_t i = 0; i < at.size(); ++i) {
            if (at[i] >= 0) {
                const auto j = static_cast<size_t>(at[i]);
                if (!sure(j)) continue;
                // It is that bit: where it began the burst elsewhere (noise or ringing run into
                // it), it takes the first's moment, so that the two line up when merged.
                const bool capped = paced(j, i);
                later->Times[i] = block.Times[j] - offset;
                if (!capped) continue;
                // Never surer than the first there: it cannot overturn the bit, only put it in
                // doubt by disagreeing with conviction.
                CapMargins(later, i, std::max(0.0f, block.Margins[j] - OVERRULED));
                continue;
            }
            if (BetweenSureBits(block, later->Times[i] + offset)) keep[i] = false;
        }
    }
    KeepBits(later, keep);
}

// Calls `stretch(from, to, other_from, other_to)` for each two sure bits of the reference, `from`
// and `to`, that `other` (lined up with it by `at`) heard alike at `other_from` and `other_to`,
// with no such bit between them.
template <typename Stretch>
void ForEachStretch(const TapeBlock& base, const TapeBlock& other, const std::vector<long>& at,
                    Stretch stretch)
{
    long last = -1;
    for (size_t i = 0; i < at.size(); ++i) {
        if (base.Margins[i] < DOUBT_MARGIN || at[i] < 0 ||
            other.Bits[static_cast<size_t>(at[i])] != base.Bits[i]) {
            continue;
        }
        if (last >= 0) stretch(static_cast<size_t>(last), i, at[static_cast<size_t>(last)], at[i]);
        last = static_cast<long>(i);
    }
}

// The other view's bits between two sure bits that it heard alike with the reference have no say
// where it heard another number of bits there than the reference, off the tape's pace, and the
// reference kept the pace: it heard a burst in pieces, or bursts run together.
void UnmatchOffPace(const TapeBlock& base, const TapeBlock& other, std::vector<long>* at)
{
    ForEachStretch(base, other, *at, [&](size_t from, size_t to, long other_from, long other_to) {
        if (other_to - other_from == static_cast<long>(to - from) ||
            AtTapePace(other, static_cast<size_t>(other_from), static_cast<size_t>(other_to)) ||
            !AtTapePace(base, from, to)) {
            return;
        }
        for (size_t k = from + 1; k < to; ++k) (*at)[k] = -1;
    });
}

// The (filled) reference without its bits in doubt that no other view heard, where another
// view heard the stretch around them surely, a bit either side and none between: a burst the
// reference heard in two pieces (a dip in its middle), the second taken for a bit of its own.
// A bit between two sure bits that both heard alike, where another view heard as many bits
// between them, is no piece: that view heard its burst too, begun elsewhere.
void DropUnheard(const std::vector<const TapeBlock*>& group, size_t reference,
                 const std::vector<double>& offsets, TapeBlock* base)
{
    std::vector<bool> heard(base->Bits.size(), false);
    for (size_t r = 0; r < group.size(); ++r) {
        if (r == reference) continue;
        const TapeBlock& other = *group[r];
        const std::vector<long> at = SameMoments(*base, other, offsets[r]);
        for (size_t i = 0; i < at.size(); ++i) heard[i] = heard[i] || at[i] >= 0;
        ForEachStretch(*base, other, at,
                       [&](size_t from, size_t to, long other_from, long other_to) {
                           if (other_to - other_from == static_cast<long>(to - from)) {
                               for (size_t k = from + 1; k < to; ++k) heard[k] = true;
                           }
                       });
    }
    std::vector<bool> keep(base->Bits.size(), true);
    for (size_t i = 0; i < base->Bits.size(); ++i) {
        if (heard[i] || base->Margins[i] >= DOUBT_MARGIN) continue;
        // A bit at the tape's pace after the one before and before the next is no piece.
        if (i > 0 && i + 1 < base->Bits.size() && AtTapePace(*base, i - 1, i + 1)) continue;
        for (size_t r = 0; r < group.size() && keep[i]; ++r) {
            if (r == reference) continue;
            const double t = base->Times[i] + offsets[r];
            keep[i] = !BetweenSureBits(*group[r], t) && !InsideSureBurst(*group[r], t);
        }
    }
    KeepBits(base, keep);
}

// The reference with each stretch that holds bits in doubt replaced by another view's
// bits there, where that view heard the stretch surely in a different number of bits: the
// reference ran bursts together there, or heard one in pieces, and the other did not; inside the
// block, where only one of the two views heard them at the tape's pace, that one's. A stretch
// lies between two bits that are sure in the reference and that both views heard alike (or the
// block's start, where the other began too): a sure bit of the reference that the other did not
// hear, or surely heard otherwise, is part of it (where the comparator has not yet settled, at a
// block's start, its view may hear a bit surely and wrongly). There the other's bits in doubt
// before its first sure one are hiss, but for the one at the tape's pace before it: the block
// may begin at that bit or after it. Where the other heard as many bits there, they are the
// same bits, and the reference's take the other's moments (`moved`: the reference's bits so
// moved, by their place in it), which its own may have drifted from.
void TakeSureStretches(const std::vector<const TapeBlock*>& group, size_t reference,
                       const std::vector<double>& offsets, TapeBlock* base,
                       std::vector<std::pair<size_t, double>>* moved)
{
    auto sure = [](const TapeBlock& block, size_t i) { return block.Margins[i] >= DOUBT_MARGIN; };
    // Each bit's place in the reference (-1: another's), kept only once a stretch was taken and
    // another view may yet move bits: until then each bit is the reference's own.
    std::vector<long> origin;
    auto origin_of = [&](size_t i) { return origin.empty() ? static_cast<long>(i) : origin[i]; };
    size_t last_other = group.size();
    for (size_t r = 0; r < group.size(); ++r) {
        if (r != reference) last_other = r;
    }
    const double scale = PaceScale(*group[reference]);
    for (size_t r = 0; r < group.size(); ++r) {
        if (r == reference || base->Times.empty()) continue;
        const TapeBlock& other = *group[r];
        const std::vector<long> at = SameMoments(*base, other, offsets[r]);
        const size_t n = base->Bits.size();
        auto anchor = [&](size_t i) {
            return sure(*base, i) && at[i] >= 0 &&
                   other.Bits[static_cast<size_t>(at[i])] == base->Bits[i];
        };
        // The other's bit before its first at or after the reference's first moment.
        const long before_first =
            static_cast<long>(std::lower_bound(other.Times.begin(), other.Times.end(),
                                               base->Times.front() + offsets[r] - DOUBTFUL_MOMENT) -
                              other.Times.begin()) -
            1;
        // At the block's start, the other heard the stretch only if it began there too.
        const bool heard_start =
            other.Times.front() - offsets[r] <= base->Times.front() + DOUBTFUL_MOMENT;
        TapeBlock taken = *base;
        taken.Bits.clear();
        taken.Margins.clear();
        taken.Times.clear();
        std::vector<size_t> number(n);  // each bit's place in `taken`
        std::vector<long> taken_origin;
        const bool track = r != last_other;  // another view may yet move bits
        bool took = false;
        bool begins_after_doubt = false;  // the block may begin after its first bit, in doubt
        for (size_t i = 0; i < n;) {
            number[i] = taken.Bits.size();
            size_t end = i;
            bool unsure = false;
            for (; end < n && !anchor(end); ++end) unsure = unsure || !sure(*base, end);
            long from = i == 0 ? before_first : at[i - 1];
            const long to = end < n ? at[end] : -1;
            long in_doubt = -1;  // the other's bit in doubt that the stretch may begin at
            size_t hiss = 0;     // the reference's bits in doubt before it: hiss too
            if (i == 0 && heard_start) {
                // Before its first sure bit the other heard hiss, in doubt, or the block's first
                // bit among it: the one at the tape's pace before that sure bit.
                long first_sure = from + 1;
                while (first_sure < to && !sure(other, static_cast<size_t>(first_sure))) {
                    ++first_sure;
                }
                if (first_sure > from + 1 && first_sure < to) {
                    const auto k = static_cast<size_t>(first_sure - 1);
                    from = first_sure - 1;
                    if (AtTapePace(other.Bits[k], other.Times[k], other.Times[k + 1])) {
                        in_doubt = from--;
                    }
                    const double begins = other.Times[static_cast<size_t>(from + 1)] - offsets[r];
                    while (hiss < end && !sure(*base, hiss) &&
                           base->Times[hiss] < begins - DOUBTFUL_MOMENT) {
                        ++hiss;
                    }
                }
            }
            bool heard = unsure && to > from + 1 && (i > 0 || heard_start);
            for (long j = from + 1; heard && j < to; ++j) {
                heard = j == in_doubt || sure(other, static_cast<size_t>(j));
            }
            const auto others = static_cast<size_t>(to - from - 1);
            // Between two sure bits both heard alike, where one view heard a different number of
            // bits than the other one after another at the tape's pace and the other's pace
            // breaks there (a gap that no bit fills, or a bit too soon), the view at the pace
            // has their number, however sure either was of their values. Where the other broke
            // it, the reference keeps its own; where both kept it, the other's are taken only
            // where they fill the time between the two more nearly, at the block's pace.
            if (unsure && i > 0 && end < n && to > from + 1 && others != end - i) {
                const auto other_from = static_cast<size_t>(from);
                const auto other_to = static_cast<size_t>(to);
                const bool other_paced = AtTapePace(other, other_from, other_to);
                if (!AtTapePace(*base, i - 1, end)) {
                    heard = other_paced;
                } else {
                    heard = heard && other_paced &&
                            PaceMisfit(other, other_from, other_to, scale) <
                                PaceMisfit(*base, i - 1, end, scale);
                }
            }
            // As many bits as the other heard surely there are the same bits, and where the
            // reference's moments drifted from theirs, all alike and no further than a guessed
            // bit's may lie, they take the other's moments.
            bool retime = heard && others == end - i && hiss == 0 && in_doubt < 0;
            double least = GUESSED_MOMENT, most = -GUESSED_MOMENT;
            for (size_t k = i; retime && k < end; ++k) {
                const auto j = static_cast<size_t>(from + 1) + k - i;
                const double drift = base->Times[k] - (other.Times[j] - offsets[r]);
                least = std::min(least, drift);
                most = std::max(most, drift);
                retime = std::fabs(drift) <= GUESSED_MOMENT && most - least <= 2 * SAME_MOMENT;
            }
            if (!heard || others == end - i - hiss) {
                // The stretch as it is, and the bit that ends it.
                for (const size_t first = i, last = std::min(end + 1, n); i < last; ++i) {
                    number[i] = taken.Bits.size();
                    taken.Bits.push_back(base->Bits[i]);
                    taken.Margins.push_back(base->Margins[i]);
                    taken.Times.push_back(base->Times[i]);
                    if (track) taken_origin.push_back(origin_of(i));
                    if (!retime || i == end) continue;
                    const auto k = static_cast<size_t>(from + 1) + i - first;
                    taken.Times.back() = other.Times[k] - offsets[r];
                    if (origin_of(i) >= 0) {
                        moved->emplace_back(static_cast<size_t>(origin_of(i)), taken.Times.back());
                    }
                }
                took = took || retime;
                continue;
            }
            for (long j = from + 1; j < to; ++j) {
                const auto k = static_cast<size_t>(j);
                taken.Bits.push_back(other.Bits[k]);
                taken.Margins.push_back(other.Margins[k]);
                taken.Times.push_back(other.Times[k] - offsets[r]);
                if (track) taken_origin.push_back(-1);
            }
            // Each of the stretch's bits goes with the bit taken nearest its moment.
            for (size_t k = i, near = number[i]; k < end; ++k) {
                while (near + 1 < taken.Times.size() && taken.Times[near + 1] - base->Times[k] <
                                                            base->Times[k] - taken.Times[near]) {
                    ++near;
                }
                number[k] = near;
            }
            if (in_doubt >= 0) begins_after_doubt = true;
            i = end;
            took = true;
        }
        if (!took) continue;
        // A place the block may begin at inside a stretch taken goes with it, as sure a start
        // as the surest there.
        taken.Starts.clear();
        taken.StartMargins.clear();
        for (size_t k = 0; k < base->Starts.size(); ++k) {
            const size_t start = number[base->Starts[k]];
            if (!taken.Starts.empty() && taken.Starts.back() == start) {
                taken.StartMargins.back() =
                    std::max(taken.StartMargins.back(), base->StartMargins[k]);
                continue;
            }
            taken.Starts.push_back(start);
            taken.StartMargins.push_back(base->StartMargins[k]);
        }
        if (begins_after_doubt) ListBit(&taken.Starts, &taken.StartMargins, 1, 1.0f);
        taken.Start = taken.Times.front();
        *base = std::move(taken);
        origin = std::move(taken_origin);
    }
}

// For each bit of the (filled) reference, the time it had before the next bit began, where every
// view that heard a 1 there heard its burst begin at the same moment (a 1 matched from further off
// may be another burst, and the moments tell nothing of it); elsewhere infinity, none known. Where
// every view heard the bit before begin at one moment, and all heard it alike, or the reference
// surely and none otherwise as surely, that bit's burst and pause (at the block's pace) end where
// this bit can begin at the soonest: what was heard sooner was that burst's echo, or noise, and so
// are the 1s any view heard begin then.
std::vector<Room> RoomBeforeNext(const std::vector<const TapeBlock*>& group, const TapeBlock& base,
                                 const std::vector<double>& offsets,
                                 const std::vector<std::vector<long>>& at)
{
    // Whether every view that has bit `k` heard it begin at the reference's moment, and none
    // otherwise than the reference holds it, at least `surely`.
    auto alike = [&](size_t k, float surely) {
        for (size_t r = 0; r < group.size(); ++r) {
            if (at[r][k] < 0) continue;
            const auto j = static_cast<size_t>(at[r][k]);
            if (std::fabs(group[r]->Times[j] - offsets[r] - base.Times[k]) > SAME_MOMENT ||
                (group[r]->Bits[j] != base.Bits[k] && group[r]->Margins[j] >= surely)) {
                return false;
            }
        }
        return true;
    };
    std::vector<Room> room(base.Bits.size());
    const double scale = PaceScale(base);
    for (size_t i = 0; i + 1 < base.Bits.size(); ++i) {
        const bool after_sure =
            i > 0 && base.Margins[i - 1] >= DOUBT_MARGIN && alike(i - 1, DOUBT_MARGIN);
        const double earliest = i > 0 && (after_sure || alike(i - 1, 0.0f))
                                    ? base.Times[i - 1] + scale * NominalSeconds(base, i - 1, i)
                                    : -std::numeric_limits<double>::infinity();
        const double begins = std::max(base.Times[i], earliest);
        bool same_moment = true;
        int doubted = 0, ones = 0;  // views that heard a 1 there, and those in doubt of it
        for (size_t r = 0; r < group.size() && same_moment; ++r) {
            if (at[r][i] < 0) continue;
            const auto j = static_cast<size_t>(at[r][i]);
            const double t = group[r]->Times[j] - offsets[r];
            same_moment = group[r]->Bits[j] == 0 || std::fabs(t - base.Times[i]) <= SAME_MOMENT ||
                          t < earliest;
            if (group[r]->Bits[j] == 1) {
                ++ones;
                doubted += group[r]->Margins[j] < DOUBT_MARGIN;
            }
        }
        if (same_moment) {
            room[i] = {base.Times[i + 1] - begins,
                       after_sure && begins > base.Times[i] && 2 * doubted > ones};
        }
    }
    return room;
}

// Readings on one timeline, lined up by the moments their bits began, the reference filled in
// first where others hold bits it lost. `views`: they are views of one signal, which lie within
// moments of each other and heard the same pulses; the reference also loses the bits it alone
// heard, where the others heard the stretch surely.
TapeBlock MergeOnTimeline(const std::vector<const TapeBlock*>& group, bool views)
{
    if (group.size() == 1) return *group.front();
    const size_t reference = Reference(group);
    const double most = views ? VIEW_LAG_MOST : SKEW_MOST;
    std::vector<double> offsets(group.size(), 0.0);
    for (size_t r = 0; r < group.size(); ++r) {
        if (r != reference) offsets[r] = TimeOffset(*group[reference], *group[r], most);
    }
    TapeBlock base = *group[reference];
    // The reference as it lines up with the rest: where another view heard a stretch surely in
    // as many bits, its bits there take their moments, so that each meets its own.
    std::vector<const TapeBlock*> lined = group;
    TapeBlock moved_reference;
    if (views) {
        std::vector<std::pair<size_t, double>> moved;
        TakeSureStretches(group, reference, offsets, &base, &moved);
        if (!moved.empty()) {
            moved_reference = *group[reference];
            for (const auto& [i, time] : moved) moved_reference.Times[i] = time;
            lined[reference] = &moved_reference;
        }
    }
    FillReference(lined, reference, offsets, &base);
    if (views) DropUnheard(lined, reference, offsets, &base);
    std::vector<std::vector<long>> at(group.size());
    for (size_t r = 0; r < group.size(); ++r) {
        at[r] = SameMoments(base, *lined[r], offsets[r]);
        // The reference's own bits left out were left out for others' (a stretch taken, a
        // piece dropped): only another view's can pair.
        if (views && r != reference) {
            PairLeftovers(base, *lined[r], offsets[r], &at[r]);
            UnmatchOffPace(base, *lined[r], &at[r]);
        }
    }
    const std::vector<Room> room =
        views ? RoomBeforeNext(lined, base, offsets, at) : std::vector<Room>();
    TapeBlock merged = CombineGroup(lined, reference, base, at, views, room);
    // Where the reference's programs pass every check and those of the bits settled together
    // do not, the others overturned bits of it wrongly: its bits stand, in doubt where others
    // disagreed as surely.
    if (merged.Bits != group[reference]->Bits && PassesEveryCheck(*group[reference]) &&
        FailedChecksIn(merged) > 0) {
        merged = CombineGroup(lined, reference, base, at, views, room, true);
    }
    return merged;
}

// Readings of separate recordings, lined up by their bits, the reference mended first where the
// others agree it lost or gained some.
TapeBlock MergeByBits(const std::vector<const TapeBlock*>& group)
{
    if (group.size() == 1) return *group.front();
    const size_t reference = Reference(group);
    const TapeBlock base = MendReference(group, reference);
    std::vector<std::vector<long>> at(group.size());
    for (size_t r = 0; r < group.size(); ++r) {  // the reference too, as it was before mending
        at[r] = LineUp(base, *group[r]);
    }
    return CombineGroup(group, reference, base, at, false, {});
}

// Whether two blocks of separate recordings hold the same stretch of tape: about as long, and
// their bits agree nearly everywhere once lined up (a lost or gained bit shifts the rest).
bool SameTape(const TapeBlock& a, const TapeBlock& b)
{
    const size_t shorter = std::min(a.Bits.size(), b.Bits.size());
    const size_t longer = std::max(a.Bits.size(), b.Bits.size());
    if (longer - shorter > std::max(LENGTH_SLACK_BITS, longer / LENGTH_SLACK_PART)) return false;
    const std::vector<long> at = LineUp(a, b);
    size_t agree = 0, compared = 0;
    for (size_t i = 0; i < at.size(); ++i) {
        if (at[i] < 0) continue;
        ++compared;
        agree += a.Bits[i] == b.Bits[static_cast<size_t>(at[i])];
    }
    return compared >= 64 &&
           static_cast<double>(agree) >= SAME_TAPE * static_cast<double>(compared);
}

// Blocks that overlap in time, directly or through others, hold one stretch of tape.
std::vector<std::vector<const TapeBlock*>> GroupByTime(
    const std::vector<std::vector<TapeBlock>>& readings)
{
    std::vector<const TapeBlock*> all;
    for (const std::vector<TapeBlock>& reading : readings) {
        for (const TapeBlock& block : reading) all.push_back(&block);
    }
    std::stable_sort(all.begin(), all.end(),
                     [](const TapeBlock* a, const TapeBlock* b) { return a->Start < b->Start; });
    std::vector<std::vector<const TapeBlock*>> groups;
    double end = -1;
    for (const TapeBlock* block : all) {
        if (groups.empty() || block->Start >= end) groups.emplace_back();
        groups.back().push_back(block);
        end = std::max(end, block->End);
    }
    return groups;
}

// Groups of readings of one stretch of tape, in order; each block joins the first group after
// the last it joined that holds the same stretch and none of its own reading, else makes a group
// of its own.
std::vector<std::vector<const TapeBlock*>> GroupByContent(
    const std::vector<std::vector<TapeBlock>>& readings)
{
    std::vector<std::vector<const TapeBlock*>> groups;
    std::vector<std::vector<size_t>> members;  // which readings each group holds
    for (size_t r = 0; r < readings.size(); ++r) {
        size_t next = 0;
        for (const TapeBlock& block : readings[r]) {
            size_t g = next;
            while (g < groups.size() &&
                   (std::find(members[g].begin(), members[g].end(), r) != members[g].end() ||
                    !SameTape(*groups[g].front(), block))) {
                ++g;
            }
            if (g == groups.size()) {
                groups.emplace_back();
                members.emplace_back();
            }
            groups[g].push_back(&block);
            members[g].push_back(r);
            next = g + 1;
        }
    }
    return groups;
}

}  // namespace

double SureAgreement(const TapeBlock& block, const std::vector<TapeBlock>& others, size_t* both)
{
    size_t compared = 0, agree = 0;
    for (const TapeBlock& other : others) {
        if (other.End < block.Start || other.Start > block.End) continue;
        const double offset = TimeOffset(block, other, VIEW_LAG_MOST);
        const std::vector<long> at = SameMoments(block, other, offset, DOUBTFUL_MOMENT);
        for (size_t i = 0; i < at.size(); ++i) {
            if (at[i] < 0 || block.Margins[i] < DOUBT_MARGIN) continue;
            const auto j = static_cast<size_t>(at[i]);
            if (other.Margins[j] < DOUBT_MARGIN) continue;
            ++compared;
            agree += block.Bits[i] == other.Bits[j];
        }
    }
    *both = compared;
    return compared == 0 ? 0.0 : static_cast<double>(agree) / static_cast<double>(compared);
}

bool HeardOtherwise(const TapeBlock& block, size_t i, const std::vector<TapeBlock>& others,
                    double reach)
{
    for (const TapeBlock& other : others) {
        if (other.End < block.Start || other.Start > block.End) continue;
        const double offset = TimeOffset(block, other, VIEW_LAG_MOST);
        const std::vector<long> at = SameMoments(block, other, offset, reach);
        if (at[i] >= 0 && other.Bits[static_cast<size_t>(at[i])] != block.Bits[i]) return true;
    }
    return false;
}

// A view's 0 in doubt where it may have been the first piece of a 1 heard in two: the piece
// after it is in doubt for its own sake (not only for a short pause after it, which a bit before
// another program's has), its next bit follows it too soon for a bit of its own, and comes where
// a 1's would.
void DoubtFirstPieces(TapeBlock* block)
{
    const std::vector<double>& t = block->Times;
    for (size_t j = 0; j + 2 < block->Bits.size(); ++j) {
        const float piece = OwnMargin(*block, j + 1);
        if (block->Bits[j] == 0 && piece < DOUBT_MARGIN && t[j + 2] - t[j + 1] < ZERO_ROOM &&
            t[j + 2] - t[j] >= ONE_ROOM) {
            block->Margins[j] = std::min(block->Margins[j], piece);
        }
    }
}

std::vector<TapeBlock> MergeViews(std::vector<std::vector<TapeBlock>> views)
{
    for (auto& view : views) {
        for (TapeBlock& block : view) DoubtFirstPieces(&block);
    }
    for (size_t v = 1; v < views.size(); ++v) {
        for (TapeBlock& later : views[v]) {
            const double first_share = OverlappingShare(views[0], later);
            if (SureShare(later) > first_share + VIEW_LEAD) continue;  // it settles its bits
            if (v + 1 == views.size() && SureShare(later) >= first_share - VIEW_SLACK) {
                HearWhereInDoubt(views[0], &later);
            } else {
                MarkOddCountsOnly(&later);
            }
        }
        views[v].erase(std::remove_if(views[v].begin(), views[v].end(),
                                      [](const TapeBlock& block) { return block.Bits.empty(); }),
                       views[v].end());
    }
    std::vector<TapeBlock> merged;
    for (const auto& group : GroupByTime(views)) merged.push_back(MergeOnTimeline(group, true));
    return merged;
}

std::vector<TapeBlock> MergeChannels(const std::vector<std::vector<TapeBlock>>& channels)
{
    std::vector<TapeBlock> merged;
    for (const auto& group : GroupByTime(channels)) merged.push_back(MergeOnTimeline(group, false));
    return merged;
}

std::vector<TapeBlock> MergeReadings(const std::vector<std::vector<TapeBlock>>& readings)
{
    std::vector<TapeBlock> merged;
    for (const auto& group : GroupByContent(readings)) merged.push_back(MergeByBits(group));
    return merged;
}
