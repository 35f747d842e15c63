#include "listing/report_reader.h"

#include <cmath>
#include <cstdlib>
#include <utility>

#include "files/paths.h"

namespace {

// A JSON value, as far as reading a report needs: numbers, strings, arrays, objects, and the
// literals (null, true, false, kept as JSON_NULL).
enum JsonType { JSON_NULL, JSON_NUMBER, JSON_STRING, JSON_ARRAY, JSON_OBJECT };

struct Json {
    JsonType Type = JSON_NULL;
    double Number = 0.0;
    std::string String;
    std::vector<Json> Items;
    std::vector<std::pair<std::string, Json>> Members;
};

// Nesting deeper than any report holds is refused, so that no input can exhaust the stack.
constexpr int DEEPEST = 32;

struct Parser {
    const std::string& Text;
    size_t At = 0;
};

void SkipSpace(Parser* p)
{
    while (p->At < p->Text.size() && (p->Text[p->At] == ' ' || p->Text[p->At] == '\n' ||
                                      p->Text[p->At] == '\r' || p->Text[p->At] == '\t')) {
        ++p->At;
    }
}

bool Take(Parser* p, char c)
{
    SkipSpace(p);
    if (p->At >= p->Text.size() || p->Text[p->At] != c) return false;
    ++p->At;
    return true;
}

// A string's characters: \uXXXX becomes the character in UTF-8, \n and \t a new line and a tab,
// and any other escaped character stands for itself (\" and \\ among them).
bool ParseString(Parser* p, std::string* out)
{
    if (!Take(p, '"')) return false;
    while (p->At < p->Text.size()) {
        const char c = p->Text[p->At++];
        if (c == '"') return true;
        if (c == '\\' && p->At < p->Text.size()) {
            const char e = p->Text[p->At++];
            if (e == 'u' && p->At + 4 <= p->Text.size()) {
                const long code = std::strtol(p->Text.substr(p->At, 4).c_str(), nullptr, 16);
                p->At += 4;
                if (code < 0x80) {
                    *out += static_cast<char>(code);
                } else if (code < 0x800) {
                    *out += static_cast<char>(0xC0 | (code >> 6));
                    *out += static_cast<char>(0x80 | (code & 0x3F));
                } else {
                    *out += static_cast<char>(0xE0 | (code >> 12));
                    *out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
                    *out += static_cast<char>(0x80 | (code & 0x3F));
                }
            } else {
                *out += e == 'n' ? '\n' : e == 't' ? '\t' : e;
            }
        } else {
            *out += c;
        }
    }
    return false;
}

bool ParseValue(Parser* p, Json* value, int depth)
{
    if (depth > DEEPEST) return false;
    SkipSpace(p);
    if (p->At >= p->Text.size()) return false;
    const char c = p->Text[p->At];
    if (c == '"') {
        value->Type = JSON_STRING;
        return ParseString(p, &value->String);
    }
    if (c == '[') {
        value->Type = JSON_ARRAY;
        ++p->At;
        if (Take(p, ']')) return true;
        do {
            value->Items.emplace_back();
            if (!ParseValue(p, &value->Items.back(), depth + 1)) return false;
        } while (Take(p, ','));
        return Take(p, ']');
    }
    if (c == '{') {
        value->Type = JSON_OBJECT;
        ++p->At;
        if (Take(p, '}')) return true;
        do {
            value->Members.emplace_back();
            SkipSpace(p);
            if (!ParseString(p, &value->Members.back().first) || !Take(p, ':') ||
                !ParseValue(p, &value->Members.back().second, depth + 1)) {
                return false;
            }
        } while (Take(p, ','));
        return Take(p, '}');
    }
    for (const char* literal : {"null", "true", "false"}) {
        const std::string word = literal;
        if (p->Text.compare(p->At, word.size(), word) == 0) {
            p->At += word.size();
            return true;
        }
    }
    const char* begin = p->Text.c_str() + p->At;
    char* end = nullptr;
    value->Type = JSON_NUMBER;
    value->Number = std::strtod(begin, &end);
    if (end == begin || !std::isfinite(value->Number)) return false;
    p->At += static_cast<size_t>(end - begin);
    return true;
}

const Json* Member(const Json& object, const char* name, JsonType type)
{
    for (const auto& member : object.Members) {
        if (member.first == name && member.second.Type == type) return &member.second;
    }
    return nullptr;
}

// A whole number in [0, limit], or -1.
long WholeNumber(const Json& value, double limit)
{
    if (value.Type != JSON_NUMBER || value.Number < 0 || value.Number > limit ||
        value.Number != std::floor(value.Number)) {
        return -1;
    }
    return static_cast<long>(value.Number);
}

bool ReadDoubt(const Json& entry, ReportedDoubt* doubt)
{
    const Json* offset = Member(entry, "offset", JSON_NUMBER);
    const Json* value = Member(entry, "value", JSON_NUMBER);
    const Json* margin = Member(entry, "margin", JSON_NUMBER);
    const Json* bits = Member(entry, "doubtful_bits", JSON_ARRAY);
    if (offset == nullptr || value == nullptr || bits == nullptr) return false;
    // An image holds at most 64K bytes.
    const long at = WholeNumber(*offset, 65535);
    const long byte = WholeNumber(*value, 255);
    if (at < 0 || byte < 0) return false;
    doubt->Offset = static_cast<size_t>(at);
    doubt->Value = static_cast<uint8_t>(byte);
    doubt->Margin = margin != nullptr ? margin->Number : 0.0;
    for (const Json& bit : bits->Items) {
        const long b = WholeNumber(bit, 7);
        if (b < 0) return false;
        doubt->Bits.push_back(static_cast<int>(b));
    }
    if (const Json* readings = Member(entry, "readings", JSON_ARRAY)) {
        for (const Json& reading : readings->Items) {
            doubt->Readings.push_back(static_cast<int>(WholeNumber(reading, 255)));
        }
    }
    return true;
}

// The repairs a report's program offers; false if one cannot be read.
bool ReadSlips(const Json& program, std::vector<BitSlip>* slips)
{
    slips->clear();
    const Json* list = Member(program, "bit_slips", JSON_ARRAY);
    for (size_t k = 0; list != nullptr && k < list->Items.size(); ++k) {
        const Json* bit = Member(list->Items[k], "bit", JSON_NUMBER);
        const Json* change = Member(list->Items[k], "change", JSON_STRING);
        if (bit == nullptr || change == nullptr || bit->Number < 0 || bit->Number > 1e9)
            return false;
        BitSlip slip;
        slip.Bit = static_cast<size_t>(bit->Number);
        const Json* flip = Member(list->Items[k], "flip", JSON_NUMBER);
        if (flip != nullptr && flip->Number >= 0 && flip->Number <= 1e9) {
            slip.Flip = static_cast<size_t>(flip->Number);
        }
        if (change->String == "insert 0") {
            slip.Change = SLIP_INSERT_0;
        } else if (change->String == "insert 1") {
            slip.Change = SLIP_INSERT_1;
        } else if (change->String == "remove") {
            slip.Change = SLIP_REMOVE;
        } else {
            return false;
        }
        slips->push_back(slip);
    }
    return true;
}

}  // namespace

