// What the page shows beside the program's own lines, read from the state a run left behind
// (the target it settled on and the tape name it used), and the machines' facts the page needs.
// Nothing here decides anything.
#include <emscripten/emscripten.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "conversion.h"
#include "tape/signal.h"
#include "wav/wav_writer.h"

namespace {

std::string layoutJson;  // the last answer of ZxTapeLayout or ZxTapeByteTimes, kept for the page

// The samples of the WAV zx8xwav wrote at `path` (8-bit mono after its header), and its rate.
bool ReadTapeSamples(const char* path, std::vector<uint8_t>* samples, int* rate)
{
    FILE* file = std::fopen(path, "rb");
    if (file == nullptr) return false;
    uint8_t header[WAV_HEADER_SIZE];
    bool ok = std::fread(header, 1, sizeof header, file) == sizeof header;
    *rate = header[24] | header[25] << 8 | header[26] << 16 | header[27] << 24;
    for (int c; ok && (c = std::fgetc(file)) != EOF;) samples->push_back(static_cast<uint8_t>(c));
    std::fclose(file);
    return ok;
}

// Where the lead-in ends, the program starts (after the name's bits) and the lead-out starts, as
// sample numbers: silence is the middle level, and every bit is one unbroken burst of pulses.
// Only the name's bursts are counted, and the lead-out is found from the end.
struct TapeRegions {
    size_t LeadInEnd = 0, ProgramStart = 0, LeadOutStart = 0;
};

TapeRegions RegionsOf(const std::vector<uint8_t>& samples, size_t name_bits)
{
    const size_t n = samples.size();
    size_t first = 0;
    while (first < n && samples[first] == middleLevel) ++first;
    size_t last = n;
    while (last > first && samples[last - 1] == middleLevel) --last;
    TapeRegions regions;
    regions.ProgramStart = first;
    size_t bursts = 0;
    bool silent = true;
    for (size_t i = first; i < last && bursts <= name_bits; ++i) {
        if (samples[i] == middleLevel) {
            silent = true;
        } else if (silent) {
            if (bursts == name_bits) regions.ProgramStart = i;
            ++bursts;
            silent = false;
        }
    }
    if (bursts <= name_bits) regions.ProgramStart = last;
    regions.LeadInEnd = std::min(first, last);
    regions.LeadOutStart = last;
    return regions;
}

// The bits of the name a tape of `target` named `name` begins with.
size_t NameBits(int target, const char* name)
{
    if (target == TARGET_ZX80) return 0;
    return 8 * std::min<size_t>(std::strlen(name), MAX_ZXNAME_LENGTH);
}

std::string Number(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.17g", value);
    return text;
}

}  // namespace

extern "C" {

/// The run's target: TARGET_UNKNOWN (converted as ZX81), TARGET_ZX80 or TARGET_ZX81.
EMSCRIPTEN_KEEPALIVE int ZxTargetFormat() { return targetFormat; }

/// The value of TARGET_ZX80, to compare ZxTargetFormat() with.
EMSCRIPTEN_KEEPALIVE int ZxTargetZx80() { return TARGET_ZX80; }

/// The run's tape name, as the name block carries it (empty until it is settled).
EMSCRIPTEN_KEEPALIVE const char* ZxTapeName() { return zxFileName.c_str(); }

/// The memory address of the first byte of an image for the run's target.
EMSCRIPTEN_KEEPALIVE int ZxImageStart() { return ImageStart(targetFormat); }

/// Where RAM ends on a 1K machine and with a 16K pack.
EMSCRIPTEN_KEEPALIVE int ZxRamEnd1K() { return RAM_END_1K; }
EMSCRIPTEN_KEEPALIVE int ZxRamEnd16K() { return RAM_END_16K; }

/// What the page draws of the WAV zx8xwav wrote at `path` for a program of `target` named
/// `name`, as JSON: {"rate", "data" (where the samples start in the file), "size" (how many),
/// "middle" (the level of silence), "leadInEnd", "programStart", "leadOutStart" (sample numbers
/// of the tape's parts)}; "null" if the file cannot be read.
EMSCRIPTEN_KEEPALIVE const char* ZxTapeLayout(const char* path, int target, const char* name)
{
    std::vector<uint8_t> samples;
    int rate = 0;
    if (!ReadTapeSamples(path, &samples, &rate)) return "null";
    const TapeRegions r = RegionsOf(samples, NameBits(target, name));
    layoutJson = "{\"rate\": " + std::to_string(rate) +
                 ", \"data\": " + std::to_string(WAV_HEADER_SIZE) +
                 ", \"size\": " + std::to_string(samples.size()) +
                 ", \"middle\": " + std::to_string(middleLevel) +
                 ", \"leadInEnd\": " + std::to_string(r.LeadInEnd) +
                 ", \"programStart\": " + std::to_string(r.ProgramStart) +
                 ", \"leadOutStart\": " + std::to_string(r.LeadOutStart) + "}";
    return layoutJson.c_str();
}

/// Where each byte of the program starts on that tape, in seconds, as a JSON array: every bit is
/// one burst, so byte k starts with the 8k-th burst after the name. "null" if it cannot be read.
EMSCRIPTEN_KEEPALIVE const char* ZxTapeByteTimes(const char* path, int target, const char* name)
{
    std::vector<uint8_t> samples;
    int rate = 0;
    if (!ReadTapeSamples(path, &samples, &rate)) return "null";
    const TapeRegions r = RegionsOf(samples, NameBits(target, name));
    layoutJson = "[";
    size_t bursts = 0;
    bool silent = true;
    for (size_t i = r.ProgramStart; i < r.LeadOutStart; ++i) {
        if (samples[i] == middleLevel) {
            silent = true;
        } else if (silent) {
            if (bursts % 8 == 0) {
                layoutJson +=
                    (layoutJson.size() > 1 ? "," : "") + Number(static_cast<double>(i) / rate);
            }
            ++bursts;
            silent = false;
        }
    }
    layoutJson += "]";
    return layoutJson.c_str();
}

/// Joins the tapes in the WAV files zx8xwav wrote, named one per line in the file at `list`, into
/// one WAV at `out`, with `pause` seconds of silence between them: several programs on one tape,
/// as a program that loads its next part expects. 0 if a file cannot be read or written.
EMSCRIPTEN_KEEPALIVE int ZxJoinTapes(const char* list, double pause, const char* out)
{
    FILE* names = std::fopen(list, "r");
    if (names == nullptr) return 0;
    std::vector<uint8_t> samples;
    const size_t silence = static_cast<size_t>(pause * sampleRate + 0.5);
    char name[4096];
    bool ok = true;
    for (int part = 0; ok && std::fgets(name, sizeof name, names) != nullptr; ++part) {
        for (char* end = name; *end != 0; ++end) {
            if (*end == '\n') *end = 0;
        }
        FILE* tape = std::fopen(name, "rb");
        ok = tape != nullptr && std::fseek(tape, WAV_HEADER_SIZE, SEEK_SET) == 0;
        if (part > 0) samples.insert(samples.end(), silence, middleLevel);
        int c;
        while (ok && (c = std::fgetc(tape)) != EOF) samples.push_back(static_cast<uint8_t>(c));
        if (tape != nullptr) std::fclose(tape);
    }
    std::fclose(names);
    FILE* joined = ok ? std::fopen(out, "wb") : nullptr;
    if (joined == nullptr) return 0;
    ok = WriteWavFile(joined, samples.data(), static_cast<int32_t>(samples.size()));
    return std::fclose(joined) == 0 && ok ? 1 : 0;
}
}
