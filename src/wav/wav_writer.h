// The output file: a RIFF/WAVE file with one PCM format chunk (8-bit unsigned, mono,
// sampleRate samples per second) and one data chunk holding the samples unchanged.
#pragma once

#include <cstdint>
#include <cstdio>

/// Size of the header in front of the samples, in bytes.
constexpr int WAV_HEADER_SIZE = 44;

/// Writes the low `bytes` bytes of `val`, least significant first.
void WriteInt(FILE* wrfile, int32_t val, int bytes);
/// Writes the 44-byte header for `wavsize` samples. Errors are left in the stream's error flag.
void WriteWavHeader(FILE* wrfile, int32_t wavsize);
/// Writes the header and `wavsize` samples and flushes the stream. False if any byte failed to
/// reach the file; closing the stream (and checking that) is the caller's.
bool WriteWavFile(FILE* wrfile, const uint8_t* samples, int32_t wavsize);
