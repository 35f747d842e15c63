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
#include "listing/choices.h"
#include "listing/listing.h"
#include "listing/report_reader.h"
#include "listing/text.h"

namespace {

const char USAGE[] =
    "Usage: zx8xlist [--ascii] [-80 | -81] [--report REPORT] FILE...\n"
    "Lists ZX81 (.p) and ZX80 (.o, .80) program images: system variables, BASIC lines as LIST\n"
    "shows them, and variables with their values.\n"
    "  --ascii  plain ASCII: block graphics as \\ and two characters, the pound sign as `\n"
    "  -80      the images are ZX80 images\n"
    "  -81      the images are ZX81 images (default: found from each image)\n"
    "  --report REPORT  zx8xread's report on the images: each doubtful byte is shown with the\n"
    "           values its doubtful bits allow, the line each makes and the checks it fails\n"
    "  -h       print this text\n"
    "Characters in inverse video are shown between [ and ], or in reverse video on a terminal.\n"
    "Exit status: 0 when every image listed whole, 1 when one has damaged structure, 2 for usage\n"
    "errors and files that could not be read.\n";

// Reads at most a little past `limit` bytes of the file at `path`: anything longer is refused.
bool ReadFile(const std::string& path, size_t limit, std::vector<uint8_t>* bytes)
{
    FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return false;
    bytes->clear();
    uint8_t buffer[65536];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0 && bytes->size() <= limit) {
        bytes->insert(bytes->end(), buffer, buffer + got);
    }
    const bool ok = !std::ferror(file);
    std::fclose(file);
    return ok;
}

// Far more than a report on the largest program with every byte in doubt.
constexpr size_t LONGEST_REPORT = 64u << 20;

// Each doubtful byte the report gives for `file`, with what each value it may have makes of the
// listing and of the checks.
std::string DoubtsText(const std::vector<ReportedDoubt>& doubts, const std::vector<uint8_t>& image,
                       TargetFormat machine, TextStyle style)
{
    std::string out = "\n";
    char text[96];
    for (const ReportedDoubt& d : doubts) {
        std::string bits;
        for (const int bit : d.Bits) bits += (bits.empty() ? "" : ", ") + std::to_string(bit);
        std::snprintf(text, sizeof text,
                      "? at %zu (byte %zu): read as %02X, %d %% clear, bits %s\n",
                      d.Offset + static_cast<size_t>(ImageStart(machine)), d.Offset, d.Value,
                      static_cast<int>(d.Margin * 100 + 0.5), bits.c_str());
        out += text;
        if (d.Offset >= image.size()) continue;
        for (const ByteChoice& choice : ByteChoices(
                 image, machine, d.Offset, DoubtfulValues(d.Value, d.Bits, d.Readings), style)) {
            std::string checks = "checks pass";
            for (size_t k = 0; k < choice.Failed.size(); ++k) {
                checks = (k == 0 ? "fails: " : checks + ", ") + CheckName(choice.Failed[k]);
            }
            std::snprintf(text, sizeof text, "    %02X%s  ", choice.Value,
                          choice.Value == d.Value ? " (as read)" : "          ");
            out += text + checks + "  " + choice.Item + "\n";
        }
    }
    return out;
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
    std::string report_path;
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
        } else if (options && arg == "--report" && i + 1 < argc) {
            report_path = argv[++i];
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
    std::string report;
    if (!report_path.empty()) {
        std::vector<uint8_t> bytes;
        if (!ReadFile(report_path, LONGEST_REPORT, &bytes)) {
            fprintf(stderr, "zx8xlist: %s: cannot read: %s\n", report_path.c_str(),
                    strerror(errno));
            return 2;
        }
        report.assign(bytes.begin(), bytes.end());
    }
    int status = 0;
    int listed = 0;
    for (size_t k = 0; k < files.size(); ++k) {
        std::vector<uint8_t> image;
        // An image holds at most 64K: anything longer is no image, and is not read further.
        if (!ReadFile(files[k], LONGEST_IMAGE, &image)) {
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
        if (report_path.empty()) continue;
        std::vector<ReportedDoubt> doubts;
        std::string why;
        if (!ReportedDoubts(report, files[k], &doubts, &why)) {
            fprintf(stderr, "zx8xlist: %s: %s\n", report_path.c_str(), why.c_str());
            status = 2;
        } else if (!doubts.empty()) {
            fputs(DoubtsText(doubts, image, target, style).c_str(), stdout);
        }
    }
    if (fflush(stdout) != 0) return 2;
    return status;
}
