// The ZX81 name block: the tape name in the machine's own character codes, ahead of the data.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

/// The characters a tape name may hold; the ZX81 code of the one at position k is k + 28.
constexpr char CODETABLE[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";

/// ZX81 code of `ascii_char` (an unsigned byte value), ignoring case. A character without a
/// code gives 0 and sets bit 0 of *error_flag, unless error_flag is null.
int ConvertAsciiToZxCode(int ascii_char, uint8_t* error_flag);

/// Whether every character of the tape name `name` has a ZX81 code. The name ends at its first
/// zero byte, and after MAX_ZXNAME_LENGTH characters at the latest. If not, the first character
/// without one is stored in *bad_char.
bool TapeNameHasCodes(const std::string& name, char* bad_char);

/// The name block of the tape name `name` (at most MAX_ZXNAME_LENGTH characters, to its first zero
/// byte): each character's ZX81 code, the last with bit 7 set. False at the first character
/// without a code, which is stored in *bad_char; *codes then holds the codes of those before it.
bool NameBlockBytes(const std::string& name, std::vector<uint8_t>* codes, char* bad_char);

/// Emits the name block for zxFileName (at most MAX_ZXNAME_LENGTH characters): one byte per
/// character, the last with bit 7 set. False at the first character without a code, which is
/// stored in *bad_char; the bytes of the characters before it have been emitted by then.
bool OutputNameBlock(char* bad_char);
