// The signal's duration, estimated from the image before it is generated, to size the buffer.
#pragma once

#include <cstdint>

/// Upper bound of the whole signal's duration for this image, in seconds: lead-in, a name block
/// of up to eight characters, the data and lead-out. Prints the image's bit counts while
/// verbose is on.
double EstimateWavDuration(const uint8_t* file, int filesize);

/// Sample buffer size, in bytes, for a signal estimated at `maxdur` seconds: sampleRate x maxdur
/// truncated, plus 20.
int32_t SampleBufferSize(double maxdur);
