#include "tape/name_block.h"

#include <cctype>

#include "conversion.h"
#include "tape/signal.h"
#include "zx/charset.h"

namespace {

// The table holds the machine's digits and letters in the order of their codes.
constexpr bool CodeTableMatchesCharacterSet()
{
    for (int k = 0; CODETABLE[k] != '\0'; ++k) {
        const char* shown = ZX81_CHARACTERS[CODE_OF_DIGIT_0 + k];
        if (shown[0] != CODETABLE[k] || shown[1] != '\0') return false;
    }
    return sizeof CODETABLE - 1 == 64 - CODE_OF_DIGIT_0;
}
static_assert(CodeTableMatchesCharacterSet(), "CODETABLE is the ZX81's codes 28 to 63");

// Characters of a tape name: up to its first zero byte, MAX_ZXNAME_LENGTH at most.
size_t TapeNameLength(const std::string& name)
{
    size_t length = 0;
    while (length < name.size() && length < MAX_ZXNAME_LENGTH && name[length] != '\0') ++length;
    return length;
}

}  // namespace

int ConvertAsciiToZxCode(int ascii_char, uint8_t* error_flag)
{
    // toupper is only defined for unsigned byte values; anything else has no code.
    if (ascii_char >= 0 && ascii_char <= 255) {
        const auto upper_ascii_c = static_cast<unsigned char>(std::toupper(ascii_char));
        for (int k = 0; CODETABLE[k] != '\0'; ++k) {
            if (static_cast<unsigned char>(CODETABLE[k]) == upper_ascii_c) {
                return k + CODE_OF_DIGIT_0;
            }
        }
    }
    if (error_flag != nullptr) *error_flag |= 1;
    return 0;
}

bool TapeNameHasCodes(const std::string& name, char* bad_char)
{
    const size_t length = TapeNameLength(name);
    for (size_t i = 0; i < length; ++i) {
        uint8_t err = 0;
        ConvertAsciiToZxCode(static_cast<unsigned char>(name[i]), &err);
        if (err != 0) {
            *bad_char = name[i];
            return false;
        }
    }
    return true;
}

bool NameBlockBytes(const std::string& name, std::vector<uint8_t>* codes, char* bad_char)
{
    codes->clear();
    const size_t length = TapeNameLength(name);
    for (size_t i = 0; i < length; ++i) {
        uint8_t err = 0;
        const auto zxchar =
            static_cast<uint8_t>(ConvertAsciiToZxCode(static_cast<unsigned char>(name[i]), &err));
        if (err != 0) {
            *bad_char = name[i];
            return false;
        }
        codes->push_back(i + 1 == length ? static_cast<uint8_t>(zxchar | 0x80) : zxchar);
    }
    return true;
}

bool OutputNameBlock(char* bad_char)
{
    std::vector<uint8_t> codes;
    const bool whole = NameBlockBytes(zxFileName, &codes, bad_char);
    for (const uint8_t code : codes) OutputByte(code);
    return whole;
}
