// An independent reader of the WAV files the program writes: parses the RIFF structure field
// by field, without using the writer's code, so tests can check a file against the format.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct WavContents {
    std::string Error;  // empty when the file is a well-formed PCM WAV
    uint32_t RiffSize = 0;
    uint16_t FormatTag = 0;
    uint16_t Channels = 0;
    uint32_t SampleRate = 0;
    uint32_t ByteRate = 0;
    uint16_t BlockAlign = 0;
    uint16_t BitsPerSample = 0;
    std::vector<uint8_t> Samples;
};

/// Reads a whole file into memory; empty if it cannot be read.
std::vector<uint8_t> ReadWholeFile(const std::string& path);
/// Parses the bytes of a WAV file; WavContents::Error says what is wrong, if anything.
WavContents ParseWav(const std::vector<uint8_t>& bytes);
