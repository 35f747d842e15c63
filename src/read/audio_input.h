// Recordings read as audio: any file libsndfile reads (WAV of any PCM or float format, FLAC, Ogg,
// MP3 where the library has it), a block of frames at a time, each channel as floats in -1..1.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct Recording {
    void* File = nullptr;  // the library's handle
    int Channels = 0;
    int Rate = 0;            // frames per second
    std::string Truncation;  // why the file is shorter than it declares, if it is
};

/// Opens `path` for reading. False with *error set to a message (without the path) if the file
/// cannot be read or is no audio file the library knows.
bool OpenRecording(const std::string& path, Recording* recording, std::string* error);

/// Reads up to `frames` frames into `samples` (interleaved channels). Returns the frames read:
/// 0 at the end of the recording.
int64_t ReadFrames(Recording* recording, std::vector<float>* samples, int64_t frames);

void CloseRecording(Recording* recording);
