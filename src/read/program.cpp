#include "read/program.h"

#include <algorithm>

#include "zx/charset.h"

namespace {

// The longest name a block may start with: the machine saves any name that fits its memory.
constexpr size_t LONGEST_NAME = 255;
// A program that follows another within moments is looked for this many bits before and after
// the end of the first.
constexpr long NEXT_PROGRAM_SHIFT = 8;
// The most bits at a block's start that a click or hiss before the tape may have made.
constexpr size_t LEADING_BITS_HEARD_WRONGLY = 2;

// The block's bytes, counted from one of the bits where it may begin.
struct ByteRun {
    const TapeBlock* Block = nullptr;
    size_t FirstBit = 0;  // the block's bit that is the first of the first byte
    std::vector<uint8_t> Bytes;
    std::vector<float> BitMargins;  // 8 per byte
    std::vector<double> ByteTimes;  // where each byte starts, in seconds
    double End = 0;                 // seconds: the end of the last bit
    double SilenceBefore = 0;
    bool FirstInRecording = false;
    bool ClearStart = false;
};

ByteRun BytesFrom(const TapeBlock& block, size_t first_bit)
{
    ByteRun run;
    run.Block = &block;
    run.FirstBit = first_bit;
    const size_t bytes = (block.Bits.size() - first_bit) / 8;
    run.Bytes.assign(bytes, 0);
    for (size_t i = 0; i < bytes; ++i) {
        for (size_t k = 0; k < 8; ++k) {
            run.Bytes[i] =
                static_cast<uint8_t>(run.Bytes[i] << 1 | block.Bits[first_bit + 8 * i + k]);
        }
        run.ByteTimes.push_back(block.Times[first_bit + 8 * i]);
    }
    run.BitMargins.assign(block.Margins.begin() + static_cast<long>(first_bit),
                          block.Margins.begin() + static_cast<long>(first_bit + 8 * bytes));
    // A block that begins after a break does not count the break against its first bit: the
    // bit is as sure as the break and its own evidence (its length, its count, the other
    // readings) make it.
    for (size_t k = 1; k < block.Starts.size(); ++k) {
        if (block.Starts[k] == first_bit && !run.BitMargins.empty()) {
            run.BitMargins[0] = std::min(OwnMargin(block, first_bit), block.StartMargins[k]);
        }
    }
    run.End = block.End;
    run.SilenceBefore = block.SilenceBefore;
    run.FirstInRecording = block.FirstInRecording;
    run.ClearStart = block.ClearStart;
    return run;
}

// The readings the program was read from, from the block's: where it lies in each, each one's
// bytes where several were combined, and how many of them gave the program's very bytes. The
// name's bits start at `name_bit` of the block, the image's at `image_bit`.
void SetSources(const TapeBlock& block, size_t name_bit, size_t image_bit, TapeProgram* program)
{
    program->Sources.clear();
    program->Agreeing = 0;
    std::vector<bool> agreeing;
    const size_t image_bytes = program->Image.size();
    for (const BlockSource& from : block.Sources) {
        ProgramSource source;
        source.Recording = from.Recording;
        source.Channel = from.Channel;
        source.Start = program->Start;
        source.End = program->End;
        bool agrees = true;
        if (!from.Bits.empty()) {
            for (size_t i = name_bit; i < image_bit; ++i) {
                agrees = agrees && from.Bits[i] == block.Bits[i];
            }
            for (size_t k = 0; k < image_bytes; ++k) {
                int value = 0;
                for (size_t b = 0; b < 8 && value >= 0; ++b) {
                    const uint8_t bit = from.Bits[image_bit + 8 * k + b];
                    value = bit == NO_BIT ? -1 : value << 1 | bit;
                }
                source.Image.push_back(value);
                agrees = agrees && value == program->Image[k];
            }
            // Where it lies in its own recording: the times of its first and last bits there.
            const size_t last = image_bit + 8 * image_bytes;
            for (size_t i = name_bit; i < last; ++i) {
                if (from.Times[i] >= 0) {
                    source.Start = from.Times[i];
                    break;
                }
            }
            for (size_t i = last; i-- > name_bit;) {
                if (from.Times[i] >= 0) {
                    source.End = from.Times[i];
                    break;
                }
            }
        }
        // A channel read two ways is one reading: it agrees if either way gave these bytes.
        auto same = std::find_if(
            program->Sources.begin(), program->Sources.end(), [&](const ProgramSource& s) {
                return s.Recording == source.Recording && s.Channel == source.Channel;
            });
        if (same == program->Sources.end()) {
            program->Agreeing += agrees ? 1 : 0;
            agreeing.push_back(agrees);
            program->Sources.push_back(std::move(source));
        } else if (agrees && !agreeing[static_cast<size_t>(same - program->Sources.begin())]) {
            agreeing[static_cast<size_t>(same - program->Sources.begin())] = true;
            ++program->Agreeing;
        }
    }
    if (program->Sources.empty()) {
        ProgramSource source;
        source.Start = program->Start;
        source.End = program->End;
        program->Sources.push_back(source);
        program->Agreeing = 1;
    }
}

// Reads the bytes of the run from `first` on as a program of `machine`; false if they cannot be
// one at all. Sets *used to the bytes the program took.
bool ReadAs(const ByteRun& run, size_t first, TargetFormat machine, TapeProgram* program,
            size_t* used)
{
    const std::vector<uint8_t>& bytes = run.Bytes;
    *program = TapeProgram{};
    program->Kind = machine;
    program->Start = run.ByteTimes[first];
    // The recording's first block began mid-tape where the recording started so near its first
    // bit that bits may have come before, or where its first burst was not clear of what the
    // detector took for noise (a recording started in the middle of the bits hears them as
    // noise at first); a later block, where a long dropout may have split a program, needs the
    // silence a tape puts between programs.
    const bool recording_began_quiet =
        run.FirstInRecording && run.ClearStart && run.SilenceBefore >= RECORDING_LEAD_IN_SECONDS;
    program->MidTape = first == 0 && run.SilenceBefore < LEAD_IN_SECONDS && !recording_began_quiet;
    size_t at = first;
    if (machine == TARGET_ZX81) {
        // The name: characters with bit 7 clear, the last one with it set.
        while (at < bytes.size() && at - first < LONGEST_NAME && bytes[at] < 0x80) ++at;
        if (at >= bytes.size() || at - first >= LONGEST_NAME) return false;
        ++at;
        program->Name.assign(bytes.begin() + static_cast<long>(first),
                             bytes.begin() + static_cast<long>(at));
        program->Name.back() &= 0x7F;
        program->NameMargins.assign(run.BitMargins.begin() + static_cast<long>(8 * first),
                                    run.BitMargins.begin() + static_cast<long>(8 * at));
    }
    // No E_LINE, or one that ends the image inside its system variables: no program.
    const int e_line_at = ELineAddress(machine) - ImageStart(machine);
    const int e_line_size = ELineSize(bytes.data() + at, bytes.size() - at, machine);
    if (e_line_size < e_line_at + 2) return false;
    const auto size = static_cast<size_t>(e_line_size);
    const size_t last = std::min(bytes.size(), at + size);
    program->Image.assign(bytes.begin() + static_cast<long>(at),
                          bytes.begin() + static_cast<long>(last));
    program->BitMargins.assign(run.BitMargins.begin() + static_cast<long>(8 * at),
                               run.BitMargins.begin() + static_cast<long>(8 * last));
    program->ByteTimes.assign(run.ByteTimes.begin() + static_cast<long>(at),
                              run.ByteTimes.begin() + static_cast<long>(last));
    program->End = last < run.ByteTimes.size() ? run.ByteTimes[last] : run.End;
    program->Failed = FailedChecks(machine, program->Image, size);
    SetSources(*run.Block, run.FirstBit + 8 * first, run.FirstBit + 8 * at, program);
    *used = last - first;
    return true;
}

bool Failed(const TapeProgram& program, ImageCheck check)
{
    return std::find(program.Failed.begin(), program.Failed.end(), check) != program.Failed.end();
}

// How badly a reading fails its checks: a program cut short is most likely misread.
size_t Penalty(const TapeProgram& program)
{
    return program.Failed.size() + (Failed(program, CHECK_TRUNCATED) ? 100 : 0);
}

// The program the run holds from `first` on, read as the given machine or, for TARGET_UNKNOWN,
// as the machine whose reading fits better.
bool ProgramAt(const ByteRun& run, size_t first, TargetFormat machine, TapeProgram* program,
               size_t* used)
{
    if (machine != TARGET_UNKNOWN) return ReadAs(run, first, machine, program, used);
    TapeProgram zx81, zx80;
    size_t used81 = 0, used80 = 0;
    const bool is_zx81 = ReadAs(run, first, TARGET_ZX81, &zx81, &used81);
    const bool is_zx80 = ReadAs(run, first, TARGET_ZX80, &zx80, &used80);
    if (!is_zx81 && !is_zx80) return false;
    // Where both readings are possible: a name of characters followed by VERSN 0 is a ZX81's;
    // else the one that passes more checks wins (a reading whose E_LINE lies beyond the block
    // is most likely the wrong one), and the ZX81 one if they tie.
    bool take81 = is_zx81;
    if (is_zx81 && is_zx80) {
        const bool named =
            std::all_of(zx81.Name.begin(), zx81.Name.end(), [](uint8_t c) { return c < 64; });
        take81 =
            (named && !zx81.Image.empty() && zx81.Image[0] == 0) || Penalty(zx81) <= Penalty(zx80);
    }
    *program = take81 ? std::move(zx81) : std::move(zx80);
    *used = take81 ? used81 : used80;
    return true;
}

// The margin of the block's bit `bit` without the pause beside it, or -1 if no pause lowered it.
float UnpausedMargin(const TapeBlock& block, size_t bit)
{
    return ListedMargin(block.PausedBits, block.UnpausedMargins, bit);
}

// Two programs that both passed every check, the second right after the first (`bit` its first
// bit): the pause between them is no sign of a bit lost or joined, whatever its length, so the
// bits on either side take back the margins it lowered.
void TrustBoundary(const ByteRun& run, size_t bit, TapeProgram* before, TapeProgram* after)
{
    if (!before->Failed.empty() || !after->Failed.empty() || bit == 0) return;
    const float last = UnpausedMargin(*run.Block, bit - 1);
    if (last >= 0 && !before->BitMargins.empty()) before->BitMargins.back() = last;
    const float next = UnpausedMargin(*run.Block, bit);
    std::vector<float>& first = after->NameMargins.empty() ? after->BitMargins : after->NameMargins;
    if (next >= 0 && !first.empty()) first.front() = next;
}

// The programs the run holds, in order.
std::vector<TapeProgram> ProgramsInRun(const ByteRun& run, TargetFormat machine);

// The programs that follow a program within moments, from its end at `bit` of the block, where
// they begin a few bits before or after it: the pause between the two was taken for part of a
// worn burst, or for a lost one put back. Of the places, the one whose first program reads best.
std::vector<TapeProgram> ProgramsNear(const TapeBlock& block, size_t bit, TargetFormat machine)
{
    long best = 0;  // the shift of the best place; 0: none
    size_t best_penalty = 0;
    for (long step = 2; step <= 2 * NEXT_PROGRAM_SHIFT + 1; ++step) {  // nearest first
        const long shift = step % 2 == 0 ? step / 2 : -(step / 2);
        const long at = static_cast<long>(bit) + shift;
        if (at < 0 || static_cast<size_t>(at) + 8 > block.Bits.size()) continue;
        TapeProgram program;
        size_t used = 0;
        if (!ProgramAt(BytesFrom(block, static_cast<size_t>(at)), 0, machine, &program, &used) ||
            Failed(program, CHECK_POINTERS)) {
            continue;
        }
        if (best == 0 || Penalty(program) < best_penalty) {
            best = shift;
            best_penalty = Penalty(program);
        }
    }
    if (best == 0) return {};
    std::vector<TapeProgram> programs = ProgramsInRun(
        BytesFrom(block, static_cast<size_t>(static_cast<long>(bit) + best)), machine);
    // One bit is what a lost burst put back, or two bursts joined, account for; more bits skipped
    // or taken again may have been part of the program's first character.
    if (std::labs(best) > 1) {
        TapeProgram& next = programs.front();
        std::vector<float>& first = next.NameMargins.empty() ? next.BitMargins : next.NameMargins;
        std::fill(first.begin(), first.begin() + std::min<long>(8, static_cast<long>(first.size())),
                  0.0f);
    }
    return programs;
}

std::vector<TapeProgram> ProgramsInRun(const ByteRun& run, TargetFormat machine)
{
    std::vector<TapeProgram> programs;
    size_t first = 0;
    while (first < run.Bytes.size()) {
        TapeProgram program;
        size_t used = 0;
        // What follows a program is another only if its system variables hold together.
        const bool found = ProgramAt(run, first, machine, &program, &used) &&
                           (programs.empty() || !Failed(program, CHECK_POINTERS));
        if (!programs.empty() && (!found || Penalty(program) > 0)) {
            std::vector<TapeProgram> near =
                ProgramsNear(*run.Block, run.FirstBit + 8 * first, machine);
            if (!near.empty() && (!found || Penalty(near.front()) < Penalty(program))) {
                for (TapeProgram& later : near) programs.push_back(std::move(later));
                break;
            }
        }
        if (!found) {
            if (!programs.empty()) programs.back().BytesAfter = run.Bytes.size() - first;
            break;
        }
        programs.push_back(std::move(program));
        if (programs.size() > 1) {
            TrustBoundary(run, run.FirstBit + 8 * first, &programs[programs.size() - 2],
                          &programs.back());
        }
        first += used;
    }
    return programs;
}

}  // namespace

