// The program's conversion without the files: the sample buffer sized by the estimate, then the
// whole tape for the current targetFormat and zxFileName.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "conversion.h"

/// Allocates the sample buffer the estimate asks for and emits the tape into it. False if the
/// buffer cannot be had or the tape name holds a character without a ZX81 code.
bool ConvertInMemory(const std::vector<uint8_t>& image);

/// The same for the given target and tape name, without progress lines; the conversion state
/// is left as it was before. The samples are in wavFile, wavCounter of them.
bool ConvertTapeInMemory(const std::vector<uint8_t>& image, TargetFormat target,
                         const std::string& name);
