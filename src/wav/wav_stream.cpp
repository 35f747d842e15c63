#include "wav/wav_stream.h"

#include <chrono>
#include <exception>

#include "tape/signal.h"
#include "wav/wav_writer.h"

namespace {

#ifndef __EMSCRIPTEN__
void WriteAsReady(WavStream* wav)
{
    // The header's counts are known only at the end: its place is kept blank until then.
    static const uint8_t BLANK_HEADER[WAV_HEADER_SIZE] = {};
    fwrite(BLANK_HEADER, 1, sizeof BLANK_HEADER, wav->Stream);
    for (;;) {
        const int64_t ready = wavReady.load(std::memory_order_acquire);
        if (ready > wav->Written) {
            fwrite(wav->Samples + wav->Written, 1, static_cast<size_t>(ready - wav->Written),
                   wav->Stream);
            wav->Written = ready;
        } else if (wav->Done.load(std::memory_order_acquire)) {
            return;
        } else {
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        }
    }
}
#endif

}  // namespace

bool StartWavStream(WavStream* wav, FILE* stream, const uint8_t* samples)
{
#ifdef __EMSCRIPTEN__
    (void)wav;
    (void)stream;
    (void)samples;
    return false;  // a page's program has no second thread
#else
    wav->Stream = stream;
    wav->Samples = samples;
    wav->Written = 0;
    wav->Done.store(false);
    wavReady.store(0, std::memory_order_release);
    try {
        wav->Writer = std::thread(WriteAsReady, wav);
    } catch (const std::exception&) {
        return false;
    }
    return true;
#endif
}

bool FinishWavStream(WavStream* wav, int32_t wavsize)
{
    wav->Done.store(true, std::memory_order_release);
    wav->Writer.join();
    const auto rest = static_cast<size_t>(wavsize - wav->Written);
    const bool rest_written = fwrite(wav->Samples + wav->Written, 1, rest, wav->Stream) == rest;
    const bool rewound = fseek(wav->Stream, 0, SEEK_SET) == 0;
    WriteWavHeader(wav->Stream, wavsize);
    // The error flag is sticky: one look after the flush covers every write of both threads.
    const bool flushed = fflush(wav->Stream) == 0;
    return rest_written && rewound && flushed && ferror(wav->Stream) == 0;
}

void AbandonWavStream(WavStream* wav)
{
    wav->Done.store(true, std::memory_order_release);
    wav->Writer.join();
}
