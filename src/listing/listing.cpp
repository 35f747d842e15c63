#include "listing/listing.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "image/image.h"
#include "zx/charset.h"

namespace {

// Where a program's parts lie in its image, as offsets.
struct Areas {
    size_t Program = 0;     // the first line
    size_t ProgramEnd = 0;  // the display file (ZX81) or the variables (ZX80)
    size_t Vars = 0;
    size_t End = 0;  // E_LINE: the image's end
};

unsigned Word(const std::vector<uint8_t>& image, size_t offset)
{
    return offset + 1 < image.size() ? static_cast<unsigned>(image[offset] | image[offset + 1] << 8)
                                     : 0u;
}

std::string Bytes(size_t count)
{
    return std::to_string(count) + (count == 1 ? " byte" : " bytes");
}

std::string Hex(unsigned value)
{
    char text[8];
    std::snprintf(text, sizeof text, "0x%04X", value);
    return text;
}

// Text is built as the machine's LIST prints it: a keyword gets a space before it when it
// starts with a letter and the last thing printed was not a keyword's space after it (on the
// ZX80, not any space), and a space after it when it ends in a letter, a digit or "$".
struct Printer {
    TargetFormat Machine = TARGET_ZX81;
    ScreenText* Text = nullptr;
    bool AfterSpace = true;  // a keyword's space was the last thing printed
};

void PutCode(Printer* p, uint8_t code, size_t source)
{
    p->Text->Codes.push_back(code);
    p->Text->Sources.push_back(source);
}

void PutCharacter(Printer* p, uint8_t code, size_t source)
{
    PutCode(p, code, source);
    // On the ZX80 any space before a keyword stands for its own; on the ZX81 only a keyword's.
    p->AfterSpace = p->Machine == TARGET_ZX80 && code == 0;
}

// The letters of a keyword, as character codes.
void PutWord(Printer* p, const char* word, size_t source)
{
    for (const char* c = word; *c != 0; ++c) {
        const int code = CodeOfCharacter(p->Machine, *c);
        PutCode(p, static_cast<uint8_t>(code < 0 ? CodeOfCharacter(p->Machine, '?') : code),
                source);
    }
    p->AfterSpace = false;
}

bool IsAlphanumeric(char c) { return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'); }

// The keyword of a token code; null for codes that are neither character nor keyword.
const char* KeywordOf(TargetFormat machine, uint8_t code)
{
    if (machine == TARGET_ZX80) {
        return code >= ZX80_FIRST_KEYWORD ? ZX80_KEYWORDS[code - ZX80_FIRST_KEYWORD] : nullptr;
    }
    if (code >= 0xC0) return ZX81_KEYWORDS[code - 0xC0];
    if (code >= 0x40 && code < 0x40 + 3) return ZX81_FUNCTIONS[code - 0x40];
    return nullptr;
}

// Prints one byte of BASIC text: a character, a keyword with its spaces, or "?" for a code the
// machine has no use for.
void PutByte(Printer* p, uint8_t code, size_t source)
{
    if (CharacterOf(p->Machine, code) != nullptr) {
        PutCharacter(p, code, source);
        return;
    }
    if (p->Machine != TARGET_ZX80 && code == ZX81_CURSOR) {
        // The cursor leaves the memory of a keyword's space as it was.
        PutCode(p, static_cast<uint8_t>(INVERSE | (CODE_OF_LETTER_A + 'K' - 'A')), source);
        return;
    }
    const char* word = KeywordOf(p->Machine, code);
    if (word == nullptr) {
        PutWord(p, "?", source);
        return;
    }
    const bool zx81 = p->Machine != TARGET_ZX80;
    // The ZX81 spaces only its keywords from 0xD8 on before, and none of its 0x40-0x42 functions.
    const bool lead = IsAlphanumeric(word[0]) && (!zx81 || code >= 0xD8);
    if (lead && !p->AfterSpace) PutCode(p, 0, source);
    PutWord(p, word, source);
    const char last = word[std::string(word).size() - 1];
    const bool trail = (IsAlphanumeric(last) || last == '$') && (!zx81 || code >= 0xC0);
    if (trail) {
        PutCode(p, 0, source);
        p->AfterSpace = true;
    }
}

// A ZX81 floating-point number: an exponent byte and four bytes of mantissa, the first bit of
// which is the sign (the mantissa's top bit, always 1, is not stored). Exponent 0 is zero.
double Zx81Number(const uint8_t* bytes)
{
    if (bytes[0] == 0) return 0.0;
    const uint32_t mantissa =
        static_cast<uint32_t>(bytes[1] << 24 | bytes[2] << 16 | bytes[3] << 8 | bytes[4]);
    const double value =
        std::ldexp(static_cast<double>(mantissa | 0x80000000u), bytes[0] - 128 - 32);
    return (mantissa & 0x80000000u) != 0 ? -value : value;
}

// A number as the ZX81 prints it: up to eight significant digits, no leading zero before the
// point, and an exponent where the number is very large or very small.
std::string NumberText(double value)
{
    if (value == 0) return "0";
    char text[40];
    const double size = std::fabs(value);
    if (size >= 1e-5 && size < 1e8) {
        std::snprintf(text, sizeof text, "%.8g", value);
    } else {
        std::snprintf(text, sizeof text, "%.7E", value);
        std::string s = text;  // d.ddddddddE+xx: drop trailing zeros and the exponent's zeros
        const size_t e = s.find('E');
        std::string mantissa = s.substr(0, e), exponent = s.substr(e + 1);
        while (mantissa.back() == '0') mantissa.pop_back();
        if (mantissa.back() == '.') mantissa.pop_back();
        const char sign = exponent[0];
        exponent = exponent.substr(1);
        while (exponent.size() > 1 && exponent[0] == '0') exponent.erase(0, 1);
        std::snprintf(text, sizeof text, "%sE%c%s", mantissa.c_str(), sign, exponent.c_str());
    }
    std::string s = text;
    if (s.rfind("0.", 0) == 0) s.erase(0, 1);
    if (s.rfind("-0.", 0) == 0) s.erase(1, 1);
    return s;
}

// Appends plain ASCII text (digits, letters, punctuation) as character codes.
void PutText(ScreenText* text, TargetFormat machine, const std::string& ascii, size_t source)
{
    for (const char c : ascii) {
        const int code = CodeOfCharacter(machine, c);
        text->Codes.push_back(static_cast<uint8_t>(code < 0 ? 0 : code));
        text->Sources.push_back(source);
    }
}

// The digits typed before a ZX81 number's hidden value: the characters back to the start of
// the number.
std::string TypedNumber(const ScreenText& text)
{
    std::string typed;
    for (size_t k = text.Codes.size(); k-- > 0;) {
        const uint8_t code = text.Codes[k];
        char c = 0;
        if (code >= CODE_OF_DIGIT_0 && code < CODE_OF_DIGIT_0 + 10)
            c = static_cast<char>('0' + (code - CODE_OF_DIGIT_0));
        if (code == 27) c = '.';
        if (code == CODE_OF_LETTER_A + 4) c = 'E';
        if ((code == 21 || code == 22) && !typed.empty() && typed[0] == 'E')
            c = code == 21 ? '+' : '-';
        if (c == 0) break;
        typed.insert(typed.begin(), c);
    }
    return typed;
}

// A REM's bytes hold machine code when some of them do not show as themselves.
bool IsMachineCode(TargetFormat machine, const std::vector<uint8_t>& image, size_t begin,
                   size_t end)
{
    for (size_t i = begin; i < end; ++i) {
        const uint8_t code = image[i];
        if (CharacterOf(machine, code) != nullptr) continue;
        const char* word = KeywordOf(machine, code);
        if (word == nullptr || word[0] == '?') return true;
    }
    return false;
}

// Lists the line at `offset`; gives the offset after it, or 0 where no line can follow.
size_t ListLine(const std::vector<uint8_t>& image, TargetFormat machine, size_t offset,
                size_t area_end, ListedLine* line)
{
    const bool zx81 = machine != TARGET_ZX80;
    const size_t header = zx81 ? 4 : 2;
    line->Number = image[offset] << 8 | image[offset + 1];
    size_t text = offset + header;
    size_t end = area_end;  // just after the line's NEWLINE, or where it must stop
    if (zx81) {
        const size_t length = Word(image, offset + 2);
        if (text + length > area_end) {
            line->Problems.push_back({offset + 2, "its length of " + std::to_string(length) +
                                                      " bytes runs past the program's end"});
        } else {
            end = text + length;
        }
    } else {
        end = text;
        while (end < area_end && image[end] != NEWLINE) ++end;
        if (end < area_end) ++end;
    }
    line->Bytes = {offset, end};
    if (end == text || image[end - 1] != NEWLINE) {
        line->Problems.push_back({end == 0 ? 0 : end - 1, "it does not end with NEWLINE"});
    }

    Printer printer{machine, &line->Text, true};
    const size_t body_end = end > text && image[end - 1] == NEWLINE ? end - 1 : end;
    const bool rem = text < body_end && image[text] == (zx81 ? ZX81_REM : ZX80_REM);
    size_t i = text;
    for (; i < body_end; ++i) {
        const uint8_t code = image[i];
        if (code == NEWLINE) break;  // LIST stops at the first NEWLINE
        if (zx81 && code == ZX81_NUMBER) {
            // LIST skips the five bytes of the value; the digits typed are what shows.
            if (i + 5 >= body_end) {
                line->Problems.push_back({i, "a number's hidden value is cut off"});
                i = body_end;
                break;
            }
            const double value = Zx81Number(&image[i + 1]);
            const std::string typed = TypedNumber(line->Text);
            const double typed_value = typed.empty() ? NAN : std::strtod(typed.c_str(), nullptr);
            if (!rem && !typed.empty() &&
                !(std::fabs(typed_value - value) <= 1e-6 * std::fabs(typed_value) + 1e-30)) {
                line->Problems.push_back(
                    {i, "the number " + typed + " is stored as " + NumberText(value)});
            }
            i += 5;
            continue;
        }
        PutByte(&printer, code, i);
    }
    if (rem && IsMachineCode(machine, image, text + 1, body_end)) {
        line->MachineCode = {text + 1, body_end};
    } else if (i < body_end) {
        line->Problems.push_back({i, "a NEWLINE inside it hides the rest from LIST"});
    }
    // A keyword's space at the end of a line shows nothing; it is left out.
    if (!line->Text.Codes.empty() && line->Text.Codes.back() == 0 && printer.AfterSpace) {
        line->Text.Codes.pop_back();
        line->Text.Sources.pop_back();
    }
    return end;
}

// The BASIC lines from `areas.Program` to `areas.ProgramEnd`.
void ListLines(const std::vector<uint8_t>& image, TargetFormat machine, const Areas& areas,
               Listing* listing)
{
    const size_t header = machine == TARGET_ZX80 ? 2 : 4;
    size_t offset = areas.Program;
    int previous = -1;
    while (offset < areas.ProgramEnd) {
        if (offset + header > areas.ProgramEnd || image[offset] >= 0x40) {
            listing->Problems.push_back(
                {offset, std::to_string(areas.ProgramEnd - offset) +
                             " bytes before the program's end are no BASIC line"});
            return;
        }
        ListedLine line;
        offset = ListLine(image, machine, offset, areas.ProgramEnd, &line);
        if (line.Number <= previous) {
            line.Problems.push_back({line.Bytes.Begin, "its number is not above the line before"});
        }
        previous = line.Number;
        listing->Lines.push_back(std::move(line));
    }
}

// A variable's name: the first letter from the low five bits of its first byte, more
// characters after it for long names, the last with bit 7 set. Gives the offset after it.
size_t PutName(const std::vector<uint8_t>& image, TargetFormat machine, size_t offset, bool more,
               size_t end, ScreenText* text)
{
    text->Codes.push_back(static_cast<uint8_t>(0x20 | (image[offset] & 0x1F)));
    text->Sources.push_back(offset);
    ++offset;
    while (more && offset < end) {
        text->Codes.push_back(image[offset] & 0x3F);
        text->Sources.push_back(offset);
        if ((image[offset++] & 0x80) != 0) break;
    }
    (void)machine;
    return offset;
}

void PutString(const std::vector<uint8_t>& image, TargetFormat machine, size_t begin, size_t end,
               ScreenText* text)
{
    const int quote = CodeOfCharacter(machine, '"');
    text->Codes.push_back(static_cast<uint8_t>(quote));
    text->Sources.push_back(begin);
    Printer printer{machine, text, true};
    for (size_t i = begin; i < end; ++i) PutByte(&printer, image[i], i);
    text->Codes.push_back(static_cast<uint8_t>(quote));
    text->Sources.push_back(end == begin ? begin : end - 1);
}

// Lists a ZX81 array at `offset`: its length, the dimensions, then the elements, numbers (kind 4)
// or characters (kind 6). Gives the offset after it, as ListZx81Variable does.
size_t ListZx81Array(const std::vector<uint8_t>& image, size_t offset, size_t end,
                     ListedVariable* v)
{
    const int kind = image[offset] >> 5;
    ScreenText& text = v->Text;
    const size_t length = Word(image, offset + 1);
    const size_t next = offset + 3 + length;
    if (next > end || length < 1) return next;
    const size_t dimensions = image[offset + 3];
    const size_t data = offset + 4 + 2 * dimensions;
    if (data > next) return next;
    PutName(image, TARGET_ZX81, offset, false, end, &text);
    PutText(&text, TARGET_ZX81, kind == 6 ? "$(" : "(", offset + 3);
    size_t count = 1;
    for (size_t d = 0; d < dimensions; ++d) {
        const unsigned size = Word(image, offset + 4 + 2 * d);
        count *= size;
        PutText(&text, TARGET_ZX81, (d == 0 ? "" : ",") + std::to_string(size), offset + 4 + 2 * d);
    }
    PutText(&text, TARGET_ZX81, ")=", offset + 3);
    const size_t element = kind == 4 ? 5 : 1;
    if (data + count * element != next) {
        v->Problems.push_back({offset + 1, "its dimensions do not fit its length"});
        count = (next - data) / element;
    }
    if (kind == 4) {
        for (size_t k = 0; k < count; ++k) {
            if (k > 0) PutText(&text, TARGET_ZX81, ",", data + k * 5);
            PutText(&text, TARGET_ZX81, NumberText(Zx81Number(&image[data + k * 5])), data + k * 5);
        }
        return next;
    }
    // Character arrays show as strings, one per row of the last dimension.
    const size_t row = dimensions == 0 ? count : Word(image, offset + 2 + 2 * dimensions);
    for (size_t k = 0; k < count; k += row == 0 ? count : row) {
        if (k > 0) PutText(&text, TARGET_ZX81, ",", data + k);
        PutString(image, TARGET_ZX81, data + k, data + std::min(count, k + row), &text);
    }
    return next;
}

// Lists one ZX81 variable at `offset`; gives the offset after it (past `end` where it runs past
// the variables' end, its text then left empty), or 0 for a byte that starts no kind of variable.
size_t ListZx81Variable(const std::vector<uint8_t>& image, size_t offset, size_t end,
                        ListedVariable* v)
{
    const int kind = image[offset] >> 5;
    ScreenText& text = v->Text;
    auto number = [&](size_t at) {
        PutText(&text, TARGET_ZX81, NumberText(Zx81Number(&image[at])), at);
    };
    size_t next = 0;
    switch (kind) {
        case 3:  // a number with a one-letter name
        case 5:  // a number with a longer name
        {
            const size_t value = PutName(image, TARGET_ZX81, offset, kind == 5, end, &text);
            next = value + 5;
            if (next > end) break;
            PutText(&text, TARGET_ZX81, "=", value);
            number(value);
            break;
        }
        case 2:  // a string: its length, then its characters
        {
            const size_t length = Word(image, offset + 1);
            next = offset + 3 + length;
            if (next > end) break;
            PutName(image, TARGET_ZX81, offset, false, end, &text);
            PutText(&text, TARGET_ZX81, "$=", offset + 1);
            PutString(image, TARGET_ZX81, offset + 3, next, &text);
            break;
        }
        case 4:  // an array of numbers
        case 6:  // an array of characters
            next = ListZx81Array(image, offset, end, v);
            break;
        case 7:  // a FOR loop's variable: value, limit, step, then the line it loops from
        {
            next = offset + 1 + 5 * 3 + 2;
            if (next > end) break;
            PutName(image, TARGET_ZX81, offset, false, end, &text);
            PutText(&text, TARGET_ZX81, "=", offset + 1);
            number(offset + 1);
            v->Note = "FOR loop to " + NumberText(Zx81Number(&image[offset + 6])) + " step " +
                      NumberText(Zx81Number(&image[offset + 11])) + ", repeating from line " +
                      std::to_string(Word(image, offset + 16));
            break;
        }
        default:
            return 0;
    }
    return next;
}

// Lists one ZX80 variable (integers of 16 bits) at `offset`, as ListZx81Variable does.
size_t ListZx80Variable(const std::vector<uint8_t>& image, size_t offset, size_t end,
                        ListedVariable* v)
{
    const int kind = image[offset] >> 5;
    ScreenText& text = v->Text;
    auto integer = [&](size_t at) {
        const int value = static_cast<int16_t>(Word(image, at));
        PutText(&text, TARGET_ZX80, std::to_string(value), at);
    };
    size_t next = 0;
    switch (kind) {
        case 3:  // an integer with a one-letter name
        case 2:  // an integer with a longer name
        {
            const size_t value = PutName(image, TARGET_ZX80, offset, kind == 2, end, &text);
            next = value + 2;
            if (next > end) break;
            PutText(&text, TARGET_ZX80, "=", value);
            integer(value);
            break;
        }
        case 4:  // a string, ended by a quote
        {
            size_t close = offset + 1;
            while (close < end && image[close] != 1) ++close;
            next = close + 1;
            if (next > end) break;
            PutName(image, TARGET_ZX80, offset, false, end, &text);
            PutText(&text, TARGET_ZX80, "$=", offset);
            PutString(image, TARGET_ZX80, offset + 1, close, &text);
            break;
        }
        case 5:  // an array: its highest subscript, then the elements from 0
        {
            if (offset + 2 > end) {
                next = end + 1;
                break;
            }
            const size_t highest = image[offset + 1];
            next = offset + 2 + 2 * (highest + 1);
            if (next > end) break;
            PutName(image, TARGET_ZX80, offset, false, end, &text);
            PutText(&text, TARGET_ZX80, "(" + std::to_string(highest) + ")=", offset + 1);
            for (size_t k = 0; k <= highest; ++k) {
                if (k > 0) PutText(&text, TARGET_ZX80, ",", offset + 2 + 2 * k);
                integer(offset + 2 + 2 * k);
            }
            break;
        }
        case 7:  // a FOR loop's variable: value, limit, then the line it loops from
        {
            next = offset + 7;
            if (next > end) break;
            PutName(image, TARGET_ZX80, offset, false, end, &text);
            PutText(&text, TARGET_ZX80, "=", offset + 1);
            integer(offset + 1);
            v->Note = "FOR loop to " +
                      std::to_string(static_cast<int16_t>(Word(image, offset + 3))) +
                      ", repeating from line " + std::to_string(Word(image, offset + 5));
            break;
        }
        default:
            return 0;
    }
    return next;
}

void ListVariables(const std::vector<uint8_t>& image, TargetFormat machine, const Areas& areas,
                   Listing* listing)
{
    size_t offset = areas.Vars;
    while (offset < areas.End && image[offset] != END_MARKER) {
        ListedVariable v;
        const size_t next = machine == TARGET_ZX80 ? ListZx80Variable(image, offset, areas.End, &v)
                                                   : ListZx81Variable(image, offset, areas.End, &v);
        if (next == 0) {
            v.Problems.push_back(
                {offset, "byte " + Hex(image[offset]).substr(4) + " starts no kind of variable"});
        } else if (next > areas.End) {
            v.Problems.push_back({offset, "it runs past the variables' end"});
        }
        const bool whole = next != 0 && next <= areas.End;
        v.Bytes = {offset, whole ? next : areas.End};
        listing->Variables.push_back(std::move(v));
        if (!whole) return;
        offset = next;
    }
    if (offset + 1 != areas.End) {
        listing->Problems.push_back({offset, offset >= areas.End
                                                 ? "the variables have no end marker"
                                                 : "bytes follow the variables' end marker"});
    }
}

// An address variable: where it points, checked against the image.
bool PointsInside(unsigned address, unsigned start, size_t size)
{
    return address >= start && address <= start + size;
}

}  // namespace

namespace {

// The system variables of a listing's image, read and listed. The image holds every one of them
// (it reaches the program), so each word is there.
struct SystemVariables {
    const std::vector<uint8_t>& Image;
    Listing* Out;
    unsigned Start;  // the image's first address

