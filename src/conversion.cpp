#include "conversion.h"

#include "tape/signal.h"

TargetFormat targetFormat = TARGET_UNKNOWN;
std::string zxFileName;
std::string outFileName;
std::unique_ptr<uint8_t[]> pFile;
uint8_t verbose = 1;

void FreeMem()
{
    pFile.reset();
    ReleaseSampleBuffer();
}
