// zx8xlist: shows what is inside ZX81 and ZX80 program images: the system variables that
// matter, the BASIC program as the machine's LIST shows it, and the variables with their values.

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#ifdef _WIN32
#include <io.h>
#define isatty _isatty
#define fileno _fileno
#else
#include <unistd.h>
#endif

#include "image/detect.h"
#include "listing/listing.h"
#include "listing/text.h"

namespace {

const char USAGE[] =
    "Usage: zx8xlist [--ascii] [-80 | -81] FILE...\n"
    "Lists ZX81 (.p) and ZX80 (.o, .80) program images: system variables, BASIC lines as LIST\n"
    "shows them, and variables with their values.\n"
    "  --ascii  plain ASCII: block graphics as \\ and two characters, the pound sign as `\n"
    "  -80      the images are ZX80 images\n"
    "  -81      the images are ZX81 images (default: found from each image)\n"
    "  -h       print this text\n"
    "Characters in inverse video are shown between [ and ], or in reverse video on a terminal.\n"
    "Exit status: 0 when every image listed whole, 1 when one has damaged structure, 2 for usage\n"
    "errors and files that could not be read.\n";

bool ReadFile(const std::string& path, std::vector<uint8_t>* bytes)
{
    FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return false;
    bytes->clear();
    uint8_t buffer[65536];
    size_t got;
    // An image holds at most 64K: anything longer is no image, and is not read further.
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0 &&
           bytes->size() <= LONGEST_IMAGE) {
        bytes->insert(bytes->end(), buffer, buffer + got);
    }
    const bool ok = !std::ferror(file);
    std::fclose(file);
    return ok;
}

// The machine an image is for: found from its system variables, else from its extension
// (.o and .80 are ZX80 images), else a ZX81.
TargetFormat MachineOf(const std::string& path, const std::vector<uint8_t>& image)
{
    const TargetFormat found = DetectTarget(image.data(), static_cast<int>(image.size()));
    if (found != TARGET_UNKNOWN) return found;
    std::string extension = path.substr(std::min(path.size(), path.find_last_of('.')));
    for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return extension == ".o" || extension == ".80" ? TARGET_ZX80 : TARGET_ZX81;
}

}  // namespace

int main(int argc, char** argv)
{
    TextStyle style = isatty(fileno(stdout)) ? TEXT_TERMINAL : TEXT_UNICODE;
    TargetFormat machine = TARGET_UNKNOWN;
    std::vector<std::string> files;
    bool options = true;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (options && arg == "--") {
            options = false;
        } else if (options && (arg == "-h" || arg == "--help")) {
            fputs(USAGE, stdout);
            return 0;
        } else if (options && arg == "--ascii") {
            style = TEXT_ASCII;
        } else if (options && arg == "-80") {
            machine = TARGET_ZX80;
        } else if (options && arg == "-81") {
            machine = TARGET_ZX81;
        } else if (options && arg.size() > 1 && arg[0] == '-') {
            fprintf(stderr, "zx8xlist: unknown option %s\n", arg.c_str());
            fputs(USAGE, stderr);
            return 2;
        } else {
            files.push_back(arg);
        }
    }
    if (files.empty()) {
        fputs("zx8xlist: no file given\n", stderr);
        fputs(USAGE, stderr);
        return 2;
    }
    int status = 0;
    int listed = 0;
    for (size_t k = 0; k < files.size(); ++k) {
        std::vector<uint8_t> image;
        if (!ReadFile(files[k], &image)) {
            fprintf(stderr, "zx8xlist: %s: cannot read: %s\n", files[k].c_str(), strerror(errno));
            status = 2;
            continue;
        }
        if (image.size() > LONGEST_IMAGE) {
            fprintf(stderr, "zx8xlist: %s: too large for a program image\n", files[k].c_str());
            status = 2;
            continue;
        }
        const TargetFormat target =
            machine != TARGET_UNKNOWN ? machine : MachineOf(files[k], image);
        const Listing listing = ListImage(image, target);
        if (listed++ > 0) fputs("\n", stdout);
        fputs(ListingText(listing, files[k], image, style).c_str(), stdout);
        if (HasProblems(listing) && status == 0) status = 1;
    }
    if (fflush(stdout) != 0) return 2;
    return status;
}
