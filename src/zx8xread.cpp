// zx8xread: recovers ZX81 and ZX80 programs from recordings of their tapes.
//
// Each recording is read whole, once; every program found is written as a new file and
// reported on one line of standard output, with the checks that stand in for the checksum a
// tape lacks and the bytes in doubt. With -m the recordings are readings of one tape, combined
// bit by bit. Errors are one line on standard error naming the file.

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <iterator>
#include <string>
#include <vector>

#include "files/digest.h"
#include "files/paths.h"
#include "read/merge.h"
#include "read/naming.h"
#include "read/reader.h"
#include "read/report.h"
#include "read/settings.h"
#include "read/summary.h"
#include "read/tape_archive.h"

namespace {

const char USAGE[] =
    "Usage: zx8xread [-d DIR] [-80 | -81] [-m] [--channel SIDE] [--report FILE] RECORDING...\n"
    "Recovers the ZX81 and ZX80 programs in recordings of their tapes (WAV, FLAC, Ogg, MP3 ...).\n"
    "  -d DIR         write the programs into DIR (default: the current folder)\n"
    "  -80            the tapes are ZX80 tapes\n"
    "  -81            the tapes are ZX81 tapes (default: found from each program)\n"
    "  -m             the recordings are readings of one tape: combine them bit by bit\n"
    "  --channel SIDE read only the left or the right channel of a stereo recording\n"
    "                 (default: both, combined)\n"
    "  --report FILE  write a report of every program and doubtful byte as JSON to FILE\n"
    "  --tzx          also write each recording's whole tape (with -m, the combined one) as\n"
    "                 NAME.tzx: its sound programs as blocks, all else as it sounded\n"
    "  -h             print this text\n"
    "A RECORDING of - is standard input. A ZX81 program is written as its tape name in lower\n"
    "case plus .p, a ZX80 program as the recording's name plus -N.o; no file is ever replaced.\n"
    "Exit status: 0 when every recording held programs that passed all checks with no byte in\n"
    "doubt, 1 when one failed a check or is in doubt or a recording held none, 2 for usage errors\n"
    "and files that could not be read or written.\n";

int Usage(const char* problem)
{
    if (problem != nullptr) fprintf(stderr, "zx8xread: %s\n", problem);
    fputs(USAGE, stderr);
    return 2;
}

struct Options {
    std::string Directory;
    TargetFormat Machine = TARGET_UNKNOWN;
    bool Merge = false;
    bool Tzx = false;
    std::string Report;
    std::vector<std::string> Recordings;
    // Diagnostics: a line per burst, bit and block decision on standard error, and settings
    // changed from their defaults.
    bool Trace = false;
    ReaderSettings Settings;
    int Channel = ALL_CHANNELS;
};

// Takes "NAME=VALUE" into the settings; false with *error set if it is no setting's.
bool ParseSetting(const std::string& text, ReaderSettings* settings, std::string* error)
{
    const size_t equals = text.find('=');
    char* end = nullptr;
    const std::string value = equals == std::string::npos ? "" : text.substr(equals + 1);
    const double number = strtod(value.c_str(), &end);
    if (equals == std::string::npos || value.empty() || *end != '\0') {
        *error = "option --setting needs NAME=NUMBER";
        return false;
    }
    return SetReaderSetting(settings, text.substr(0, equals), number, error);
}

// Parses the command line; returns -1 to go on, else the exit status.
int ParseOptions(int argc, char** argv, Options* o)
{
    bool options = true;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (options && arg == "--") {
            options = false;
        } else if (options && (arg == "-h" || arg == "--help")) {
            fputs(USAGE, stdout);
            return 0;
        } else if (options && arg == "-80") {
            o->Machine = TARGET_ZX80;
        } else if (options && arg == "-81") {
            o->Machine = TARGET_ZX81;
        } else if (options && arg == "-m") {
            o->Merge = true;
        } else if (options && arg == "--tzx") {
            o->Tzx = true;
        } else if (options && arg == "--channel") {
            const std::string side = i + 1 < argc ? argv[++i] : "";
            if (side != "left" && side != "right" && side != "both") {
                return Usage("option --channel takes left, right or both");
            }
            o->Channel = side == "left" ? 0 : side == "right" ? 1 : ALL_CHANNELS;
        } else if (options && arg == "--trace") {
            o->Trace = true;
        } else if (options && arg == "--setting") {
            std::string error;
            if (i + 1 >= argc) return Usage("option --setting needs NAME=NUMBER");
            if (!ParseSetting(argv[++i], &o->Settings, &error)) return Usage(error.c_str());
        } else if (options && (arg == "--report" || arg.rfind("--report=", 0) == 0)) {
            if (arg.size() > 9) {
                o->Report = arg.substr(9);
            } else if (i + 1 < argc) {
                o->Report = argv[++i];
            } else {
                return Usage("option --report needs a file");
            }
        } else if (options && arg.rfind("-d", 0) == 0) {
            if (arg.size() > 2) {
                o->Directory = arg.substr(2);
            } else if (i + 1 < argc) {
                o->Directory = argv[++i];
            } else {
                return Usage("option -d needs a folder");
            }
        } else if (options && arg.size() > 1 && arg[0] == '-') {
            return Usage(("unknown option " + arg).c_str());
        } else {
            o->Recordings.push_back(arg);
        }
    }
    if (o->Recordings.empty()) return Usage("no recording given");
    if (std::count(o->Recordings.begin(), o->Recordings.end(), "-") > 1) {
        return Usage("standard input can be read only once");
    }
    return -1;
}

