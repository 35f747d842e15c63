// zx8xread: recovers ZX81 and ZX80 programs from recordings of their tapes.
//
// Each recording is read whole; every program found is written as a new file and reported on
// one line of standard output, with the checks that stand in for the checksum a tape lacks.
// Errors are one line on standard error naming the file.

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "read/naming.h"
#include "read/reader.h"

namespace {

const char USAGE[] =
    "Usage: zx8xread [-d DIR] [-80 | -81] RECORDING...\n"
    "Recovers the ZX81 and ZX80 programs in recordings of their tapes (WAV, FLAC, Ogg, MP3 ...).\n"
    "  -d DIR   write the programs into DIR (default: the current folder)\n"
    "  -80      the tapes are ZX80 tapes\n"
    "  -81      the tapes are ZX81 tapes (default: found from each program)\n"
    "  -h       print this text\n"
    "A ZX81 program is written as its tape name in lower case plus .p, a ZX80 program as the\n"
    "recording's name plus -N.o; no file is ever replaced. Exit status: 0 when every recording\n"
    "held programs that passed all checks, 1 when one failed a check or a recording held none,\n"
    "2 for usage errors and files that could not be read or written.\n";

int Usage(const char* problem)
{
    if (problem != nullptr) fprintf(stderr, "zx8xread: %s\n", problem);
    fputs(USAGE, stderr);
    return 2;
}

// Seconds as m:ss.s.
std::string Clock(double seconds)
{
    const long tenths = std::lround(seconds * 10);
    char text[32];
    snprintf(text, sizeof text, "%ld:%02ld.%ld", tenths / 600, tenths / 10 % 60, tenths % 10);
    return text;
}

std::string TapeName(const TapeProgram& program)
{
    std::string name;
    for (const uint8_t code : program.Name) name += NameCharacter(code);
    return name;
}

}  // namespace

int main(int argc, char** argv)
{
    std::string directory;
    TargetFormat machine = TARGET_UNKNOWN;
    std::vector<std::string> recordings;
    bool options = true;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (options && arg == "--") {
            options = false;
        } else if (options && (arg == "-h" || arg == "--help")) {
            fputs(USAGE, stdout);
            return 0;
        } else if (options && arg == "-80") {
            machine = TARGET_ZX80;
        } else if (options && arg == "-81") {
            machine = TARGET_ZX81;
        } else if (options && arg.rfind("-d", 0) == 0) {
            if (arg.size() > 2) {
                directory = arg.substr(2);
            } else if (i + 1 < argc) {
                directory = argv[++i];
            } else {
                return Usage("option -d needs a folder");
            }
        } else if (options && arg.size() > 1 && arg[0] == '-') {
            return Usage(("unknown option " + arg).c_str());
        } else {
            recordings.push_back(arg);
        }
    }
    if (recordings.empty()) return Usage("no recording given");
    if (!directory.empty()) {
        std::error_code error;
        std::filesystem::create_directories(directory, error);
        if (!std::filesystem::is_directory(directory)) {
            fprintf(stderr, "zx8xread: %s: cannot make this folder\n", directory.c_str());
            return 2;
        }
    }

    int status = 0;
    for (const std::string& path : recordings) {
        std::vector<TapeProgram> programs;
        std::string error;
        std::string warning;
        if (!ReadRecording(path, machine, &programs, &error, &warning)) {
            fprintf(stderr, "zx8xread: %s: %s\n", path.c_str(), error.c_str());
            status = 2;
            continue;
        }
        if (!warning.empty()) {
            fprintf(stderr, "zx8xread: %s: %s\n", path.c_str(), warning.c_str());
            status = 2;
        }
        if (programs.empty()) {
            fprintf(stderr, "zx8xread: %s: no program found\n", path.c_str());
            status = std::max(status, 1);
            continue;
        }
        int zx80_count = 0;
        for (const TapeProgram& program : programs) {
            const bool zx81 = program.Kind == TARGET_ZX81;
            const std::string name =
                zx81 ? Zx81FileName(program.Name) : Zx80FileName(path, ++zx80_count);
            std::string written;
            if (!WriteNewFile(directory, name, program.Image, &written)) {
                fprintf(stderr, "zx8xread: %s: cannot write: %s\n", written.c_str(),
                        strerror(errno));
                status = 2;
                continue;
            }
            std::string checks = "checks OK";
            if (!program.Failed.empty()) {
                checks = "checks failed:";
                for (size_t k = 0; k < program.Failed.size(); ++k) {
                    checks += (k == 0 ? " " : ", ") + program.Failed[k];
                }
                status = std::max(status, 1);
            }
            printf("%s: %s, %s, %zu bytes, %s to %s, %s, worst bit %d%% clear\n", written.c_str(),
                   zx81 ? "ZX81" : "ZX80",
                   zx81 ? ("name \"" + TapeName(program) + "\"").c_str() : "no name",
                   program.Image.size(), Clock(program.Start).c_str(), Clock(program.End).c_str(),
                   checks.c_str(),
                   static_cast<int>(std::lround(std::max(0.0f, program.Margin) * 100)));
        }
    }
    return status;
}
