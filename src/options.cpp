#include "options.h"

#include <cstdio>

#include "conversion.h"

namespace {

void ReportUnknownOption(const char* arg) { fprintf(stderr, "ERROR: unknown option %s\n", arg); }

// -zNAME / -fNAME: the tape name as typed, at most MAX_ZXNAME_LENGTH characters.
void TakeTapeName(const char* name)
{
    size_t copied = 0;
    while (copied < MAX_ZXNAME_LENGTH && name[copied] != '\0') ++copied;
    zxFileName.assign(name, copied);
    if (name[copied] != '\0') {
        fprintf(stderr, "ERROR: option -z: name %s too long\n", name);
    } else if (copied == 0) {
        fprintf(stderr, "ERROR: option -z: name missing\n");
    }
}

}  // namespace

bool IsOptionPrefix(char c)
{
#ifdef _WIN32
    return c == '-' || c == '/';
#else
    return c == '-';
#endif
}

int HandleOptions(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (!IsOptionPrefix(arg[0])) return i;
        switch (arg[1]) {
            case 'h':
            case 'H':
            case '?':
                PrintUsage(argv[0]);
                break;
            case 'z':
            case 'f':
                TakeTapeName(arg + 2);
                break;
            case '8':
                // Characters after the third are ignored: -810 counts as -81.
                if (arg[2] == '1') {
                    targetFormat = TARGET_ZX81;
                } else if (arg[2] == '0') {
                    targetFormat = TARGET_ZX80;
                } else {
                    ReportUnknownOption(arg);
                }
                break;
            default:  // including a bare prefix
                ReportUnknownOption(arg);
                break;
        }
    }
    return 0;
}

void PrintUsage(const char* programName)
{
    fputs(
        "\nConvert a ZX81 or ZX80 software file (*.p or *.80) to a wav file (*.wav). The\n"
        "wav output can be used to load software into your ZX by connecting it to the\n"
        "soundcard of the PC (or any other wav player)     [ver0.03qx]\n"
        "\nUsage (command line):\n\n",
        stderr);
    fprintf(stderr, "%s [options] filename\n", programName);
    fputs(
        "\nOptions: \n"
        "   -zNAME       Use NAME for ZX file name (the name as used by the ZX81)\n"
        "   -80     \t\tAssume file is for ZX80 target (no autodetect)\n"
        "   -81     \t\tAssume file is for ZX81 target (no autodetect)\n"
        "\nUsage (Windows Explorer):\n\n"
        "Just drag-and-drop the *.p file onto this program's symbol.\n"
        "\nHint: Connect ZX EAR using a mono jack plug, a stereo plug may not work.\n",
        stderr);
}