// Writes a program read from the recording `path` (the first of those combined) and reports it
// on a line of `lines`; returns the exit status it gives. `zx80_count` numbers the ZX80 programs.
int WriteProgram(const TapeProgram& program, const std::string& path, const std::string& directory,
                 FILE* lines, int recordings, int* zx80_count, std::string* written,
                 std::vector<std::pair<std::string, std::string>>* seen)
{
    const std::string name = program.Kind == TARGET_ZX81 ? Zx81FileName(program.Name)
                                                         : Zx80FileName(path, ++*zx80_count);
    if (!WriteNewFile(directory, name, program.Image, written)) {
        fprintf(stderr, "zx8xread: %s: cannot write: %s\n", written->c_str(), strerror(errno));
        return 2;
    }
    // The same image read before in this run: a catalogue tells such copies apart by their SHA-1.
    const std::string digest = Sha1Hex(program.Image);
    std::string same;
    for (const auto& [earlier_digest, earlier] : *seen) {
        if (earlier_digest == digest && same.empty()) same = ", the same as " + earlier;
    }
    seen->emplace_back(digest, *written);
    fprintf(lines, "%s%s\n", ProgramLine(program, *written, recordings).c_str(), same.c_str());
    fflush(lines);
    return StatusOf(program) == STATUS_OK ? 0 : 1;
}

