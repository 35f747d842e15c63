// zx8xlist: shows what is inside ZX81 and ZX80 program images: the system variables that
// matter, the BASIC program as the machine's LIST shows it, and the variables with their values.

#include <algorithm>
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

#include "files/paths.h"
#include "image/detect.h"
#include "image/tape_file.h"
#include "listing/choices.h"
#include "listing/listing.h"
#include "listing/report_reader.h"
#include "listing/text.h"

namespace {

const char USAGE[] =
    "Usage: zx8xlist [--ascii] [-80 | -81] [--report REPORT] FILE...\n"
    "Lists ZX81 (.p, .81) and ZX80 (.o, .80) program images, and every program on a tape file\n"
    "(.p81, .tzx): system variables, BASIC lines as LIST shows them, and variables with their\n"
    "values.\n"
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

// Far more than a tape file holds: a TZX may keep long recordings.
constexpr size_t LONGEST_TAPE_FILE = 64u << 20;

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

// The repairs of a bit lost or gained that the report offers for `image`, with what each makes of
// the listing and of the checks.
std::string SlipsText(const std::vector<BitSlip>& slips, const std::vector<uint8_t>& image,
                      TargetFormat machine, TextStyle style)
{
    std::string out = "\nA bit lost or gained on tape would explain the failed checks:\n";
    char text[96];
    for (const SlipChoice& choice : SlipChoices(image, machine, slips, style)) {
        const size_t offset = choice.Slip.Bit / 8;
        std::string checks = "checks pass";
        for (size_t k = 0; k < choice.Failed.size(); ++k) {
            checks = (k == 0 ? "fails: " : checks + ", ") + CheckName(choice.Failed[k]);
        }
        std::snprintf(text, sizeof text, "~ at %zu (byte %zu, bit %zu): %s  ",
                      offset + static_cast<size_t>(ImageStart(machine)), offset,
                      7 - choice.Slip.Bit % 8, SlipText(choice.Slip.Change));
        out += text;
        if (choice.Slip.Flip != NO_FLIP) {
            out += "and bit " + std::to_string(7 - choice.Slip.Flip % 8) + " of byte " +
                   std::to_string(choice.Slip.Flip / 8) + " turned  ";
        }
        out += checks + "  " + choice.Item + "\n";
    }
    return out;
}

// The machine an image is for: found from its system variables, else from its extension
// (.o and .80 are ZX80 images), else a ZX81.
TargetFormat MachineOf(const std::string& path, const std::vector<uint8_t>& image)
{
    const TargetFormat found = DetectTarget(image.data(), static_cast<int>(image.size()));
    if (found != TARGET_UNKNOWN) return found;
    const std::string extension = LowerExtension(path);
    return extension == ".o" || extension == ".80" ? TARGET_ZX80 : TARGET_ZX81;
}

// An image to list, and the title it is listed under.
struct Listed {
    std::string Title;
    std::vector<uint8_t> Image;
    TargetFormat Machine;
};

// The images in the file at `path`: the file itself, or every program of a tape file, titled
// with its place and name. False, with a message, where the file cannot be listed.
bool ImagesOf(const std::string& path, const std::vector<uint8_t>& bytes, TargetFormat machine,
              std::vector<Listed>* images)
{
    const TapeFileKind kind = TapeFileKindOf(path, bytes.data(), bytes.size());
    if (kind == TAPE_FILE_NONE) {
        if (bytes.size() > LONGEST_IMAGE) {
            fprintf(stderr, "zx8xlist: %s: too large for a program image\n", path.c_str());
            return false;
        }
        images->push_back(
            {path, bytes, machine != TARGET_UNKNOWN ? machine : MachineOf(path, bytes)});
        return true;
    }
    TapeFile tape;
    if (kind == TAPE_FILE_T81) {
        tape.Error = "a .t81 file, a format no document describes";
    } else if (kind == TAPE_FILE_TZX ? ReadTzx(bytes.data(), bytes.size(), &tape)
                                     : ReadP81(bytes.data(), bytes.size(), false, &tape)) {
        if (ProgramCount(tape) == 0) tape.Error = "holds no ZX81 or ZX80 program";
    }
    if (!tape.Error.empty()) {
        fprintf(stderr, "zx8xlist: %s: %s\n", path.c_str(), tape.Error.c_str());
        return false;
    }
    size_t count = 0;
    for (const TapePart& part : tape.Parts) {
        if (part.Kind != PART_PROGRAM || part.Machine == TARGET_UNKNOWN) continue;
        std::string title = path + ", program " + std::to_string(++count);
        if (part.Machine == TARGET_ZX81) title += " \"" + PartName(part) + "\"";
        images->push_back({title, PartImage(part), part.Machine});
    }
    return true;
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
    for (const std::string& file : files) {
        std::vector<uint8_t> bytes;
        if (!ReadFile(file, LONGEST_TAPE_FILE, &bytes)) {
            fprintf(stderr, "zx8xlist: %s: cannot read: %s\n", file.c_str(), strerror(errno));
            status = 2;
            continue;
        }
        std::vector<Listed> images;
        if (!ImagesOf(file, bytes, machine, &images)) {
            status = 2;
            continue;
        }
        for (const Listed& one : images) {
            if (listed++ > 0) fputs("\n", stdout);
            const Listing listing = ListImage(one.Image, one.Machine);
            fputs(ListingText(listing, one.Title, one.Image, style).c_str(), stdout);
            if (HasProblems(listing) && status == 0) status = 1;
            // A report names the .p files zx8xread wrote: a tape file's programs are not among
            // them.
            if (report_path.empty() || one.Title != file) continue;
            std::vector<ReportedDoubt> doubts;
            std::vector<BitSlip> slips;
            std::string why;
            if (!ReportedDoubts(report, file, &doubts, &why, &slips)) {
                fprintf(stderr, "zx8xlist: %s: %s\n", report_path.c_str(), why.c_str());
                status = 2;
                continue;
            }
            if (!doubts.empty())
                fputs(DoubtsText(doubts, one.Image, one.Machine, style).c_str(), stdout);
            if (!slips.empty())
                fputs(SlipsText(slips, one.Image, one.Machine, style).c_str(), stdout);
        }
    }
    if (fflush(stdout) != 0) return 2;
    return status;
}
