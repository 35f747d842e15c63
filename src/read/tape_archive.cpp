#include "read/tape_archive.h"

#include <algorithm>
#include <cmath>

#include "image/tzx_writer.h"
#include "read/summary.h"
#include "zx/tape.h"

namespace {

// Sound is what is louder than this many times the recording's hiss (its quietest tenth of
// windows), and than an absolute floor for recordings of digital silence.
constexpr double LOUD_OVER_HISS = 4.0;
constexpr double LEAST_LOUD = 0.003;
// Sound this close together is one stretch, and each stretch keeps this much around it.
constexpr double JOIN_SECONDS = 0.2;
constexpr double MARGIN_SECONDS = 0.02;

// A stretch of the tape: a program kept as a program block, or sound kept as it was.
struct Stretch {
    double Start = 0, End = 0;             // seconds into the recording
    const TapeProgram* Program = nullptr;  // for a program block
    std::string Text;                      // for sound: what it is
};

double Loudest(const SignalCapture& capture)
{
    std::vector<float> sorted = capture.Loudness;
    if (sorted.empty()) return LEAST_LOUD;
    std::nth_element(sorted.begin(),
                     sorted.begin() + static_cast<std::ptrdiff_t>(sorted.size() / 10),
                     sorted.end());
    return std::max(LEAST_LOUD, LOUD_OVER_HISS * sorted[sorted.size() / 10]);
}

bool LevelAt(const SignalCapture& capture, int64_t frame)
{
    return (capture.Levels[static_cast<size_t>(frame / 8)] << frame % 8 & 0x80) != 0;
}

// Where the pulses of a program that the reader heard start at `heard` really start: the
// comparator's first rise in the few milliseconds before (the reader hears a burst once it is
// loud enough, a little after its first edge).
double FirstRise(const SignalCapture& capture, double heard)
{
    const auto from = std::max<int64_t>(1, std::llround((heard - 0.002) * capture.Rate));
    const auto to = std::min<int64_t>(capture.Frames, std::llround((heard + 0.001) * capture.Rate));
    for (int64_t frame = from; frame < to; ++frame) {
        if (LevelAt(capture, frame) && !LevelAt(capture, frame - 1)) {
            return static_cast<double>(frame) / capture.Rate;
        }
    }
    return heard;
}

// The programs kept as blocks, each from the pause before its first bit to its last pulse.
std::vector<Stretch> ProgramStretches(const std::vector<TapeProgram>& programs,
                                      const SignalCapture& capture)
{
    std::vector<Stretch> stretches;
    for (const TapeProgram& program : programs) {
        if (!ProgramIsSound(program)) continue;
        Stretch s;
        s.Start = std::max(0.0, FirstRise(capture, program.Start) - BIT_PAUSE_SECONDS);
        s.End = program.End;
        s.Program = &program;
        stretches.push_back(s);
    }
    return stretches;
}

// What a stretch of sound is: the programs in doubt or failed that it holds, or none.
std::string Description(const Stretch& s, const std::vector<TapeProgram>& programs)
{
    std::string text;
    for (const TapeProgram& p : programs) {
        if (ProgramIsSound(p) || p.End < s.Start || p.Start > s.End) continue;
        const std::string what = p.Kind == TARGET_ZX81 ? "Program \"" + TapeNameText(p) + "\""
                                                       : std::string("ZX80 program");
        text += (text.empty() ? "" : "; ") + what +
                (StatusOf(p) == STATUS_FAILED ? " failed its checks" : " in doubt");
    }
    if (text.empty()) text = "Not a program";
    return text + ", at " + ClockText(s.Start, true) + " to " + ClockText(s.End, true);
}

// The stretches of sound outside the program blocks, each with a margin, clipped to them.
std::vector<Stretch> SoundStretches(const SignalCapture& capture,
                                    const std::vector<Stretch>& blocks)
{
    const double loud = Loudest(capture);
    const double window = static_cast<double>(capture.Window) / capture.Rate;
    std::vector<Stretch> sounds;
    for (size_t i = 0; i < capture.Loudness.size(); ++i) {
        const double start = static_cast<double>(i) * window;
        const double end = start + window;
        if (capture.Loudness[i] <= loud) continue;
        const bool in_block = std::any_of(blocks.begin(), blocks.end(), [&](const Stretch& b) {
            return end > b.Start - MARGIN_SECONDS && start < b.End + MARGIN_SECONDS;
        });
        if (in_block) continue;
        if (!sounds.empty() && start - sounds.back().End < JOIN_SECONDS) {
            sounds.back().End = end;
        } else {
            sounds.push_back({start, end, nullptr, ""});
        }
    }
    const double length = static_cast<double>(capture.Frames) / capture.Rate;
    for (Stretch& s : sounds) {
        s.Start = std::max(0.0, s.Start - MARGIN_SECONDS);
        s.End = std::min(length, s.End + MARGIN_SECONDS);
        for (const Stretch& b : blocks) {
            if (b.End <= s.Start + MARGIN_SECONDS) s.Start = std::max(s.Start, b.End);
            if (b.Start >= s.End - MARGIN_SECONDS) s.End = std::min(s.End, b.Start);
        }
    }
    return sounds;
}

// Writes the pause that brings the tape's time from `*played` up to `until`, in the pause field
// of the block just written where it has one (`field` is its place) and in pause blocks beyond
// what a field holds. The milliseconds lost to rounding are made up by the next pause.
void Pause(std::vector<uint8_t>* tzx, size_t field, double until, double* played)
{
    const double ms = std::floor(std::max(0.0, until - *played) * 1000 + 0.5);
    const double in_field = field == 0 ? 0 : std::min(ms, 65535.0);
    if (field != 0) {
        (*tzx)[field] = static_cast<uint8_t>(static_cast<unsigned>(in_field) & 0xFF);
        (*tzx)[field + 1] = static_cast<uint8_t>(static_cast<unsigned>(in_field) >> 8);
    }
    AppendPause(tzx, ms - in_field);
    *played += ms / 1000;
}

void AppendHeader(std::vector<uint8_t>* tzx, const std::vector<TapeProgram>& programs,
                  const std::string& recording)
{
    bool zx81 = false, zx80 = false;
    size_t doubtful = 0;
    for (const TapeProgram& p : programs) {
        (p.Kind == TARGET_ZX80 ? zx80 : zx81) = true;
        doubtful += DoubtfulBytes(p).size();
    }
    AppendHardware(tzx, zx81 || !zx80, zx80);
    const std::string title = programs.empty()                  ? std::string("No program")
                              : programs[0].Kind == TARGET_ZX81 ? TapeNameText(programs[0])
                                                                : std::string("ZX80 program");
    AppendArchiveInfo(tzx, title,
                      "Read by zx8xread from " + recording + ": " +
                          std::to_string(programs.size()) + " programs, " +
                          std::to_string(doubtful) + " bytes in doubt");
}

}  // namespace

