// The output file: a RIFF/WAVE file with one PCM format chunk (8-bit unsigned, mono,
// sampleRate samples per second) and one data chunk holding the samples unchanged.
#pragma once

#include <cstdint>
#include <cstdio>

/// Size of the header in front of the samples, in bytes.
constexpr int WAV_HEADER_SIZE = 44;

/// Writes the low `bytes` bytes of `val`, least significant first.
void WriteInt(FILE* wrfile, int32_t val, int bytes);
/// The kinds of sample a WAV's format chunk names.
constexpr int WAV_PCM = 1;
constexpr int WAV_FLOAT = 3;
/// Writes a 44-byte header for `data_bytes` bytes of `channels` interleaved channels of `bits`-bit
/// samples of kind `format`, `rate` frames per second. Errors are left in the stream's error flag.
void WriteWavHeaderOf(FILE* wrfile, int format, int channels, int rate, int bits,
                      uint32_t data_bytes);
/// Writes the 44-byte header of the converter's WAV (8-bit PCM, mono, sampleRate) for `wavsize`
/// samples.
void WriteWavHeader(FILE* wrfile, int32_t wavsize);
/// Writes the header and `wavsize` samples and flushes the stream. False if any byte failed to
/// reach the file; closing the stream (and checking that) is the caller's.
bool WriteWavFile(FILE* wrfile, const uint8_t* samples, int32_t wavsize);
