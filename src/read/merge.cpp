#include "read/merge.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace {

// Bits are aligned a stretch at a time: within each, one reading is shifted against the other
// by at most this many bits more than in the stretch before.
constexpr size_t STRETCH_BITS = 128;
constexpr int MOST_SHIFT = 16;

// A program's bits, name first, with their margins.
struct BitString {
    std::vector<uint8_t> Bits;
    std::vector<float> Margins;
};

BitString BitsOf(const TapeProgram& program)
{
    BitString string;
    std::vector<uint8_t> name = program.Name;
    if (!name.empty()) name.back() |= 0x80;  // as it was on tape
    auto add = [&](const std::vector<uint8_t>& bytes, const std::vector<float>& margins) {
        for (size_t i = 0; i < bytes.size(); ++i) {
            for (int k = 7; k >= 0; --k) string.Bits.push_back((bytes[i] >> k) & 1);
        }
        string.Margins.insert(string.Margins.end(), margins.begin(), margins.end());
    };
    add(name, program.NameMargins);
    add(program.Image, program.BitMargins);
    return string;
}

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

// For each reference bit, the position of the other reading's bit that lines up with it, or -1.
// The shift is found a stretch at a time; where it changes (a bit lost or gained), the change
// is placed where the readings agree best on either side of it.
std::vector<long> Align(const BitString& reference, const BitString& other)
{
    const size_t n = reference.Bits.size();
    std::vector<std::pair<size_t, int>> segments;  // from which bit on, which shift
    int shift = 0;
    for (size_t from = 0; from < n; from += STRETCH_BITS) {
        const size_t to = std::min(n, from + STRETCH_BITS);
        int best = shift;
        double best_agreement = Agreement(reference, other, from, to, shift);
        for (int d = shift - MOST_SHIFT; d <= shift + MOST_SHIFT; ++d) {
            const double agreement = Agreement(reference, other, from, to, d);
            if (agreement > best_agreement + 1e-9) {
                best = d;
                best_agreement = agreement;
            }
        }
        if (segments.empty()) {
            segments.emplace_back(0, best);
        } else if (best != shift) {
            const size_t low = std::max(segments.back().first, from - STRETCH_BITS);
            size_t switch_at = from;
            double best_split = -1e300;
            for (size_t split = low; split <= to; ++split) {
                const double agreement = Agreement(reference, other, low, split, shift) +
                                         Agreement(reference, other, split, to, best);
                if (agreement > best_split) {
                    best_split = agreement;
                    switch_at = split;
                }
            }
            segments.emplace_back(switch_at, best);
        }
        shift = best;
    }
    std::vector<long> at(n, -1);
    for (size_t k = 0; k < segments.size(); ++k) {
        const size_t end = k + 1 < segments.size() ? segments[k + 1].first : n;
        for (size_t i = segments[k].first; i < end; ++i) {
            const long j = static_cast<long>(i) + segments[k].second;
            if (j >= 0 && static_cast<size_t>(j) < other.Bits.size()) at[i] = j;
        }
    }
    return at;
}

// The reading the others are lined up with: the one that passes most checks, then has the
// fewest doubtful bits, then is the longest.
size_t Reference(const std::vector<const TapeProgram*>& group)
{
    size_t best = 0;
    auto doubts = [](const TapeProgram& p) {
        return DoubtfulBytes(p).size() + (NameIsDoubtful(p) ? 1 : 0);
    };
    for (size_t r = 1; r < group.size(); ++r) {
        const TapeProgram& a = *group[r];
        const TapeProgram& b = *group[best];
        if (a.Failed.size() != b.Failed.size()) {
            if (a.Failed.size() < b.Failed.size()) best = r;
        } else if (doubts(a) != doubts(b)) {
            if (doubts(a) < doubts(b)) best = r;
        } else if (a.Image.size() > b.Image.size()) {
            best = r;
        }
    }
    return best;
}

// Settles each bit of the reference by all the readings lined up with it.
void Vote(const std::vector<BitString>& strings, const std::vector<std::vector<long>>& at,
          size_t reference, BitString* merged)
{
    *merged = strings[reference];
    for (size_t i = 0; i < merged->Bits.size(); ++i) {
        int count[2] = {0, 0};
        float best[2] = {-1, -1};
        float total[2] = {0, 0};
        for (size_t r = 0; r < strings.size(); ++r) {
            const long j = r == reference ? static_cast<long>(i) : at[r][i];
            if (j < 0) continue;
            const int bit = strings[r].Bits[static_cast<size_t>(j)];
            const float margin = strings[r].Margins[static_cast<size_t>(j)];
            ++count[bit];
            best[bit] = std::max(best[bit], margin);
            total[bit] += margin;
        }
        // Two readings: the surer wins. Three or more: the majority, the surer where they tie.
        int bit;
        if (count[0] + count[1] >= 3 && count[0] != count[1]) {
            bit = count[1] > count[0] ? 1 : 0;
        } else if (count[0] + count[1] >= 3) {
            bit = total[1] > total[0] ? 1 : 0;
        } else {
            bit = best[1] > best[0] ? 1 : 0;
        }
        merged->Bits[i] = static_cast<uint8_t>(bit);
        // As sure as the surest that says so, less the surest that says otherwise.
        merged->Margins[i] = std::max(0.0f, best[bit] - std::max(0.0f, best[1 - bit]));
    }
}

