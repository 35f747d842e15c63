#include "read/program.h"

#include <algorithm>

#include "zx/charset.h"

namespace {

// Longest name a block may start with: the machine allows long ones.
constexpr size_t LONGEST_NAME = 64;

// The 16-bit little-endian word at memory address `address` of an image starting at `start`;
// -1 if the image does not hold it.
int WordAt(const std::vector<uint8_t>& image, int start, int address)
{
    const auto at = static_cast<size_t>(address - start);
    if (address < start || at + 1 >= image.size()) return -1;
    return image[at] | image[at + 1] << 8;
}

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

std::vector<std::string> FailedChecks(TargetFormat machine, const std::vector<uint8_t>& image,
                                      size_t expected_size)
{
    std::vector<std::string> failed;
    if (machine == TARGET_ZX81 && (image.empty() || image[0] != 0)) failed.push_back("VERSN");

    const int start = ImageStart(machine);
    const int end = start + static_cast<int>(image.size());
    const int program = ProgramAddress(machine);
    const int vars = WordAt(image, start, VarsAddress(machine));
    const int d_file = machine == TARGET_ZX81 ? WordAt(image, start, ZX81_D_FILE) : program;
    const int df_cc = machine == TARGET_ZX81 ? WordAt(image, start, ZX81_DF_CC) : program;
    const bool pointers = program <= d_file && d_file <= df_cc && df_cc <= vars && vars < end &&
                          end <= start + static_cast<int>(expected_size);
    if (!pointers) failed.push_back("pointers");
    if (image.empty() || image.back() != END_MARKER) failed.push_back("end marker");
    if (machine == TARGET_ZX81 && (!pointers || !Zx81DisplayFile(image, d_file, vars))) {
        failed.push_back("display file");
    }
    const bool lines =
        pointers && LinesChain(image, start, program, machine == TARGET_ZX81 ? d_file : vars,
                               machine == TARGET_ZX81);
    if (!lines) failed.push_back("BASIC lines");
    if (image.size() < expected_size) failed.push_back("truncated");
    return failed;
}

namespace {

// Reads the block as a program of `machine`; false if it cannot be one at all.
bool ReadAs(const TapeBlock& block, TargetFormat machine, TapeProgram* program)
{
    *program = TapeProgram{};
    program->Kind = machine;
    program->Start = block.Start;
    size_t first = 0;
    if (machine == TARGET_ZX81) {
        // The name: characters with bit 7 clear, the last one with it set.
        while (first < block.Bytes.size() && first < LONGEST_NAME && block.Bytes[first] < 0x80)
            ++first;
        if (first >= block.Bytes.size() || first >= LONGEST_NAME) return false;
        program->Name.assign(block.Bytes.begin(),
                             block.Bytes.begin() + static_cast<long>(first) + 1);
        program->Name.back() &= 0x7F;
        ++first;
    }
    const int start = ImageStart(machine);
    const int e_line_at = ELineAddress(machine) - start;
    if (block.Bytes.size() < first + static_cast<size_t>(e_line_at) + 2) return false;
    const int e_line = block.Bytes[first + static_cast<size_t>(e_line_at)] |
                       block.Bytes[first + static_cast<size_t>(e_line_at) + 1] << 8;
    if (e_line - start < e_line_at + 2) return false;
    const auto size = static_cast<size_t>(e_line - start);
    const size_t last = std::min(block.Bytes.size(), first + size);
    program->Image.assign(block.Bytes.begin() + static_cast<long>(first),
                          block.Bytes.begin() + static_cast<long>(last));
    program->End = block.ByteEnds[last - 1];
    program->Margin = *std::min_element(block.ByteMargins.begin(),
                                        block.ByteMargins.begin() + static_cast<long>(last));
    program->Failed = FailedChecks(machine, program->Image, size);
    return true;
}

}  // namespace

bool ProgramInBlock(const TapeBlock& block, TargetFormat machine, TapeProgram* program)
{
    if (machine != TARGET_UNKNOWN) return ReadAs(block, machine, program);
    TapeProgram zx81;
    TapeProgram zx80;
    const bool is_zx81 = ReadAs(block, TARGET_ZX81, &zx81);
    const bool is_zx80 = ReadAs(block, TARGET_ZX80, &zx80);
    if (!is_zx81 && !is_zx80) return false;
    if (is_zx81 != is_zx80) {
        *program = is_zx81 ? zx81 : zx80;
        return true;
    }
    // Both readings are possible. A name of characters followed by VERSN 0 is a ZX81's; else a
    // reading whose E_LINE lies beyond the block is most likely the wrong one; then the one that
    // passes more checks wins, and the ZX81 one if they tie.
    const bool named =
        std::all_of(zx81.Name.begin(), zx81.Name.end(), [](uint8_t c) { return c < 64; });
    auto penalty = [](const TapeProgram& p) {
        const bool cut = std::find(p.Failed.begin(), p.Failed.end(), "truncated") != p.Failed.end();
        return p.Failed.size() + (cut ? 100 : 0);
    };
    if (named && !zx81.Image.empty() && zx81.Image[0] == 0) {
        *program = zx81;
    } else {
        *program = penalty(zx80) < penalty(zx81) ? zx80 : zx81;
    }
    return true;
}

char NameCharacter(uint8_t code)
{
    // Graphics and the pound sign have no ASCII form; codes above 63 are keywords or controls.
    const char* shown = CharacterOf(TARGET_ZX81, code);
    return shown != nullptr && shown[1] == '\0' ? shown[0] : '?';
}