bool ReportedDoubts(const std::string& json, const std::string& file,
                    std::vector<ReportedDoubt>* doubts, std::string* error,
                    std::vector<BitSlip>* slips)
{
    Json report;
    Parser parser{json};
    const Json* programs = nullptr;
    if (ParseValue(&parser, &report, 0) && report.Type == JSON_OBJECT) {
        programs = Member(report, "programs", JSON_ARRAY);
    }
    if (programs == nullptr) {
        *error = "not a report written by zx8xread";
        return false;
    }
    const Json* found = nullptr;
    for (const bool whole_path : {true, false}) {
        for (const Json& program : programs->Items) {
            const Json* written = Member(program, "file", JSON_STRING);
            if (found == nullptr && written != nullptr &&
                (whole_path ? written->String == file
                            : BaseName(written->String) == BaseName(file))) {
                found = &program;
            }
        }
    }
    if (found == nullptr) {
        *error = "the report names no program written as " + BaseName(file);
        return false;
    }
    doubts->clear();
    if (const Json* list = Member(*found, "doubtful_bytes", JSON_ARRAY)) {
        for (const Json& entry : list->Items) {
            ReportedDoubt doubt;
            if (!ReadDoubt(entry, &doubt)) {
                *error = "a doubtful byte in the report cannot be read";
                return false;
            }
            doubts->push_back(doubt);
        }
    }
    if (slips != nullptr && !ReadSlips(*found, slips)) {
        *error = "a repair of a lost bit in the report cannot be read";
        return false;
    }
    return true;
}
