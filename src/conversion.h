// The state of one conversion, shared by the driver and the subsystems, and its limits.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "zx/machine.h"

/// Longest path whose name the tape-name rules are written for; longer paths are handled whole
/// all the same.
constexpr int MAX_PATH_LENGTH = 200;
/// Largest image there can be: the ZX81/ZX80 RAM a program can occupy, in bytes.
constexpr int MAX_P_FILE_SIZE = LONGEST_IMAGE;
/// Longest tape name, in characters.
constexpr int MAX_ZXNAME_LENGTH = 8;

/// Target of this conversion: set by the options, by format detection and by a ".p" extension.
extern TargetFormat targetFormat;
/// Tape name, at most MAX_ZXNAME_LENGTH characters; empty until an option or the input path fills
/// it.
extern std::string zxFileName;
/// Output path derived from the input path.
extern std::string outFileName;
/// Input image buffer, MAX_P_FILE_SIZE bytes while held.
extern std::unique_ptr<uint8_t[]> pFile;
/// Progress switch: progress lines are printed on standard output while it is 1.
extern uint8_t verbose;
