// The program's conversion without the files: the sample buffer sized by the estimate, then the
// whole tape for the current targetFormat and zxFileName.
#pragma once

#include <cstdint>
#include <vector>

/// Allocates the sample buffer the estimate asks for and emits the tape into it. False if the
/// buffer cannot be had or the tape name holds a character without a ZX81 code.
bool ConvertInMemory(const std::vector<uint8_t>& image);