// Writes the whole tape of the recording `path` as a TZX beside the programs and says so on a
// line of `lines`; sets *written and returns the exit status it gives.
int WriteTapeArchive(const std::vector<TapeProgram>& programs, const SignalCapture& capture,
                     const std::string& path, const std::string& directory, FILE* lines,
                     std::string* written)
{
    const std::vector<uint8_t> tzx = TapeArchive(programs, capture, BaseName(path));
    if (!WriteNewFile(directory, RecordingStem(path) + ".tzx", tzx, written)) {
        fprintf(stderr, "zx8xread: %s: cannot write: %s\n", written->c_str(), strerror(errno));
        return 2;
    }
    size_t blocks = 0;
    for (const TapeProgram& program : programs) blocks += ProgramIsSound(program) ? 1 : 0;
    fprintf(lines, "%s: the whole tape, %zu of %zu programs as blocks, the rest as it sounded\n",
            written->c_str(), blocks, programs.size());
    fflush(lines);
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    Options options;
    const int parsed = ParseOptions(argc, argv, &options);
    if (parsed >= 0) return parsed;
    if (!options.Directory.empty()) {
        std::error_code error;
        std::filesystem::create_directories(options.Directory, error);
        if (!std::filesystem::is_directory(options.Directory)) {
            fprintf(stderr, "zx8xread: %s: cannot make this folder\n", options.Directory.c_str());
            return 2;
        }
    }

    int status = 0;
    std::vector<RecordingReport> recordings;
    std::vector<std::vector<TapeBlock>> readings;  // with -m: each recording's blocks
    // The programs the report tells of, where one was asked for; else each is let go once written.
    std::deque<TapeProgram> kept;
    std::vector<ProgramReport> reports;
    std::vector<std::pair<std::string, std::string>> seen;  // each image's SHA-1, and its file
    std::vector<TapeProgram> taped;  // the programs of the tape being archived, with --tzx
    // A report on standard output is JSON alone: the lines go to standard error then.
    FILE* lines = options.Report == "-" ? stderr : stdout;
    // `combined`: how many recordings were combined, where they were.
    auto write = [&](TapeProgram& program, const std::string& path, int* zx80_count,
                     int combined = 0) {
        std::string written;
        const int result = WriteProgram(program, path, options.Directory, lines, combined,
                                        zx80_count, &written, &seen);
        status = std::max(status, result);
        if (options.Tzx) taped.push_back(program);
        if (result < 2 && !options.Report.empty()) {
            kept.push_back(std::move(program));
            reports.emplace_back(&kept.back(), written);
        }
    };
    // The TZX of the tape just read, named for `path`; the report gives it with its programs.
    SignalCapture capture;
    auto archive = [&](const std::string& path, size_t first_report) {
        std::string written;
        const int result =
            WriteTapeArchive(taped, capture, path, options.Directory, lines, &written);
        status = std::max(status, result);
        for (size_t k = first_report; result == 0 && k < reports.size(); ++k) {
            reports[k].Tzx = written;
        }
        taped.clear();
    };
    for (const std::string& path : options.Recordings) {
        RecordingReport recording;
        recording.File = path;
        ReadingSession session;
        if (options.Trace) fprintf(stderr, "recording %s\n", path.c_str());
        if (!OpenReading(path, static_cast<int>(recordings.size()), &session, &recording.Error,
                         options.Settings, options.Trace ? stderr : nullptr, options.Channel)) {
            fprintf(stderr, "zx8xread: %s: %s\n", path.c_str(), recording.Error.c_str());
            recordings.push_back(recording);
            status = 2;
            continue;
        }
        // With -m, the first recording read is the one whose sound the combined tape keeps.
        const bool capturing = options.Tzx && (!options.Merge || readings.empty());
        if (capturing) {
            StartCapture(&capture, session.File.Rate, session.File.Channels);
            session.Capture = &capture;
        }
        const size_t first_report = reports.size();
        // Programs are written as they are read, unless they wait to be combined.
        std::vector<TapeBlock> blocks;
        std::vector<TapeBlock> all;
        int zx80_count = 0;
        size_t found = 0;
        while (NextBlocks(&session, &blocks)) {
            if (options.Merge) {
                std::move(blocks.begin(), blocks.end(), std::back_inserter(all));
                continue;
            }
            for (TapeProgram& program : ProgramsInBlocks(blocks, options.Machine)) {
                write(program, path, &zx80_count);
                ++found;
            }
        }
        CloseReading(&session, &recording.Info);
        if (!recording.Info.Warning.empty()) {
            fprintf(stderr, "zx8xread: %s: %s\n", path.c_str(), recording.Info.Warning.c_str());
            status = 2;
        }
        if (options.Merge) {
            found = all.size();
            readings.push_back(std::move(all));
        }
        if (found == 0) {
            fprintf(stderr, "zx8xread: %s: no program found\n", path.c_str());
            status = std::max(status, 1);
        }
        if (options.Tzx && !options.Merge) archive(path, first_report);
        recordings.push_back(recording);
    }
    if (options.Merge) {
        // Every program of every reading is written: those that several readings hold combined,
        // and each one only some hold saying so. Blocks that make no program leave nothing, and
        // a run that writes nothing says it.
        int zx80_count = 0;
        const size_t first_report = reports.size();
        std::vector<TapeProgram> programs =
            ProgramsInBlocks(MergeReadings(readings), options.Machine);
        for (TapeProgram& program : programs) {
            write(program, options.Recordings.front(), &zx80_count,
                  static_cast<int>(readings.size()));
        }
        const bool blocks = std::any_of(readings.begin(), readings.end(),
                                        [](const std::vector<TapeBlock>& r) { return !r.empty(); });
        if (programs.empty() && blocks) {
            fprintf(stderr, "zx8xread: no program found in the recordings combined\n");
            status = std::max(status, 1);
        }
        if (options.Tzx && capture.Rate > 0) archive(options.Recordings.front(), first_report);
    }

    if (!options.Report.empty()) {
        const std::string json = ReportJson(recordings, reports);
        FILE* file = options.Report == "-" ? stdout : fopen(options.Report.c_str(), "wb");
        const bool written =
            file != nullptr && fwrite(json.data(), 1, json.size(), file) == json.size();
        if (file == nullptr || (file != stdout && fclose(file) != 0) || !written) {
            fprintf(stderr, "zx8xread: %s: cannot write the report\n", options.Report.c_str());
            status = 2;
        }
    }
    return status;
}
