// What the page shows beside the program's own lines, read from the state a run left behind:
// the target it settled on and the tape name it used. Nothing here decides anything.
#include <emscripten/emscripten.h>

#include "conversion.h"

extern "C" {

/// The run's target: 0 unknown (converted as ZX81), 1 ZX80, 2 ZX81.
EMSCRIPTEN_KEEPALIVE int ZxTargetFormat() { return targetFormat; }

/// The run's tape name, as the name block carries it (empty until it is settled).
EMSCRIPTEN_KEEPALIVE const char* ZxTapeName() { return zxFileName.c_str(); }
}
