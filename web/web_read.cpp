// The page's side of zx8xread beyond its command line: a recording read live, as its samples
// come from the microphone or line-in, by the same reader, each program handed back as soon as it
// is read, named, reported and judged as zx8xread would; and decoded recordings written as WAV
// files, for zx8xread itself to read.
#include <emscripten/emscripten.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "listing/choices.h"
#include "listing/listing.h"
#include "listing/text.h"
#include "read/naming.h"
#include "read/program.h"
#include "read/reader.h"
#include "read/report.h"
#include "read/summary.h"
#include "read/tape_archive.h"
#include "wav/wav_writer.h"

namespace {

// The reading under way. The page reads one recording at a time.
struct LiveReading {
    RecordingReader Reader;
    TargetFormat Machine = TARGET_UNKNOWN;
    std::vector<float> Samples;   // the page's next samples, interleaved
    std::set<std::string> Names;  // files named so far
    int Zx80Count = 0;
    std::string Json;                   // the last answer
    SignalCapture Capture;              // the recording's sound, for its TZX
    std::vector<TapeProgram> Programs;  // every program read, for its TZX
};
LiveReading live;

// The file zx8xread would write the program to: its name, or the name with -2, -3 ... where an
// earlier program took it.
std::string FileNameFor(const TapeProgram& program)
{
    const std::string name = program.Kind == TARGET_ZX81
                                 ? Zx81FileName(program.Name)
                                 : Zx80FileName("recording", ++live.Zx80Count);
    const size_t dot = name.find_last_of('.');
    std::string chosen = name;
    for (int n = 2; live.Names.count(chosen) != 0; ++n) {
        chosen = name.substr(0, dot) + "-" + std::to_string(n) + name.substr(dot);
    }
    live.Names.insert(chosen);
    return chosen;
}

std::string Hex(const std::vector<uint8_t>& bytes)
{
    static const char DIGITS[] = "0123456789abcdef";
    std::string text;
    text.reserve(2 * bytes.size());
    for (const uint8_t b : bytes) {
        text += DIGITS[b >> 4];
        text += DIGITS[b & 15];
    }
    return text;
}

// Where each byte of the program starts on the tape, in milliseconds.
std::string Times(const TapeProgram& program)
{
    std::string json = "[";
    char number[32];
    for (size_t k = 0; k < program.ByteTimes.size(); ++k) {
        std::snprintf(number, sizeof number, k == 0 ? "%.1f" : ",%.1f",
                      program.ByteTimes[k] * 1000);
        json += number;
    }
    return json + "]";
}

// A line of listed text as runs of characters, each in normal or inverse video, and the offset
// of the byte each character shows: {"runs": [["PRINT ", 0], ["HI", 1]], "src": [4, 4, ...]}.
std::string Runs(const ScreenText& text, TargetFormat machine)
{
    std::string runs = "[";
    for (size_t i = 0; i < text.Codes.size();) {
        const bool inverse = (text.Codes[i] & 0x80) != 0;
        std::string run;
        for (; i < text.Codes.size() && ((text.Codes[i] & 0x80) != 0) == inverse; ++i) {
            run += GlyphText(machine, text.Codes[i]);
        }
        runs += std::string(runs.size() > 1 ? "," : "") + "[" + JsonQuoted(run) + "," +
                (inverse ? "1" : "0") + "]";
    }
    std::string sources = "[";
    for (size_t i = 0; i < text.Sources.size(); ++i) {
        sources += (i == 0 ? "" : ",") + std::to_string(text.Sources[i]);
    }
    return "{\"runs\": " + runs + "], \"src\": " + sources + "]}";
}

std::string Problems(const std::vector<Problem>& problems)
{
    std::string json = "[";
    for (const Problem& p : problems) {
        json += std::string(json.size() > 1 ? "," : "") + "[" + std::to_string(p.Offset) + "," +
                JsonQuoted(p.Text) + "]";
    }
    return json + "]";
}

// The programs the blocks read so far hold, as a JSON array: each as the report tells of it,
// with zx8xread's line and the image in hex.
const char* TakePrograms()
{
    live.Json = "[";
    RecordingReport recording;
    recording.Info.Rate = static_cast<int>(live.Reader.Rate);
    recording.Info.Channels = live.Reader.Channels;
    for (TapeProgram& program : ProgramsInBlocks(TakeBlocks(&live.Reader), live.Machine)) {
        const std::string file = FileNameFor(program);
        const std::string report = ReportJson({recording}, {{&program, file}});
        live.Json += std::string(live.Json.size() > 1 ? "," : "") + "{\"report\": " + report +
                     ", \"line\": " + JsonQuoted(ProgramLine(program, file)) + ", \"image\": \"" +
                     Hex(program.Image) + "\", \"times\": " + Times(program) + "}";
        live.Programs.push_back(std::move(program));
    }
    live.Json += "]";
    return live.Json.c_str();
}

}  // namespace

