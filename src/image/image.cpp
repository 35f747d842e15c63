#include "image/image.h"

#include <string>

namespace {

// Whether the lines from `from` to `to` (memory addresses of an image starting at `start`) are a
// chain of BASIC lines: a line number (big-endian, rising), then on a ZX81 the line's length and
// that many bytes ending with NEWLINE, on a ZX80 the line up to its NEWLINE.
bool LinesChain(const std::vector<uint8_t>& image, int start, int from, int to, bool with_length)
{
    auto byte = [&](int address) { return image[static_cast<size_t>(address - start)]; };
    int previous = -1;
    int at = from;
    while (at < to) {
        if (at + (with_length ? 4 : 3) > to) return false;
        const int number = byte(at) << 8 | byte(at + 1);
        if (number <= previous || number > 0x3FFF) return false;
        if (with_length) {
            const int length = byte(at + 2) | byte(at + 3) << 8;
            if (length < 1 || at + 4 + length > to || byte(at + 3 + length) != NEWLINE)
                return false;
            at += 4 + length;
        } else {
            at += 2;
            while (at < to && byte(at) != NEWLINE) ++at;
            if (at >= to) return false;
            ++at;
        }
        previous = number;
    }
    return at == to;
}

// Whether a ZX81 display file starts at `from` and ends at `to`: NEWLINE, then 24 lines of at
// most 32 characters, each ending in NEWLINE. Programs made with assemblers often have one more,
// empty, line, which the machine does not mind.
bool Zx81DisplayFile(const std::vector<uint8_t>& image, int from, int to)
{
    if (from >= to || image[static_cast<size_t>(from - ZX81_IMAGE_START)] != NEWLINE) return false;
    int at = from + 1;
    int lines = 0;
    while (at < to) {
        int length = 0;
        while (at < to && image[static_cast<size_t>(at - ZX81_IMAGE_START)] != NEWLINE) {
            ++at;
            if (++length > 32) return false;
        }
        if (at >= to) return false;
        ++at;
        ++lines;
    }
    return lines == 24 || lines == 25;
}

}  // namespace

int ImageWord(const uint8_t* image, size_t size, TargetFormat machine, int address)
{
    const int start = ImageStart(machine);
    const auto at = static_cast<size_t>(address - start);
    if (address < start || at + 1 >= size) return -1;
    return image[at] | image[at + 1] << 8;
}

int ELineSize(const uint8_t* image, size_t size, TargetFormat machine)
{
    const int e_line = ImageWord(image, size, machine, ELineAddress(machine));
    return e_line < 0 ? -1 : e_line - ImageStart(machine);
}

const char* CheckName(ImageCheck check)
{
    switch (check) {
        case CHECK_VERSN:
            return "VERSN";
        case CHECK_POINTERS:
            return "pointers";
        case CHECK_END_MARKER:
            return "end marker";
        case CHECK_DISPLAY_FILE:
            return "display file";
        case CHECK_BASIC_LINES:
            return "BASIC lines";
        case CHECK_TRUNCATED:
            return "truncated";
    }
    return "?";
}

std::vector<ImageCheck> FailedChecks(TargetFormat machine, const std::vector<uint8_t>& image,
                                     size_t expected_size)
{
    std::vector<ImageCheck> failed;
    if (machine == TARGET_ZX81 && (image.empty() || image[0] != 0)) failed.push_back(CHECK_VERSN);

    const int start = ImageStart(machine);
    const int end = start + static_cast<int>(image.size());
    const int program = ProgramAddress(machine);
    const int vars = ImageWord(image, machine, VarsAddress(machine));
    const int d_file = machine == TARGET_ZX81 ? ImageWord(image, machine, ZX81_D_FILE) : program;
    const int df_cc = machine == TARGET_ZX81 ? ImageWord(image, machine, ZX81_DF_CC) : program;
    const bool pointers = program <= d_file && d_file <= df_cc && df_cc <= vars && vars < end &&
                          end <= start + static_cast<int>(expected_size);
    if (!pointers) failed.push_back(CHECK_POINTERS);
    if (image.empty() || image.back() != END_MARKER) failed.push_back(CHECK_END_MARKER);
    if (machine == TARGET_ZX81 && (!pointers || !Zx81DisplayFile(image, d_file, vars))) {
        failed.push_back(CHECK_DISPLAY_FILE);
    }
    const bool lines =
        pointers && LinesChain(image, start, program, machine == TARGET_ZX81 ? d_file : vars,
                               machine == TARGET_ZX81);
    if (!lines) failed.push_back(CHECK_BASIC_LINES);
    if (image.size() < expected_size) failed.push_back(CHECK_TRUNCATED);
    return failed;
}
