// A whole recording read into the programs on it: every channel read on its own, as samples
// arrive, and the channels' readings of each program combined.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "read/burst_detector.h"
#include "read/framer.h"
#include "read/program.h"

/// The reading of one recording, fed its samples as they come.
struct RecordingReader {
    TargetFormat Machine = TARGET_UNKNOWN;
    int Channels = 0;
    double Rate = 0;
    int64_t Frames = 0;  // fed so far
    std::vector<BurstDetector> Detectors;
    std::vector<Framer> Framers;
    std::vector<std::vector<TapeProgram>> Found;  // per channel, in order
};

/// Prepares to read `channels` interleaved channels at `rate` frames per second, as programs
/// for `machine` (TARGET_UNKNOWN: each program's machine is found from its bytes).
void StartReader(RecordingReader* reader, int channels, double rate, TargetFormat machine);
/// Reads `frames` frames of interleaved samples in -1..1.
void FeedReader(RecordingReader* reader, const float* samples, int64_t frames);
/// The recording has ended.
void FinishReader(RecordingReader* reader);
/// The programs read so far, in order, each channel's reading of the same stretch of tape
/// combined into one.
std::vector<TapeProgram> ReaderPrograms(const RecordingReader* reader);

/// What a recording is, as far as reading it showed.
struct RecordingInfo {
    int Rate = 0;  // frames per second
    int Channels = 0;
    double Seconds = 0;
    std::string Warning;  // why a recording that could be read is damaged (a truncated WAV)
};

/// Reads every program in the recording at `path` ("-" for standard input), in order, streaming
/// it a block at a time and reading it only once. False with *error set if it cannot be read
/// at all.
bool ReadRecording(const std::string& path, TargetFormat machine,
                   std::vector<TapeProgram>* programs, std::string* error, RecordingInfo* info);