extern "C" {

/// Starts reading a recording of `channels` interleaved channels at `rate` frames per second;
/// `machine` as for zx8xread (TARGET_UNKNOWN, TARGET_ZX80 or TARGET_ZX81). 0 if the rate is too
/// low to read.
EMSCRIPTEN_KEEPALIVE int ZxReadStart(int rate, int channels, int machine)
{
    live = LiveReading{};
    if (rate < LOWEST_RATE || channels < 1) return 0;
    live.Machine = static_cast<TargetFormat>(machine);
    StartReader(&live.Reader, channels, rate);
    StartCapture(&live.Capture, rate, channels);
    return 1;
}

/// Room for the next `frames` frames of samples in -1..1, for the page to fill.
EMSCRIPTEN_KEEPALIVE float* ZxReadSamples(int frames)
{
    live.Samples.resize(static_cast<size_t>(std::max(0, frames) * live.Reader.Channels));
    return live.Samples.data();
}

/// Reads the `frames` frames put in place; gives the programs finished since the last call, as
/// JSON.
EMSCRIPTEN_KEEPALIVE const char* ZxReadFeed(int frames)
{
    FeedReader(&live.Reader, live.Samples.data(), frames);
    CaptureFrames(&live.Capture, live.Samples.data(), frames);
    return TakePrograms();
}

/// The recording has ended; gives the last programs, as JSON.
EMSCRIPTEN_KEEPALIVE const char* ZxReadFinish()
{
    FinishReader(&live.Reader);
    return TakePrograms();
}

/// Writes the whole tape read so far at `out` as a TZX, as zx8xread --tzx would for a recording
/// named `recording`. 0 if it cannot be written.
EMSCRIPTEN_KEEPALIVE int ZxReadTzx(const char* recording, const char* out)
{
    const std::vector<uint8_t> tzx = TapeArchive(live.Programs, live.Capture, recording);
    FILE* file = std::fopen(out, "wb");
    if (file == nullptr) return 0;
    const bool ok = std::fwrite(tzx.data(), 1, tzx.size(), file) == tzx.size();
    return std::fclose(file) == 0 && ok ? 1 : 0;
}

/// What is being read on the first channel, as a line for the page: the machine, the name once
/// it is read, and the bytes so far ("" between blocks).
EMSCRIPTEN_KEEPALIVE const char* ZxReadNow()
{
    live.Json.clear();
    if (live.Reader.Framers.empty() || live.Reader.Framers[0].Current.Block.Bits.size() < 8) {
        return live.Json.c_str();
    }
    const std::vector<TapeProgram> programs =
        ProgramsInBlock(live.Reader.Framers[0].Current.Block, live.Machine);
    if (programs.empty()) return live.Json.c_str();
    const TapeProgram& p = programs.back();
    const std::string what = p.Kind == TARGET_ZX80 ? "a ZX80 program"
                             : p.Image.empty()     ? "a ZX81 program"
                                                   : "a ZX81 program, \"" + TapeNameText(p) + "\"";
    live.Json = "Reading " + what + ": " + std::to_string(p.Image.size()) + " bytes so far.";
    return live.Json.c_str();
}

/// The listing of the `size` bytes at `image` for `machine`, as JSON: its system values, lines
/// and variables, each with the bytes it came from ([begin, end) offsets) and any problems.
EMSCRIPTEN_KEEPALIVE const char* ZxListJson(const uint8_t* image, int size, int machine)
{
    const std::vector<uint8_t> bytes(image, image + size);
    const Listing listing = ListImage(bytes, static_cast<TargetFormat>(machine));
    const TargetFormat m = listing.Machine;
    std::string& json = live.Json;
    json = "{\"machine\": \"" + std::string(m == TARGET_ZX80 ? "ZX80" : "ZX81") +
           "\", \"problems\": " + Problems(listing.Problems) + ", \"system\": [";
    for (size_t k = 0; k < listing.System.size(); ++k) {
        const SystemValue& v = listing.System[k];
        json += std::string(k == 0 ? "" : ",") + "[" + JsonQuoted(v.Name) + "," +
                JsonQuoted(v.Text) + "," + std::to_string(v.Bytes.Begin) + "," +
                std::to_string(v.Bytes.End) + "]";
    }
    json += "], \"lines\": [";
    for (size_t k = 0; k < listing.Lines.size(); ++k) {
        const ListedLine& l = listing.Lines[k];
        json += std::string(k == 0 ? "" : ",") +
                "{\"number\": " + JsonQuoted(LineNumberText(l.Number)) +
                ", \"text\": " + Runs(l.Text, m) + ", \"begin\": " + std::to_string(l.Bytes.Begin) +
                ", \"end\": " + std::to_string(l.Bytes.End) + ", \"code\": [" +
                std::to_string(l.MachineCode.Begin) + "," + std::to_string(l.MachineCode.End) +
                "], \"problems\": " + Problems(l.Problems) + "}";
    }
    json += "], \"variables\": [";
    for (size_t k = 0; k < listing.Variables.size(); ++k) {
        const ListedVariable& v = listing.Variables[k];
        json += std::string(k == 0 ? "" : ",") + "{\"text\": " + Runs(v.Text, m) +
                ", \"note\": " + JsonQuoted(v.Note) +
                ", \"begin\": " + std::to_string(v.Bytes.Begin) +
                ", \"end\": " + std::to_string(v.Bytes.End) +
                ", \"problems\": " + Problems(v.Problems) + "}";
    }
    json += "], \"display\": [";
    for (size_t k = 0; k < listing.DisplayRows.size(); ++k) {
        const DisplayRow& row = listing.DisplayRows[k];
        json += std::string(k == 0 ? "" : ",") + "{\"text\": " + Runs(row.Text, m) +
                ", \"begin\": " + std::to_string(row.Bytes.Begin) +
                ", \"end\": " + std::to_string(row.Bytes.End) + "}";
    }
    json += "]}";
    return json.c_str();
}

/// The repairs of a bit lost or gained (`count` of them, as triples of a bit, its change (0 to
/// insert a 0, 1 to insert a 1, 2 to remove the bit) and the bit flipped with it, or -1) of the
/// `size` bytes at `image` for `machine`, as JSON: each with "bit", "text" (what it does), "image"
/// (the program repaired, in hex), "item" (where the bit was) and "failed" (the checks it then
/// fails).
EMSCRIPTEN_KEEPALIVE const char* ZxSlipChoicesJson(const uint8_t* image, int size, int machine,
                                                   const int* slips, int count)
{
    std::vector<BitSlip> wanted;
    for (int k = 0; k < count; ++k) {
        const int* s = slips + 3 * k;
        if (s[0] < 0 || s[1] < 0 || s[1] > 2) continue;
        wanted.push_back({static_cast<size_t>(s[0]), static_cast<SlipChange>(s[1]),
                          s[2] < 0 ? NO_FLIP : static_cast<size_t>(s[2])});
    }
    const std::vector<uint8_t> bytes(image, image + std::max(0, size));
    std::string& json = live.Json;
    json = "[";
    for (const SlipChoice& c :
         SlipChoices(bytes, static_cast<TargetFormat>(machine), wanted, TEXT_UNICODE)) {
        std::string failed = "[";
        for (const ImageCheck check : c.Failed) {
            failed += std::string(failed.size() > 1 ? "," : "") + JsonQuoted(CheckName(check));
        }
        std::string text = SlipText(c.Slip.Change);
        if (c.Slip.Flip != NO_FLIP) {
            text += " and bit " + std::to_string(7 - c.Slip.Flip % 8) + " of byte " +
                    std::to_string(c.Slip.Flip / 8) + " turned";
        }
        json += std::string(json.size() > 1 ? "," : "") +
                "{\"bit\": " + std::to_string(c.Slip.Bit) + ", \"text\": " + JsonQuoted(text) +
                ", \"image\": \"" + Hex(c.Image) + "\", \"item\": " + JsonQuoted(c.Item) +
                ", \"failed\": " + failed + "]}";
    }
    json += "]";
    return json.c_str();
}

/// The checks the `size` bytes at `image` fail as a program for `machine`, as a JSON array of
/// their names (empty when all pass).
EMSCRIPTEN_KEEPALIVE const char* ZxChecksJson(const uint8_t* image, int size, int machine)
{
    const std::vector<uint8_t> bytes(image, image + size);
    live.Json = "[";
    for (const ImageCheck check :
         FailedChecks(static_cast<TargetFormat>(machine), bytes, bytes.size())) {
        live.Json += std::string(live.Json.size() > 1 ? "," : "") + JsonQuoted(CheckName(check));
    }
    live.Json += "]";
    return live.Json.c_str();
}

/// The values the byte at `offset` of the `size` bytes at `image`, read as `value`, may have
/// (its doubtful bits in `bits`, bit 7 the first on tape; `readings` the values `count` combined
/// readings gave, -1 where one lacks it), each with what it makes of the program, as JSON:
/// [{"value": 63, "item": "20 PRINT \"HI\"", "failed": []}, ...].
EMSCRIPTEN_KEEPALIVE const char* ZxChoicesJson(const uint8_t* image, int size, int machine,
                                               int offset, int value, int bits, const int* readings,
                                               int count)
{
    const std::vector<uint8_t> bytes(image, image + size);
    std::vector<int> doubtful;
    for (int bit = 7; bit >= 0; --bit) {
        if ((bits & (1 << bit)) != 0) doubtful.push_back(bit);
    }
    const std::vector<uint8_t> values = DoubtfulValues(
        static_cast<uint8_t>(value), doubtful, std::vector<int>(readings, readings + count));
    live.Json = "[";
    for (const ByteChoice& choice :
         ByteChoices(bytes, static_cast<TargetFormat>(machine), static_cast<size_t>(offset), values,
                     TEXT_UNICODE)) {
        live.Json += std::string(live.Json.size() > 1 ? "," : "") +
                     "{\"value\": " + std::to_string(choice.Value) +
                     ", \"item\": " + JsonQuoted(choice.Item) + ", \"failed\": [";
        for (size_t k = 0; k < choice.Failed.size(); ++k) {
            live.Json += (k == 0 ? "" : ",") + JsonQuoted(CheckName(choice.Failed[k]));
        }
        live.Json += "]}";
    }
    live.Json += "]";
    return live.Json.c_str();
}

/// Where each program in the recording at `path` starts, in seconds, on which channel, and where
/// each of its bytes starts, in milliseconds, as zx8xread reads it:
/// [{"start": 2.341, "channel": 0, "times": [...]}, ...].
EMSCRIPTEN_KEEPALIVE const char* ZxReadTimes(const char* path, int machine)
{
    std::vector<TapeProgram> programs;
    std::string error;
    RecordingInfo info;
    live.Json = "[";
    if (ReadRecording(path, static_cast<TargetFormat>(machine), &programs, &error, &info)) {
        for (const TapeProgram& program : programs) {
            const int channel = program.Sources.empty() ? 0 : program.Sources[0].Channel;
            live.Json += std::string(live.Json.size() > 1 ? "," : "") +
                         "{\"start\": " + std::to_string(program.Start) +
                         ", \"channel\": " + std::to_string(channel) +
                         ", \"times\": " + Times(program) + "}";
        }
    }
    live.Json += "]";
    return live.Json.c_str();
}

/// The samples of `channel` of the recording at `path` from `from` to `to` seconds, as JSON:
/// {"rate", "samples" (in -1..1)}; "null" if the recording cannot be read. The page draws a read
/// program's own signal with them.
EMSCRIPTEN_KEEPALIVE const char* ZxRecordingStretch(const char* path, int channel, double from,
                                                    double to)
{
    Recording recording;
    std::string error;
    if (!OpenRecording(path, &recording, &error)) return "null";
    const int channels = recording.Channels;
    const int rate = recording.Rate;
    const int take = std::max(0, std::min(channel, channels - 1));
    const auto first = static_cast<int64_t>(std::max(0.0, from) * rate);
    const auto last = static_cast<int64_t>(std::max(0.0, to) * rate);
    live.Json = "{\"rate\": " + std::to_string(rate) + ", \"samples\": [";
    std::vector<float> samples;
    char number[16];
    bool any = false;
    for (int64_t at = 0, got; at < last && (got = ReadFrames(&recording, &samples, 65536)) > 0;
         at += got) {
        for (int64_t i = std::max<int64_t>(0, first - at); i < got && at + i < last; ++i) {
            std::snprintf(number, sizeof number, any ? ",%.3f" : "%.3f",
                          static_cast<double>(samples[static_cast<size_t>(i * channels + take)]));
            live.Json += number;
            any = true;
        }
    }
    CloseRecording(&recording);
    live.Json += "]}";
    return live.Json.c_str();
}

/// 1 if the `size` bytes at `head` begin a WAV file, which zx8xread reads itself; else 0 (the
/// page then has the browser decode the recording).
EMSCRIPTEN_KEEPALIVE int ZxIsWav(const uint8_t* head, int size)
{
    return IsWavHeader(head, static_cast<size_t>(size)) ? 1 : 0;
}

/// The machine numbers the programs take: TARGET_ZX80 for "ZX80", TARGET_ZX81 for "ZX81", and
/// TARGET_UNKNOWN for anything else.
EMSCRIPTEN_KEEPALIVE int ZxMachineCode(const char* name)
{
    return std::strcmp(name, "ZX80") == 0   ? TARGET_ZX80
           : std::strcmp(name, "ZX81") == 0 ? TARGET_ZX81
                                            : TARGET_UNKNOWN;
}

/// Writes `frames` frames of `channels` interleaved float samples at `rate` as a 32-bit float WAV
/// file at `path`, for zx8xread to read. 0 if it cannot be written.
EMSCRIPTEN_KEEPALIVE int ZxWriteFloatWav(const char* path, const float* samples, int frames,
                                         int channels, int rate)
{
    FILE* file = std::fopen(path, "wb");
    if (file == nullptr) return 0;
    const uint32_t data = static_cast<uint32_t>(frames) * static_cast<uint32_t>(channels) * 4;
    WriteWavHeaderOf(file, WAV_FLOAT, channels, rate, 32, data);
    const size_t count = static_cast<size_t>(frames) * static_cast<size_t>(channels);
    const bool written = std::fwrite(samples, sizeof(float), count, file) == count;
    return std::fclose(file) == 0 && written ? 1 : 0;
}
}