// Bytes of `bits` from bit `first`, `count` of them at most.
std::vector<uint8_t> BytesOf(const std::vector<uint8_t>& bits, size_t first, size_t count)
{
    std::vector<uint8_t> bytes;
    for (size_t i = 0; i < count && first + 8 * i + 8 <= bits.size(); ++i) {
        uint8_t value = 0;
        for (size_t k = 0; k < 8; ++k)
            value = static_cast<uint8_t>(value << 1 | bits[first + 8 * i + k]);
        bytes.push_back(value);
    }
    return bytes;
}

// The program the group's readings make together.
TapeProgram MergeGroup(const std::vector<const TapeProgram*>& group)
{
    if (group.size() == 1) return *group.front();
    const size_t reference = Reference(group);
    const TapeProgram& base = *group[reference];
    std::vector<BitString> strings;
    for (const TapeProgram* p : group) strings.push_back(BitsOf(*p));
    std::vector<std::vector<long>> at(group.size());
    for (size_t r = 0; r < group.size(); ++r) {
        if (r != reference) at[r] = Align(strings[reference], strings[r]);
    }
    BitString merged;
    Vote(strings, at, reference, &merged);

    // The reference's shape: its name's length, then the image up to the merged E_LINE.
    TapeProgram program = base;
    const size_t name_bits = 8 * base.Name.size();
    program.Name = BytesOf(merged.Bits, 0, base.Name.size());
    if (!program.Name.empty()) program.Name.back() &= 0x7F;
    program.NameMargins.assign(merged.Margins.begin(),
                               merged.Margins.begin() + static_cast<long>(name_bits));
    program.Image = BytesOf(merged.Bits, name_bits, base.Image.size());
    program.BitMargins.assign(
        merged.Margins.begin() + static_cast<long>(name_bits),
        merged.Margins.begin() + static_cast<long>(name_bits + 8 * program.Image.size()));
    const int start = ImageStart(program.Kind);
    const auto e_line_at = static_cast<size_t>(ELineAddress(program.Kind) - start);
    size_t expected = program.Image.size();
    if (program.Image.size() >= e_line_at + 2) {
        const int e_line = program.Image[e_line_at] | program.Image[e_line_at + 1] << 8;
        if (e_line - start > static_cast<int>(e_line_at)) {
            expected = static_cast<size_t>(e_line - start);
            if (program.Image.size() > expected) {
                program.Image.resize(expected);
                program.BitMargins.resize(8 * expected);
            }
        }
    }
    program.ByteTimes.resize(program.Image.size());
    program.Failed = FailedChecks(program.Kind, program.Image, expected);
    program.MidTape =
        std::all_of(group.begin(), group.end(), [](const TapeProgram* p) { return p->MidTape; });

    // Each reading's own bytes where they line up, and how many readings gave these bytes.
    // The reference first: the program's times are its times.
    program.Sources.clear();
    program.Agreeing = 0;
    std::vector<size_t> order = {reference};
    for (size_t r = 0; r < group.size(); ++r) {
        if (r != reference) order.push_back(r);
    }
    for (const size_t r : order) {
        ProgramSource source = group[r]->Sources.empty() ? ProgramSource{} : group[r]->Sources[0];
        std::vector<uint8_t> bits(merged.Bits.size(), 0);
        for (size_t i = 0; i < bits.size(); ++i) {
            const long j = r == reference ? static_cast<long>(i) : at[r][i];
            bits[i] = j < 0 ? static_cast<uint8_t>(1 - merged.Bits[i])
                            : strings[r].Bits[static_cast<size_t>(j)];
        }
        source.Image = BytesOf(bits, name_bits, program.Image.size());
        const bool agrees =
            source.Image == program.Image &&
            BytesOf(bits, 0, base.Name.size()) == BytesOf(merged.Bits, 0, base.Name.size());
        program.Agreeing += agrees ? 1 : 0;
        program.Sources.push_back(std::move(source));
    }
    return program;
}

// Whether two readings are of the same program.
bool SameProgram(const TapeProgram& a, const TapeProgram& b, bool same_timeline)
{
    if (a.Kind != b.Kind) return false;
    if (same_timeline) return a.Start < b.End && b.Start < a.End;
    return a.Name == b.Name || a.Image.size() == b.Image.size();
}

}  // namespace

std::vector<TapeProgram> MergeReadings(const std::vector<std::vector<TapeProgram>>& readings,
                                       bool same_timeline)
{
    // Groups of readings of one program, in order; each reading joins the first group after its
    // last that holds the same program and none of its own, else makes a group of its own.
    std::vector<std::vector<const TapeProgram*>> groups;
    std::vector<std::vector<size_t>> members;  // which readings each group holds
    for (size_t r = 0; r < readings.size(); ++r) {
        size_t next = 0;
        for (const TapeProgram& program : readings[r]) {
            size_t g = next;
            while (g < groups.size() &&
                   (std::find(members[g].begin(), members[g].end(), r) != members[g].end() ||
                    !SameProgram(*groups[g].front(), program, same_timeline))) {
                ++g;
            }
            if (g == groups.size()) {
                // Where no later group holds it, it goes in order of time among the groups.
                g = groups.size();
                groups.emplace_back();
                members.emplace_back();
            }
            groups[g].push_back(&program);
            members[g].push_back(r);
            next = g + 1;
        }
    }
    std::vector<TapeProgram> merged;
    for (const std::vector<const TapeProgram*>& group : groups) merged.push_back(MergeGroup(group));
    if (same_timeline) {
        std::stable_sort(
            merged.begin(), merged.end(),
            [](const TapeProgram& a, const TapeProgram& b) { return a.Start < b.Start; });
    }
    return merged;
}