std::vector<TapeProgram> ProgramsInBlock(const TapeBlock& block, TargetFormat machine)
{
    // Of the places the block may begin, the one whose first program reads best, the earliest
    // where they read alike.
    std::vector<TapeProgram> best;
    for (const size_t start : block.Starts) {
        if (block.Bits.size() < start + 8) break;
        std::vector<TapeProgram> programs = ProgramsInRun(BytesFrom(block, start), machine);
        if (programs.empty()) continue;
        if (best.empty() || Penalty(programs.front()) < Penalty(best.front())) {
            best = std::move(programs);
        }
    }
    if (!best.empty() && best.front().Failed.empty()) return best;
    // Where it fails its checks from every such place, its first bits may have been a click or
    // hiss heard as bits: a reading that begins a bit or two later and passes them all is the
    // block's, its first bit in doubt (nothing broke before it).
    for (size_t start = 1; start <= LEADING_BITS_HEARD_WRONGLY; ++start) {
        if (block.Bits.size() < start + 8) break;
        if (std::find(block.Starts.begin(), block.Starts.end(), start) != block.Starts.end()) {
            continue;
        }
        ByteRun run = BytesFrom(block, start);
        run.BitMargins[0] = 0.0f;
        std::vector<TapeProgram> programs = ProgramsInRun(run, machine);
        if (!programs.empty() && programs.front().Failed.empty()) return programs;
    }
    return best;
}

