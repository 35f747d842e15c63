// What the page shows beside the program's own lines, read from the state a run left behind
// (the target it settled on and the tape name it used), and the machines' facts the page needs.
// Nothing here decides anything.
#include <emscripten/emscripten.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "conversion.h"
#include "files/digest.h"
#include "files/little_endian.h"
#include "files/zip.h"
#include "image/tape_file.h"
#include "image/tzx_writer.h"
#include "tape/name_block.h"
#include "tape/signal.h"
#include "tape/tape.h"
#include "wav/wav_writer.h"

namespace {

std::string layoutJson;  // the last answer of ZxTapeLayout or ZxTapeByteTimes, kept for the page

bool ReadWhole(const char* path, std::vector<uint8_t>* bytes)
{
    FILE* file = std::fopen(path, "rb");
    if (file == nullptr) return false;
    for (int c; (c = std::fgetc(file)) != EOF;) bytes->push_back(static_cast<uint8_t>(c));
    std::fclose(file);
    return true;
}

// The samples of the WAV zx8xwav wrote at `path` (8-bit mono after its header), and its rate.
bool ReadTapeSamples(const char* path, std::vector<uint8_t>* samples, int* rate)
{
    std::vector<uint8_t> wav;
    if (!ReadWhole(path, &wav) || wav.size() < WAV_HEADER_SIZE) return false;
    *rate = static_cast<int>(Little32(wav.data() + 24));
    samples->assign(wav.begin() + WAV_HEADER_SIZE, wav.end());
    return true;
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

std::string Quoted(const std::string& text)
{
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') quoted += '\\';
        if (static_cast<unsigned char>(c) >= 0x20) quoted += c;
    }
    return quoted + "\"";
}

// One part of a tape file as JSON: its kind, where it starts and ends on the tape in seconds,
// and for a program its machine, name, size and where its name ends.
std::string PartJson(const TapePart& part, double start, double end)
{
    std::string json = "{\"start\": " + Number(start) + ", \"end\": " + Number(end) +
                       ", \"block\": " + std::to_string(part.Block);
    if (part.Kind == PART_PAUSE) {
        return json + ", \"kind\": \"pause\", \"stop\": " + (part.Stop ? "true" : "false") + "}";
    }
    if (part.Kind == PART_SOUND || part.Machine == TARGET_UNKNOWN) {
        return json + ", \"kind\": \"sound\"}";
    }
    const std::vector<uint8_t> name(
        part.Bytes.begin(), part.Bytes.begin() + static_cast<std::ptrdiff_t>(part.NameSize));
    return json + ", \"kind\": \"program\", \"machine\": \"" +
           (part.Machine == TARGET_ZX80 ? "ZX80" : "ZX81") +
           "\", \"name\": " + Quoted(PartName(part)) +
           ", \"size\": " + std::to_string(part.Bytes.size() - part.NameSize) +
           ", \"imageStart\": " + std::to_string(ImageStart(part.Machine)) +
           ", \"nameEnd\": " + Number(start + ProgramBlockSeconds(name)) + "}";
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

/// The parts of the tape file (.p81, TZX) at `path` as zx8xwav plays them, as JSON: a list of
/// {"kind" ("program", "sound" or "pause"), "start", "end" (seconds on the tape), "block"}, a
/// program with its "machine", "name", "size" and "nameEnd", a pause with "stop". "null" for a
/// file that is no tape file or cannot be read.
EMSCRIPTEN_KEEPALIVE const char* ZxTapeFileParts(const char* path)
{
    std::vector<uint8_t> bytes;
    if (!ReadWhole(path, &bytes)) return "null";
    const TapeFileKind kind = TapeFileKindOf(path, bytes.data(), bytes.size());
    TapeFile tape;
    const bool read = kind == TAPE_FILE_TZX   ? ReadTzx(bytes.data(), bytes.size(), &tape)
                      : kind == TAPE_FILE_P81 ? ReadP81(bytes.data(), bytes.size(), false, &tape)
                                              : false;
    if (!read) return "null";
    const std::vector<double> starts = TapePartStarts(tape);
    layoutJson = "[";
    for (size_t i = 0; i < tape.Parts.size(); ++i) {
        layoutJson += (i == 0 ? "" : ", ") + PartJson(tape.Parts[i], starts[i], starts[i + 1]);
    }
    layoutJson += "]";
    return layoutJson.c_str();
}

/// Writes a TZX at `out` of the programs listed in the file at `list`, one per line as
/// "MACHINE<tab>NAME<tab>PATH" (MACHINE a TargetFormat number, NAME the tape name zx8xwav used),
/// each as zx8xwav puts it on tape (the name's ZX81 codes, then the file's bytes), with
/// `pause` seconds of silence between them besides the lead-out and lead-in of their own tapes,
/// so that it plays as the tapes joined by ZxJoinTapes do. 0 if a file cannot be read or written.
EMSCRIPTEN_KEEPALIVE int ZxMakeTzx(const char* list, double pause, const char* out)
{
    FILE* lines = std::fopen(list, "r");
    if (lines == nullptr) return 0;
    std::vector<uint8_t> tzx = TzxFileHeader();
    std::vector<std::vector<uint8_t>> programs;
    bool zx81 = false, zx80 = false, ok = true;
    char line[4096];
    while (ok && std::fgets(line, sizeof line, lines) != nullptr) {
        std::string text(line);
        while (!text.empty() && text.back() == '\n') text.pop_back();
        const size_t tab = text.find('\t'), second = text.find('\t', tab + 1);
        ok = second != std::string::npos;
        if (!ok) break;
        const bool is_zx80 = std::atoi(text.c_str()) == TARGET_ZX80;
        (is_zx80 ? zx80 : zx81) = true;
        // The name zx8xwav put on the tape, which it has already found good.
        std::vector<uint8_t> bytes;
        char bad = 0;
        if (!is_zx80) NameBlockBytes(text.substr(tab + 1, second - tab - 1), &bytes, &bad);
        ok = ReadWhole(text.c_str() + second + 1, &bytes);
        programs.push_back(bytes);
    }
    std::fclose(lines);
    if (!ok || programs.empty()) return 0;
    AppendHardware(&tzx, zx81, zx80);
    const double between = Signal.ExtroDuration + pause + Signal.IntroDuration;
    for (size_t k = 0; k < programs.size(); ++k) {
        const bool last = k + 1 == programs.size();
        AppendProgramBlock(&tzx, programs[k],
                           last ? 0 : static_cast<unsigned>(between * 1000 + 0.5));
    }
    FILE* file = std::fopen(out, "wb");
    if (file == nullptr) return 0;
    ok = std::fwrite(tzx.data(), 1, tzx.size(), file) == tzx.size();
    return std::fclose(file) == 0 && ok ? 1 : 0;
}

/// The files in the zip archive of `size` bytes at `zip`, as JSON: a list of {"name", "offset",
/// "packed", "size", "method", "crc"}; "null" if its directory cannot be read.
EMSCRIPTEN_KEEPALIVE const char* ZxZipEntries(const uint8_t* zip, int size)
{
    std::vector<ZipEntry> entries;
    if (size < 0 || !ZipEntries(zip, static_cast<size_t>(size), &entries)) return "null";
    layoutJson = "[";
    for (const ZipEntry& e : entries) {
        char crc[16];
        std::snprintf(crc, sizeof crc, "%08x", static_cast<unsigned>(e.Crc));
        layoutJson += std::string(layoutJson.size() > 1 ? ", " : "") +
                      "{\"name\": " + Quoted(e.Name) + ", \"offset\": " + std::to_string(e.Offset) +
                      ", \"packed\": " + std::to_string(e.Packed) +
                      ", \"size\": " + std::to_string(e.Size) +
                      ", \"method\": " + std::to_string(e.Method) + ", \"crc\": \"" + crc + "\"}";
    }
    layoutJson += "]";
    return layoutJson.c_str();
}

/// Where each of the `size` bytes at `image` starts on the tape zx8xwav makes of it for `target`
/// named `name`, in seconds (the first pulse of its first bit), as a JSON array: found from the
/// signal's own timing, with no WAV to measure.
EMSCRIPTEN_KEEPALIVE const char* ZxImageByteTimes(const uint8_t* image, int size, int target,
                                                  const char* name)
{
    double at = Signal.IntroDuration;
    std::vector<uint8_t> codes;
    char bad = 0;
    if (target != TARGET_ZX80) NameBlockBytes(name, &codes, &bad);
    for (const uint8_t code : codes) at += BitsSeconds(code);
    layoutJson = "[";
    char number[24];
    for (int i = 0; i < size; ++i) {
        std::snprintf(number, sizeof number, i == 0 ? "%.6f" : ",%.6f", at + Signal.InterbitDelay);
        layoutJson += number;
        at += BitsSeconds(image[i]);
    }
    layoutJson += "]";
    return layoutJson.c_str();
}

/// What keeps `name` from being a ZX81 tape name, as a sentence for the page; "" if nothing.
EMSCRIPTEN_KEEPALIVE const char* ZxTapeNameProblem(const char* name)
{
    const std::string text(name);
    char bad = 0;
    layoutJson.clear();
    if (!TapeNameHasCodes(text, &bad)) {
        // The whole character, however many bytes of UTF-8 it takes.
        const size_t at = text.find(bad);
        size_t end = at + 1;
        while (end < text.size() && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) ++end;
        layoutJson =
            "\"" + text.substr(at, end - at) + "\" is not a character a ZX81 tape name can hold.";
    } else if (text.size() > MAX_ZXNAME_LENGTH) {
        layoutJson =
            "A tape name holds at most " + std::to_string(MAX_ZXNAME_LENGTH) + " characters.";
    }
    return layoutJson.c_str();
}

/// The CRC-32 of `size` bytes at `bytes`, as 8 hex digits: whether an unpacked file is whole.
EMSCRIPTEN_KEEPALIVE const char* ZxCrc32(const uint8_t* bytes, int size)
{
    layoutJson = Crc32Hex(std::vector<uint8_t>(bytes, bytes + std::max(0, size)));
    return layoutJson.c_str();
}
}
