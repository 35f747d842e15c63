#include "conversion.h"

TargetFormat targetFormat = TARGET_UNKNOWN;
std::string zxFileName;
std::string outFileName;
std::unique_ptr<uint8_t[]> pFile;
uint8_t verbose = 1;
