// What the page shows beside the program's own lines, read from the state a run left behind
// (the target it settled on and the tape name it used), and the machines' facts the page needs.
// Nothing here decides anything.
#include <emscripten/emscripten.h>

#include <cstdio>
#include <vector>

#include "conversion.h"
#include "tape/signal.h"
#include "wav/wav_writer.h"

extern "C" {

/// The run's target: TARGET_UNKNOWN (converted as ZX81), TARGET_ZX80 or TARGET_ZX81.
EMSCRIPTEN_KEEPALIVE int ZxTargetFormat() { return targetFormat; }

/// The value of TARGET_ZX80, to compare ZxTargetFormat() with.
EMSCRIPTEN_KEEPALIVE int ZxTargetZx80() { return TARGET_ZX80; }

/// The run's tape name, as the name block carries it (empty until it is settled).
EMSCRIPTEN_KEEPALIVE const char* ZxTapeName() { return zxFileName.c_str(); }

/// The memory address of the first byte of an image for the run's target.
EMSCRIPTEN_KEEPALIVE int ZxImageStart() { return ImageStart(targetFormat); }

/// Where RAM ends on a 1K machine and with a 16K pack.
EMSCRIPTEN_KEEPALIVE int ZxRamEnd1K() { return RAM_END_1K; }
EMSCRIPTEN_KEEPALIVE int ZxRamEnd16K() { return RAM_END_16K; }

/// Joins the tapes in the WAV files zx8xwav wrote, named one per line in the file at `list`, into
/// one WAV at `out`, with `pause` seconds of silence between them: several programs on one tape,
/// as a program that loads its next part expects. 0 if a file cannot be read or written.
EMSCRIPTEN_KEEPALIVE int ZxJoinTapes(const char* list, double pause, const char* out)
{
    FILE* names = std::fopen(list, "r");
    if (names == nullptr) return 0;
    std::vector<uint8_t> samples;
    const size_t silence = static_cast<size_t>(pause * sampleRate + 0.5);
    char name[4096];
    bool ok = true;
    for (int part = 0; ok && std::fgets(name, sizeof name, names) != nullptr; ++part) {
        for (char* end = name; *end != 0; ++end) {
            if (*end == '\n') *end = 0;
        }
        FILE* tape = std::fopen(name, "rb");
        ok = tape != nullptr && std::fseek(tape, WAV_HEADER_SIZE, SEEK_SET) == 0;
        if (part > 0) samples.insert(samples.end(), silence, middleLevel);
        int c;
        while (ok && (c = std::fgetc(tape)) != EOF) samples.push_back(static_cast<uint8_t>(c));
        if (tape != nullptr) std::fclose(tape);
    }
    std::fclose(names);
    FILE* joined = ok ? std::fopen(out, "wb") : nullptr;
    if (joined == nullptr) return 0;
    ok = WriteWavFile(joined, samples.data(), static_cast<int32_t>(samples.size()));
    return std::fclose(joined) == 0 && ok ? 1 : 0;
}
}
