#include "read/summary.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <set>

namespace {

// Doubtful bytes named on the line; the report names them all.
constexpr size_t DOUBTS_SHOWN = 3;

}  // namespace

ProgramStatus StatusOf(const TapeProgram& program)
{
    if (!program.Failed.empty()) return STATUS_FAILED;
    return ProgramIsSound(program) ? STATUS_OK : STATUS_DOUBTFUL;
}

std::string TapeNameText(const TapeProgram& program)
{
    std::string name;
    for (const uint8_t code : program.Name) name += NameCharacter(code);
    return name;
}

std::string ClockText(double seconds, bool hundredths)
{
    const long scale = hundredths ? 100 : 10;
    const long units = std::lround(std::max(0.0, seconds) * static_cast<double>(scale));
    char text[32];
    std::snprintf(text, sizeof text, hundredths ? "%ld:%02ld.%02ld" : "%ld:%02ld.%ld",
                  units / (60 * scale), units / scale % 60, units % scale);
    return text;
}

std::string ProgramLine(const TapeProgram& program, const std::string& written, int recordings)
{
    const bool zx81 = program.Kind == TARGET_ZX81;
    std::string line = written + (zx81 ? ": ZX81, " : ": ZX80, ");
    line += zx81 ? "name \"" + TapeNameText(program) + "\"" : "no name";
    if (NameIsDoubtful(program)) line += " (doubtful)";
    line += ", " + std::to_string(program.Image.size()) + " bytes, " + ClockText(program.Start) +
            " to " + ClockText(program.End) + ", ";
    if (!program.Failed.empty()) {
        line += "checks failed:";
        for (size_t k = 0; k < program.Failed.size(); ++k) {
            line += (k == 0 ? " " : ", ") + std::string(CheckName(program.Failed[k]));
        }
    } else {
        line += ProgramIsSound(program) ? "checks OK" : "checks passed";
    }
    if (program.MidTape) line += ", starts mid-tape";
    const std::vector<size_t> doubtful = DoubtfulBytes(program);
    if (!doubtful.empty()) {
        line += ", " + std::to_string(doubtful.size()) +
                (doubtful.size() == 1 ? " doubtful byte: " : " doubtful bytes: ");
        for (size_t k = 0; k < std::min(doubtful.size(), DOUBTS_SHOWN); ++k) {
            line += (k == 0 ? "" : ", ") + std::to_string(doubtful[k]) + " (" +
                    ClockText(program.ByteTimes[doubtful[k]], true) + ")";
        }
        if (doubtful.size() > DOUBTS_SHOWN) line += ", ...";
    }
    const std::vector<BitSlip> slips = ProgramSlips(program);
    if (!slips.empty()) {
        line += ", a bit lost or gained near byte " + std::to_string(slips.front().Bit / 8) +
                " would explain it";
    }
    if (program.BytesAfter > 0) {
        line += ", " + std::to_string(program.BytesAfter) +
                (program.BytesAfter == 1 ? " byte" : " bytes") + " after the program's end";
    }
    std::set<int> found_in;
    for (const ProgramSource& source : program.Sources) found_in.insert(source.Recording);
    if (recordings > 1 && static_cast<int>(found_in.size()) < recordings) {
        line += ", found in " + std::to_string(found_in.size()) + " of " +
                std::to_string(recordings) + " recordings";
    }
    if (program.Sources.size() > 1) {
        line += ", " + std::to_string(program.Agreeing) + " of " +
                std::to_string(program.Sources.size()) + " readings agree";
    }
    line +=
        ", worst bit " +
        std::to_string(static_cast<int>(std::lround(std::max(0.0f, WorstMargin(program)) * 100))) +
        "% clear";
    return line;
}
