// What the page shows beside the program's own lines, read from the state a run left behind
// (the target it settled on and the tape name it used), and the machines' facts the page needs.
// Nothing here decides anything.
#include <emscripten/emscripten.h>

#include "conversion.h"

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
}
