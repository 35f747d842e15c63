#include "wav/wav_writer.h"

#include "tape/signal.h"

void WriteInt(FILE* wrfile, int32_t val, int bytes)
{
    for (int i = 0; i < bytes; ++i) {
        fputc(static_cast<int>(val & 0xFF), wrfile);
        val >>= 8;
    }
}

void WriteWavHeaderOf(FILE* wrfile, int format, int channels, int rate, int bits,
                      uint32_t data_bytes)
{
    const int frame_bytes = channels * (bits / 8);
    fputs("RIFF", wrfile);
    // The RIFF chunk holds "WAVE" (4), the format chunk (8 + 16) and the data chunk header (8)
    // ahead of the samples: 36 bytes. No pad byte follows an odd sample count.
    WriteInt(wrfile, static_cast<int32_t>(data_bytes + 36), 4);
    fputs("WAVE", wrfile);
    fputs("fmt ", wrfile);
    WriteInt(wrfile, 16, 4);                  // format chunk size
    WriteInt(wrfile, format, 2);              // PCM or float
    WriteInt(wrfile, channels, 2);            // channels
    WriteInt(wrfile, rate, 4);                // frames per second
    WriteInt(wrfile, rate * frame_bytes, 4);  // bytes per second
    WriteInt(wrfile, frame_bytes, 2);         // bytes per frame
    WriteInt(wrfile, bits, 2);                // bits per sample
    fputs("data", wrfile);
    WriteInt(wrfile, static_cast<int32_t>(data_bytes), 4);
}

void WriteWavHeader(FILE* wrfile, int32_t wavsize)
{
    WriteWavHeaderOf(wrfile, WAV_PCM, 1, static_cast<int32_t>(sampleRate), 8,
                     static_cast<uint32_t>(wavsize));
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
