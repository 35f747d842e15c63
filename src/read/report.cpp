#include "read/report.h"

#include <cmath>
#include <cstdio>

#include "files/digest.h"
#include "read/summary.h"

std::string JsonQuoted(const std::string& text)
{
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            quoted += '\\';
            quoted += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned char>(c));
            quoted += escape;
        } else {
            quoted += c;
        }
    }
    return quoted + "\"";
}

namespace {

// A number with a few decimals: seconds to the millisecond, margins to the hundredth.
std::string Number(double value, int decimals)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

const char* StatusName(ProgramStatus status)
{
    return status == STATUS_OK ? "ok" : status == STATUS_DOUBTFUL ? "doubtful" : "failed";
}

std::string DoubtfulByteJson(const TapeProgram& program, size_t offset, int rate)
{
    const double time = program.ByteTimes[offset];
    std::string json = "{\"offset\": " + std::to_string(offset) + ", \"time\": " + Number(time, 4) +
                       ", \"sample\": " + std::to_string(std::llround(time * rate)) +
                       ", \"margin\": " + Number(ByteMargin(program.BitMargins, offset), 2) +
                       ", \"value\": " + std::to_string(program.Image[offset]) +
                       ", \"doubtful_bits\": [";
    bool first = true;
    for (int k = 0; k < 8; ++k) {
        if (program.BitMargins[8 * offset + static_cast<size_t>(k)] < DOUBT_MARGIN) {
            json += (first ? "" : ", ") + std::to_string(7 - k);  // bit 7 is the first on tape
            first = false;
        }
    }
    json += "]";
    if (program.Sources.size() > 1) {
        json += ", \"readings\": [";
        for (size_t r = 0; r < program.Sources.size(); ++r) {
            const std::vector<int>& image = program.Sources[r].Image;
            const bool known = offset < image.size() && image[offset] >= 0;
            json += (r == 0 ? "" : ", ") +
                    (known ? std::to_string(image[offset]) : std::string("null"));
        }
        json += "]";
    }
    return json + "}";
}

std::string ProgramJson(const ProgramReport& report, const std::vector<RecordingReport>& recordings)
{
    const TapeProgram& p = *report.Program;
    const bool zx81 = p.Kind == TARGET_ZX81;
    std::string json = "    {\"file\": " + JsonQuoted(report.Written) + ", \"status\": \"" +
                       StatusName(StatusOf(p)) + "\", \"machine\": \"" + (zx81 ? "ZX81" : "ZX80") +
                       "\", \"name\": " + (zx81 ? JsonQuoted(TapeNameText(p)) : "null") +
                       ", \"name_doubtful\": " + (NameIsDoubtful(p) ? "true" : "false") +
                       ", \"size\": " + std::to_string(p.Image.size()) +
                       ", \"start\": " + Number(p.Start, 4) + ", \"end\": " + Number(p.End, 4) +
                       ", \"checks_failed\": [";
    for (size_t k = 0; k < p.Failed.size(); ++k)
        json += (k == 0 ? "" : ", ") + JsonQuoted(CheckName(p.Failed[k]));
    json += std::string("], \"starts_mid_tape\": ") + (p.MidTape ? "true" : "false") +
            ", \"bytes_after_end\": " + std::to_string(p.BytesAfter) +
            ", \"worst_margin\": " + Number(std::max(0.0f, WorstMargin(p)), 2) +
            ",\n     \"crc32\": \"" + Crc32Hex(p.Image) + "\", \"sha1\": \"" + Sha1Hex(p.Image) +
            "\", \"tzx\": " + (report.Tzx.empty() ? "null" : JsonQuoted(report.Tzx)) +
            ",\n     \"readings\": [";
    for (size_t r = 0; r < p.Sources.size(); ++r) {
        const ProgramSource& s = p.Sources[r];
        json += std::string(r == 0 ? "" : ", ") + "{\"recording\": " + std::to_string(s.Recording) +
                ", \"channel\": " + std::to_string(s.Channel) +
                ", \"start\": " + Number(s.Start, 4) + ", \"end\": " + Number(s.End, 4) + "}";
    }
    json += "], \"agreeing\": " + std::to_string(p.Agreeing) + ",\n     \"bit_slips\": [";
    const std::vector<BitSlip> slips = ProgramSlips(p);
    for (size_t k = 0; k < slips.size(); ++k) {
        static const char* const CHANGES[] = {"insert 0", "insert 1", "remove"};
        json += std::string(k == 0 ? "" : ", ") + "{\"bit\": " + std::to_string(slips[k].Bit) +
                ", \"offset\": " + std::to_string(slips[k].Bit / 8) + ", \"change\": \"" +
                CHANGES[slips[k].Change] + "\", \"flip\": " +
                (slips[k].Flip == NO_FLIP ? std::string("null") : std::to_string(slips[k].Flip)) +
                "}";
    }
    json += "],\n     \"doubtful_bytes\": [";
    const int recording = p.Sources.empty() ? 0 : p.Sources[0].Recording;
    const int rate = recording < static_cast<int>(recordings.size())
                         ? recordings[static_cast<size_t>(recording)].Info.Rate
                         : 0;
    const std::vector<size_t> doubtful = DoubtfulBytes(p);
    for (size_t k = 0; k < doubtful.size(); ++k) {
        json += (k == 0 ? "\n       " : ",\n       ") + DoubtfulByteJson(p, doubtful[k], rate);
    }
    return json + "]}";
}

}  // namespace

std::string ReportJson(const std::vector<RecordingReport>& recordings,
                       const std::vector<ProgramReport>& programs)
{
    std::string json = "{\n  \"version\": 1,\n  \"recordings\": [";
    for (size_t k = 0; k < recordings.size(); ++k) {
        const RecordingReport& r = recordings[k];
        json += std::string(k == 0 ? "\n" : ",\n") + "    {\"file\": " + JsonQuoted(r.File) +
                ", \"rate\": " + std::to_string(r.Info.Rate) +
                ", \"channels\": " + std::to_string(r.Info.Channels) +
                ", \"seconds\": " + Number(r.Info.Seconds, 3) +
                ", \"error\": " + (r.Error.empty() ? "null" : JsonQuoted(r.Error)) +
                ", \"warning\": " + (r.Info.Warning.empty() ? "null" : JsonQuoted(r.Info.Warning)) +
                "}";
    }
    json += "\n  ],\n  \"programs\": [";
    for (size_t k = 0; k < programs.size(); ++k) {
        json += std::string(k == 0 ? "\n" : ",\n") + ProgramJson(programs[k], recordings);
    }
    return json + "\n  ]\n}\n";
}
