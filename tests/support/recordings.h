// Recordings made up for the reader's tests: the converter's tape as samples, damaged as a test
// needs, written as a WAV of any of the encodings a recording comes in.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "zx/machine.h"

enum TestEncoding { PCM_8, PCM_16, PCM_24, PCM_32, FLOAT_32, FLOAT_32_EXTENSIBLE, FLOAT_64 };

/// The tape zx8xwav makes for the image, as samples in -1..1 at 22050 per second.
std::vector<double> TapeSamples(const std::vector<uint8_t>& image, TargetFormat target,
                                const std::string& name);
/// The samples at another rate, by linear interpolation.
std::vector<double> Resampled(const std::vector<double>& samples, int from_rate, int to_rate);
/// Writes interleaved samples as a WAV file; false if it cannot be written.
bool WriteTestWav(const std::string& path, const std::vector<double>& samples, int rate,
                  int channels, TestEncoding encoding);
