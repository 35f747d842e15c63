// zx8xread: recovers ZX81 and ZX80 programs from recordings of their tapes.
//
// Each recording is read whole; every program found is written as a new file and reported on
// one line of standard output, with the checks that stand in for the checksum a tape lacks and
// the bytes in doubt. Errors are one line on standard error naming the file.

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "read/naming.h"
#include "read/reader.h"
#include "read/summary.h"

namespace {

const char USAGE[] =
    "Usage: zx8xread [-d DIR] [-80 | -81] RECORDING...\n"
    "Recovers the ZX81 and ZX80 programs in recordings of their tapes (WAV, FLAC, Ogg, MP3 ...).\n"
    "  -d DIR   write the programs into DIR (default: the current folder)\n"
    "  -80      the tapes are ZX80 tapes\n"
    "  -81      the tapes are ZX81 tapes (default: found from each program)\n"
    "  -h       print this text\n"
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
            const std::string name = program.Kind == TARGET_ZX81
                                         ? Zx81FileName(program.Name)
                                         : Zx80FileName(path == "-" ? "stdin" : path, ++zx80_count);
            std::string written;
            if (!WriteNewFile(directory, name, program.Image, &written)) {
                fprintf(stderr, "zx8xread: %s: cannot write: %s\n", written.c_str(),
                        strerror(errno));
                status = 2;
                continue;
            }
            if (StatusOf(program) != STATUS_OK) status = std::max(status, 1);
            printf("%s\n", ProgramLine(program, written).c_str());
        }
    }
    return status;
}