    size_t OffsetOf(int address) const { return static_cast<size_t>(address) - Start; }
    unsigned Value(int address) const
    {
        return static_cast<unsigned>(ImageWord(Image, Out->Machine, address));
    }
    void Add(const char* name, int address, const std::string& text) const
    {
        Out->System.push_back({name, {OffsetOf(address), OffsetOf(address) + 2}, text});
    }
};

// The display file, between D_FILE and VARS: listed, and its start taken as the program's end.
void ListDisplayFile(const SystemVariables& sv, Areas* areas)
{
    const std::vector<uint8_t>& image = sv.Image;
    const unsigned d_file = sv.Value(ZX81_D_FILE);
    if (!PointsInside(d_file, sv.Start, areas->Vars) || d_file < sv.Start + areas->Program) {
        sv.Out->Problems.push_back({sv.OffsetOf(ZX81_D_FILE),
                                    "D_FILE " + std::to_string(d_file) + " is outside the image"});
        return;
    }
    areas->ProgramEnd = d_file - sv.Start;
    size_t rows = 0;
    size_t row_begin = areas->ProgramEnd;  // the first row holds the display file's first NEWLINE
    for (size_t i = areas->ProgramEnd; i < areas->Vars; ++i) {
        if (image[i] != NEWLINE) continue;
        ++rows;
        if (i == areas->ProgramEnd) continue;
        DisplayRow row{{row_begin, i + 1}, {}};
        for (size_t k = row_begin; k < i; ++k) {
            if (image[k] == NEWLINE) continue;
            // A display file holds characters only; any other byte shows as "?" (code 15).
            row.Text.Codes.push_back((image[k] & 0x7F) < 64 ? image[k] : 15);
            row.Text.Sources.push_back(k);
        }
        sv.Out->DisplayRows.push_back(row);
        row_begin = i + 1;
    }
    const size_t size = areas->Vars - areas->ProgramEnd;
    sv.Add("D_FILE", ZX81_D_FILE,
           std::to_string(d_file) + ": display file, " + Bytes(size) + ", " +
               (size == 1 + 24 * 33 ? "full" : "collapsed") + ", " +
               std::to_string(rows == 0 ? 0 : rows - 1) + " lines");
}

// Where E_LINE, VARS and (on a ZX81) D_FILE put the program's parts; each listed, and each that
// points outside the image named as a problem.
Areas ListAreas(const SystemVariables& sv, size_t program)
{
    const std::vector<uint8_t>& image = sv.Image;
    Listing& listing = *sv.Out;
    const unsigned start = sv.Start;
    // E_LINE ends the image; the variables end just before it.
    Areas areas;
    areas.Program = program;
    const unsigned e_line = sv.Value(ELineAddress(listing.Machine));
    areas.End = image.size();
    if (!PointsInside(e_line, start, image.size()) || e_line < start + program) {
        listing.Problems.push_back({sv.OffsetOf(ELineAddress(listing.Machine)),
                                    "E_LINE " + std::to_string(e_line) + " is outside the image"});
    } else {
        areas.End = e_line - start;
    }
    std::string e_line_text = std::to_string(e_line) + ": the image ends here, " + Bytes(areas.End);
    // Bytes a file holds after E_LINE never reach the machine: a loader stops at E_LINE.
    if (areas.End < image.size()) {
        e_line_text += "; " + Bytes(image.size() - areas.End) + " after it that no machine loads";
    }

    const unsigned vars = sv.Value(VarsAddress(listing.Machine));
    areas.Vars = areas.End == 0 ? 0 : areas.End - 1;
    if (!PointsInside(vars, start, areas.End) || vars < start + program) {
        listing.Problems.push_back({sv.OffsetOf(VarsAddress(listing.Machine)),
                                    "VARS " + std::to_string(vars) + " is outside the image"});
    } else {
        areas.Vars = vars - start;
    }
    const std::string vars_text = std::to_string(vars) + ": variables, " +
                                  Bytes(areas.End > areas.Vars ? areas.End - areas.Vars : 0);

    areas.ProgramEnd = areas.Vars;
    if (listing.Machine == TARGET_ZX81) ListDisplayFile(sv, &areas);
    sv.Add("VARS", VarsAddress(listing.Machine), vars_text);
    sv.Add("E_LINE", ELineAddress(listing.Machine), e_line_text);
    return areas;
}

// Program facts worth knowing: where it starts running, the current line, the mode.
void ListProgramFacts(const SystemVariables& sv)
{
    const std::vector<uint8_t>& image = sv.Image;
    Listing& listing = *sv.Out;
    if (listing.Machine != TARGET_ZX81) {
        sv.Add("E_PPC", ZX80_E_PPC, std::to_string(sv.Value(ZX80_E_PPC)) + ": the current line");
        return;
    }
    const unsigned nxtlin = sv.Value(ZX81_NXTLIN);
    std::string autorun = "runs no line when loaded";
    for (const ListedLine& line : listing.Lines) {
        if (line.Bytes.Begin + sv.Start == nxtlin) {
            autorun = "runs line " + std::to_string(line.Number) + " when loaded";
        }
    }
    sv.Add("NXTLIN", ZX81_NXTLIN, std::to_string(nxtlin) + ": " + autorun);
    sv.Add("E_PPC", ZX81_E_PPC, std::to_string(sv.Value(ZX81_E_PPC)) + ": the current line");
    const size_t at_margin = sv.OffsetOf(ZX81_MARGIN);
    const uint8_t margin = image.size() > at_margin ? image[at_margin] : 0;
    listing.System.push_back({"MARGIN",
                              {at_margin, at_margin + 1},
                              std::to_string(margin) + (margin == 55   ? ": a 50 Hz picture"
                                                        : margin == 31 ? ": a 60 Hz picture"
                                                                       : "")});
    const size_t cdflag = sv.OffsetOf(ZX81_CDFLAG);
    if (cdflag < image.size()) {
        listing.System.push_back(
            {"CDFLAG",
             {cdflag, cdflag + 1},
             Hex(image[cdflag]).substr(4) +
                 ((image[cdflag] & 0x40) != 0 ? ": SLOW mode" : ": FAST mode")});
    }
}

}  // namespace

Listing ListImage(const std::vector<uint8_t>& image, TargetFormat machine)
{
    Listing listing;
    listing.Machine = machine == TARGET_ZX80 ? TARGET_ZX80 : TARGET_ZX81;
    const unsigned start = static_cast<unsigned>(ImageStart(listing.Machine));
    const size_t program = static_cast<size_t>(ProgramAddress(listing.Machine)) - start;
    if (image.size() < program) {
        listing.Problems.push_back({image.size(), "the image ends inside the system variables"});
        return listing;
    }
    const SystemVariables sv{image, &listing, start};
    const Areas areas = ListAreas(sv, program);
    ListLines(image, listing.Machine, areas, &listing);
    ListVariables(image, listing.Machine, areas, &listing);
    ListProgramFacts(sv);
    return listing;
}

std::string LineNumberText(int number)
{
    char text[16];
    if (number < 10000) {
        std::snprintf(text, sizeof text, "%4d", number);
    } else {
        std::snprintf(text, sizeof text, "%c%03d", 'A' + number / 1000 - 10, number % 1000);
    }
    return text;
}

bool HasProblems(const Listing& listing)
{
    if (!listing.Problems.empty()) return true;
    for (const ListedLine& line : listing.Lines) {
        if (!line.Problems.empty()) return true;
    }
    for (const ListedVariable& v : listing.Variables) {
        if (!v.Problems.empty()) return true;
    }
    return false;
}
