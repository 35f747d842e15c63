#include "tape/name_block.h"

#include <cctype>

#include "conversion.h"
#include "tape/signal.h"

int ConvertAsciiToZxCode(int ascii_char, uint8_t* error_flag)
{
    // toupper is only defined for unsigned byte values; anything else has no code.
    if (ascii_char >= 0 && ascii_char <= 255) {
        const auto upper_ascii_c = static_cast<unsigned char>(std::toupper(ascii_char));
        for (int k = 0; CODETABLE[k] != '\0'; ++k) {
            if (static_cast<unsigned char>(CODETABLE[k]) == upper_ascii_c) return k + 28;
        }
    }
    if (error_flag != nullptr) *error_flag |= 1;
    return 0;
}

bool OutputNameBlock(char* bad_char)
{
    // The name ends at its first zero byte, and after MAX_ZXNAME_LENGTH characters at the latest.
    size_t length = 0;
    while (length < zxFileName.size() && length < MAX_ZXNAME_LENGTH && zxFileName[length] != '\0') {
        ++length;
    }
    for (size_t i = 0; i < length; ++i) {
        uint8_t err = 0;
        const auto zxchar = static_cast<uint8_t>(
            ConvertAsciiToZxCode(static_cast<unsigned char>(zxFileName[i]), &err));
        if (err != 0) {
            *bad_char = zxFileName[i];
            return false;
        }
        OutputByte(i + 1 == length ? static_cast<uint8_t>(zxchar | 0x80) : zxchar);
    }
    return true;
}
