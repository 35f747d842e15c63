// Where recovered programs go: their file names, and files written without replacing any.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

/// A ZX81 program's file name: its tape name (ZX81 character codes) in lower case, each
/// character other than a letter, a digit, '-' or '.' as '_' (and a leading '.' too), plus ".p".
std::string Zx81FileName(const std::vector<uint8_t>& tape_name);

/// The base name of the recording at `path` without its extension ("stdin" for "-"): the stem of
/// the files named after the recording.
std::string RecordingStem(const std::string& path);

/// The `n`-th ZX80 program's file name: the recording's base name without its extension, "-n.o".
std::string Zx80FileName(const std::string& recording_path, int n);

/// Writes `bytes` to a new file in `directory` named `name`, or, where a file of that name
/// exists, `name` with "-2", "-3", ... before its extension: no file is ever replaced. Sets
/// *written to the path written. False if the file cannot be written.
bool WriteNewFile(const std::string& directory, const std::string& name,
                  const std::vector<uint8_t>& bytes, std::string* written);
