#include "tape/tape.h"

#include "conversion.h"
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
