#include "wav/wav_writer.h"

#include "tape/signal.h"

void WriteInt(FILE* wrfile, int32_t val, int bytes)
{
    for (int i = 0; i < bytes; ++i) {
        fputc(static_cast<int>(val & 0xFF), wrfile);
        val >>= 8;
    }
}

void WriteWavHeader(FILE* wrfile, int32_t wavsize)
{
    const auto rate = static_cast<int32_t>(sampleRate);
    fputs("RIFF", wrfile);
    // The RIFF chunk holds "WAVE" (4), the format chunk (8 + 16) and the data chunk header (8)
    // ahead of the samples: 36 bytes. No pad byte follows an odd sample count.
    WriteInt(wrfile, wavsize + 36, 4);
    fputs("WAVE", wrfile);
    fputs("fmt ", wrfile);
    WriteInt(wrfile, 16, 4);    // format chunk size
    WriteInt(wrfile, 1, 2);     // PCM
    WriteInt(wrfile, 1, 2);     // mono
    WriteInt(wrfile, rate, 4);  // samples per second
    WriteInt(wrfile, rate, 4);  // bytes per second: one channel of one byte
    WriteInt(wrfile, 1, 2);     // bytes per sample frame
    WriteInt(wrfile, 8, 2);     // bits per sample
    fputs("data", wrfile);
    WriteInt(wrfile, wavsize, 4);
}

bool WriteWavFile(FILE* wrfile, const uint8_t* samples, int32_t wavsize)
{
    WriteWavHeader(wrfile, wavsize);
    const auto count = static_cast<size_t>(wavsize > 0 ? wavsize : 0);
    const size_t written = count > 0 ? fwrite(samples, 1, count, wrfile) : 0;
    // The error flag is sticky: one look after the flush covers every byte of the header too.
    const bool flushed = fflush(wrfile) == 0;
    return written == count && flushed && ferror(wrfile) == 0;
}
