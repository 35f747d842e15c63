// The output path and the tape name, derived from the input path.
#pragma once

#include <string>

/// From the input path: sets outFileName to the path up to the last dot of its base name (the
/// whole path if there is none, or only one at position 0 of the path) plus "_ZX80" for a ZX80
/// target and ".wav" (empty for an empty path); sets targetFormat to TARGET_ZX81 when the path
/// ends in a lower-case ".p"; and, unless zxFileName is already set, sets it to the base name
/// without extension in upper case, or empties it when that is longer than MAX_ZXNAME_LENGTH
/// characters. Both '\' and '/' separate directories (on Windows, so does a drive's ':').
void TransferFileNames(const char* infilename);

/// Whether the two paths name the same file: the same text, or, where both exist, the same
/// file reached another way (another case on a case-insensitive file system, a link).
bool NameTheSameFile(const std::string& path_a, const std::string& path_b);
