// Writing the WAV while its signal is still being generated: a second thread writes the samples
// as the generator finishes them, so that copying into the file overlaps making the signal.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <thread>

struct WavStream {
    FILE* Stream = nullptr;
    const uint8_t* Samples = nullptr;
    std::thread Writer;
    std::atomic<bool> Done{false};
    int64_t Written = 0;  // samples the writer wrote
};

/// Starts writing, to `stream` (which must allow seeking back to its start), room for the header
/// and then each sample of `samples` below wavReady as the generator publishes it. False where
/// no second thread can be had: the caller then writes the whole file at the end, as usual.
bool StartWavStream(WavStream* wav, FILE* stream, const uint8_t* samples);

/// Waits for the writer, writes the samples it has not written up to `wavsize`, then the header
/// at the start, and flushes. False if any byte failed to reach the file.
bool FinishWavStream(WavStream* wav, int32_t wavsize);

/// Stops the writer after a failed conversion; what it wrote is the caller's to discard.
void AbandonWavStream(WavStream* wav);
