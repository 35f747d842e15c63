#include "tape/tape.h"

#include "conversion.h"
#include "image/tape_file.h"
#include "tape/name_block.h"
#include "tape/signal.h"

namespace {

// Image bytes between two publications of the finished samples: about a megabyte of signal.
constexpr int PUBLISH_EVERY = 4096;

}  // namespace

bool OutputTape(const uint8_t* image, int size, char* bad_char)
{
    wavCounter = 0;
    OutputLevel(middleLevel, Signal.IntroDuration);
    if (targetFormat != TARGET_ZX80 && !OutputNameBlock(bad_char)) return false;
    // The image goes on tape exactly as loaded: no header, length or checksum is added.
    for (int i = 0; i < size; ++i) {
        OutputByte(image[i]);
        if (i % PUBLISH_EVERY == PUBLISH_EVERY - 1) PublishSamples();  // a writer may go on
    }
    OutputLevel(middleLevel, Signal.ExtroDuration);
    return true;
}

namespace {

// The seconds a part's signal lasts.
double PartSeconds(const TapePart& part)
{
    double seconds = part.Seconds;
    for (size_t k = 0; k < part.BitCount; ++k) {
        seconds += BitsSeconds(static_cast<uint8_t>(part.Bytes[k / 8] << k % 8), 1);
    }
    for (const TapeLevel& level : part.Levels) seconds += static_cast<double>(level.Seconds);
    return seconds;
}

void OutputProgramPart(const TapePart& part)
{
    const size_t whole = part.BitCount / 8;
    for (size_t i = 0; i < whole; ++i) {
        OutputByte(part.Bytes[i]);
        if (i % PUBLISH_EVERY == PUBLISH_EVERY - 1) PublishSamples();
    }
    for (size_t k = 0; k < part.BitCount % 8; ++k) {
        OutputBit(static_cast<uint8_t>(part.Bytes[whole] << k & 0x80));
    }
}

}  // namespace

std::vector<double> TapePartStarts(const TapeFile& tape)
{
    std::vector<double> starts;
    double seconds = Signal.IntroDuration;
    for (const TapePart& part : tape.Parts) {
        starts.push_back(seconds);
        seconds += PartSeconds(part);
    }
    starts.push_back(seconds);
    return starts;
}

void OutputTapeFile(const TapeFile& tape)
{
    wavCounter = 0;
    OutputLevel(middleLevel, Signal.IntroDuration);
    for (const TapePart& part : tape.Parts) {
        if (part.Kind == PART_PROGRAM) OutputProgramPart(part);
        if (part.Kind == PART_PAUSE) OutputLevel(middleLevel, part.Seconds);
        for (size_t i = 0; i < part.Levels.size(); ++i) {
            const TapeLevel& level = part.Levels[i];
            OutputLevel(level.High ? pulseLevel : pauseLevel, static_cast<double>(level.Seconds));
            if (i % PUBLISH_EVERY == PUBLISH_EVERY - 1) PublishSamples();
        }
        PublishSamples();
    }
    OutputLevel(middleLevel, Signal.ExtroDuration);
}
