// Recordings read as audio, a block of frames at a time, each channel as floats in -1..1.
//
// WAV files (PCM of 8, 16, 24 or 32 bits, 32- or 64-bit float, plain or WAVE_FORMAT_EXTENSIBLE)
// are read by this program itself, from the start to the end in one pass, so that a pipe or
// standard input works as well as a file. Where the build has libsndfile, every other format it
// knows (FLAC, Ogg, MP3, AIFF ...) is read through it. The input is read once: nothing is opened
// twice.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

struct Recording {
    FILE* File = nullptr;  // the input ("-" is standard input, which is not closed)
    bool OwnsFile = false;
    FILE* Spool = nullptr;    // a piped recording the library reads from a temporary copy
    void* Library = nullptr;  // libsndfile's handle, for formats other than WAV
    int Channels = 0;
    int Rate = 0;  // frames per second

    // A WAV file's samples: their encoding, and the bytes of the data chunk declared and read.
    int Encoding = 0;
    int FrameBytes = 0;
    bool LengthKnown = false;
    uint64_t Declared = 0;
    uint64_t DataRead = 0;
    std::vector<uint8_t> Raw;

    std::string Truncation;  // why the file is shorter than it declares, once that is known
};

/// Opens `path` ("-" for standard input) for reading. False with *error set to a message (without
/// the path) if it cannot be read or is no recording this program can read.
bool OpenRecording(const std::string& path, Recording* recording, std::string* error);

/// The same for a stream already open, read from where it stands; `owns` closes it with the
/// recording. A stream that cannot seek (a pipe) is read through once.
bool OpenRecordingStream(FILE* stream, bool owns, Recording* recording, std::string* error);

/// Reads up to `frames` frames into `samples` (interleaved channels). Returns the frames read:
/// 0 at the end of the recording, when Truncation tells whether it ended early.
int64_t ReadFrames(Recording* recording, std::vector<float>* samples, int64_t frames);

void CloseRecording(Recording* recording);

/// Whether a file that begins with these bytes is a WAV file, which this program reads itself
/// (everything else needs libsndfile).
bool IsWavHeader(const unsigned char* head, size_t size);

/// The most channels a recording may have.
constexpr int MOST_CHANNELS = 8;

/// The lowest sample rate that carries the pulses: below it they cannot be told apart.
constexpr int LOWEST_RATE = 8000;
