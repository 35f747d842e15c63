// A recording kept whole as a TZX file: the programs read as the machines' own blocks, with
// their exact bytes, and everything else on the tape as it sounded.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "read/capture.h"
#include "read/program.h"

/// The bytes a program block holds: a ZX81's name (bit 7 set on its last code), then the image.
std::vector<uint8_t> TapeBytes(const TapeProgram& program);

/// The tape a recording holds as a TZX file: a hardware block and an archive info block (the
/// first program's name, and how the tape was read from `recording`), then in the tape's order
/// every program that passed every check with no byte in doubt as a program block with the
/// silence after it, and everything else louder than the recording's hiss as a direct recording
/// after a text that says what it is and where it was. Replayed, it lasts as long as the
/// recording.
std::vector<uint8_t> TapeArchive(const std::vector<TapeProgram>& programs,
                                 const SignalCapture& capture, const std::string& recording);