std::vector<uint8_t> TapeBytes(const TapeProgram& program)
{
    std::vector<uint8_t> bytes = program.Name;
    if (program.Kind == TARGET_ZX80) bytes.clear();
    if (!bytes.empty()) bytes.back() |= 0x80;
    bytes.insert(bytes.end(), program.Image.begin(), program.Image.end());
    return bytes;
}

std::vector<uint8_t> TapeArchive(const std::vector<TapeProgram>& programs,
                                 const SignalCapture& capture, const std::string& recording)
{
    std::vector<uint8_t> tzx = TzxFileHeader();
    AppendHeader(&tzx, programs, recording);
    const std::vector<Stretch> blocks = ProgramStretches(programs, capture);
    std::vector<Stretch> stretches = SoundStretches(capture, blocks);
    for (Stretch& s : stretches) s.Text = Description(s, programs);
    stretches.insert(stretches.end(), blocks.begin(), blocks.end());
    std::sort(stretches.begin(), stretches.end(),
              [](const Stretch& a, const Stretch& b) { return a.Start < b.Start; });

    const auto t_per_sample = static_cast<unsigned>(
        std::clamp(std::lround(TZX_T_STATES_PER_SECOND / capture.Rate), 1L, 65535L));
    double played = 0;  // seconds of tape the blocks so far play
    size_t field = 0;   // where the last block's pause field is, 0 where it has none
    for (const Stretch& s : stretches) {
        Pause(&tzx, field, s.Start, &played);
        if (s.Program != nullptr) {
            const std::vector<uint8_t> bytes = TapeBytes(*s.Program);
            field = tzx.size() + 5;
            AppendProgramBlock(&tzx, bytes, 0);
            played += ProgramBlockSeconds(bytes);
            continue;
        }
        AppendText(&tzx, s.Text);
        const auto first = static_cast<int64_t>(s.Start * capture.Rate);
        const auto last = std::min(capture.Frames, static_cast<int64_t>(s.End * capture.Rate));
        if (last <= first) continue;
        const auto count = static_cast<size_t>(last - first);
        field = tzx.size() + 3;
        AppendDirectRecording(&tzx, capture.Levels, static_cast<size_t>(first), count, t_per_sample,
                              0);
        // A long recording is split into blocks: the pause goes to the last.
        field = count > 8 * (size_t{1} << 20) ? 0 : field;
        played += static_cast<double>(count) * t_per_sample / TZX_T_STATES_PER_SECOND;
    }
    Pause(&tzx, field, static_cast<double>(capture.Frames) / capture.Rate, &played);
    return tzx;
}
