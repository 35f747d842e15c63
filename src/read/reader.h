// A whole recording read into the blocks and programs on it: every channel read on its own, as
// samples arrive, and the channels' readings of each stretch of tape combined bit by bit.
//
// Each channel is read in three views: the signal filtered (rid of DC and hum, which hears a worn
// tape's faint pulses); the signal through a comparator (the DC kept, as the machine hears it,
// which ignores a lossy copy's ringing in the pauses), its bursts found and counted as the
// filtered signal's are; and the comparator's bursts timed as the machine's loader times them
// (which a copy that smears pulses together does not mislead). The views' readings of each
// stretch are combined bit by bit as channels' are, the surer of each bit winning and the
// margins lowered where they disagree.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "read/audio_input.h"
#include "read/burst_detector.h"
#include "read/capture.h"
#include "read/comparator.h"
#include "read/framer.h"
#include "read/program.h"
#include "read/run_detector.h"

/// The reading of one recording, fed its samples as they come.
struct RecordingReader {
    int Channels = 0;               // in the recording
    std::vector<int> ChannelsRead;  // which of them are read, each with its detector and framer
    double Rate = 0;
    int64_t Frames = 0;  // fed so far
    bool Finished = false;
    std::vector<Comparator> Comparators;  // per channel read
    // Per channel read, the detectors of its filtered and its compared view (2 c and 2 c + 1),
    // and of its timed view.
    std::vector<BurstDetector> Detectors;
    std::vector<RunDetector> Runs;
    // Per view of each channel read: channel c's view v at VIEWS c + v.
    std::vector<Framer> Framers;
    std::vector<std::vector<TapeBlock>> Blocks;  // finished, not yet taken
    // Per channel read, its samples through its comparator, and the same high away from the
    // resting level: channel c's at frames c onwards, for the frames fed last.
    std::vector<float> Compared, Away;
};

/// The views each channel is read in, and where each is among a channel's.
constexpr size_t VIEWS = 3;
constexpr size_t FILTERED_VIEW = 0, COMPARED_VIEW = 1, TIMED_VIEW = 2;

/// Which channels of a recording are read.
constexpr int ALL_CHANNELS = -1;

/// Prepares to read `channels` interleaved channels at `rate` frames per second, with the given
/// settings, writing each burst, bit and block decision to `trace` where it is not null. With
/// `only` (0 the left, 1 the right) just that channel is read; a mono recording's one channel is
/// read whichever is asked for.
void StartReader(RecordingReader* reader, int channels, double rate,
                 const ReaderSettings& settings = ReaderSettings{}, FILE* trace = nullptr,
                 int only = ALL_CHANNELS);
/// Reads `frames` frames of interleaved samples in -1..1.
void FeedReader(RecordingReader* reader, const float* samples, int64_t frames);
/// The recording has ended.
void FinishReader(RecordingReader* reader);
/// Takes the blocks read on every channel so far (all that remain once finished), in order,
/// each stretch of tape that several channels hold combined into one block.
std::vector<TapeBlock> TakeBlocks(RecordingReader* reader);
/// The programs the blocks hold, in order.
std::vector<TapeProgram> ProgramsInBlocks(const std::vector<TapeBlock>& blocks,
                                          TargetFormat machine);

/// What a recording is, as far as reading it showed.
struct RecordingInfo {
    int Rate = 0;  // frames per second
    int Channels = 0;
    double Seconds = 0;
    std::string Warning;  // why a recording that could be read is damaged (a truncated WAV)
};

/// A recording being read, a stretch at a time, reading its file only once.
struct ReadingSession {
    Recording File;
    RecordingReader Reader;
    std::vector<float> Samples;
    int Index = 0;                     // which of the recordings read, for the blocks' sources
    SignalCapture* Capture = nullptr;  // where the signal is kept as it is read, if anywhere
};

/// Opens the recording at `path` ("-" for standard input) to be read with the given settings
/// and trace (see StartReader). False with *error set if it cannot be read at all.
bool OpenReading(const std::string& path, int index, ReadingSession* session, std::string* error,
                 const ReaderSettings& settings = ReaderSettings{}, FILE* trace = nullptr,
                 int only = ALL_CHANNELS);
/// Reads on until blocks are complete, and takes them; false once the recording is read whole
/// and every block was taken.
bool NextBlocks(ReadingSession* session, std::vector<TapeBlock>* blocks);
/// Closes the recording; *info tells what it was.
void CloseReading(ReadingSession* session, RecordingInfo* info);

/// Reads every program in the recording at `path` in order. False with *error set if it cannot
/// be read at all.
bool ReadRecording(const std::string& path, TargetFormat machine,
                   std::vector<TapeProgram>* programs, std::string* error, RecordingInfo* info);