float ByteMargin(const std::vector<float>& bits, size_t index)
{
    return *std::min_element(bits.begin() + static_cast<long>(8 * index),
                             bits.begin() + static_cast<long>(8 * index + 8));
}

std::vector<size_t> DoubtfulBytes(const TapeProgram& program)
{
    std::vector<size_t> doubtful;
    for (size_t i = 0; i < program.Image.size(); ++i) {
        if (ByteMargin(program.BitMargins, i) < DOUBT_MARGIN) doubtful.push_back(i);
    }
    return doubtful;
}

bool NameIsDoubtful(const TapeProgram& program)
{
    return std::any_of(program.NameMargins.begin(), program.NameMargins.end(),
                       [](float margin) { return margin < DOUBT_MARGIN; });
}

float WorstMargin(const TapeProgram& program)
{
    float worst = 1.0f;
    for (const float margin : program.NameMargins) worst = std::min(worst, margin);
    for (const float margin : program.BitMargins) worst = std::min(worst, margin);
    return worst;
}

bool ProgramIsSound(const TapeProgram& program)
{
    return program.Failed.empty() && !program.MidTape && !NameIsDoubtful(program) &&
           program.BytesAfter < HIDDEN_PROGRAM_BYTES && DoubtfulBytes(program).empty();
}

char NameCharacter(uint8_t code)
{
    // Graphics and the pound sign have no ASCII form; codes above 63 are keywords or controls.
    const char* shown = CharacterOf(TARGET_ZX81, code);
    return shown != nullptr && shown[1] == '\0' ? shown[0] : '?';
}

std::vector<BitSlip> ProgramSlips(const TapeProgram& program)
{
    if (program.Failed.empty()) return {};
    std::vector<size_t> doubtful;
    for (size_t bit = 0; bit < program.BitMargins.size(); ++bit) {
        if (program.BitMargins[bit] < DOUBT_MARGIN) doubtful.push_back(bit);
    }
    return RepairingSlips(program.Kind, program.Image, doubtful);
}
