// Output path and tape name from an arbitrary path, with and without a tape name and target
// chosen beforehand: the output is the path's stem plus ".wav", never truncated, and the tape
// name never exceeds eight characters.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "conversion.h"
#include "image/file_names.h"

namespace {

void Require(bool condition)
{
    if (!condition) std::abort();
}

bool EndsWith(const std::string& text, const std::string& tail)
{
    return text.size() >= tail.size() &&
           text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0) return 0;
    // First byte: the target chosen before (bits 0-1) and whether a tape name was given (bit 2).
    const uint8_t setup = data[0];
    const std::string path(reinterpret_cast<const char*>(data + 1), size - 1);
    const char* infilename = path.c_str();  // the path as the command line would hold it
    const std::string as_given(infilename);

    targetFormat = static_cast<TargetFormat>(setup & 3);
    const TargetFormat target_before = targetFormat;
    zxFileName = (setup & 4) != 0 ? "PRESET" : "";
    TransferFileNames(infilename);

    Require(zxFileName.size() <= MAX_ZXNAME_LENGTH);
    if ((setup & 4) != 0) Require(zxFileName == "PRESET");
    Require(outFileName.empty() == as_given.empty());
    if (!outFileName.empty()) {
        Require(EndsWith(outFileName, targetFormat == TARGET_ZX80 ? "_ZX80.wav" : ".wav"));
        const std::string stem =
            outFileName.substr(0, outFileName.size() - (targetFormat == TARGET_ZX80 ? 9 : 4));
        Require(as_given.compare(0, stem.size(), stem) == 0);  // the whole stem, untruncated
        Require(stem.size() == as_given.size() || as_given[stem.size()] == '.');
    }
    Require(targetFormat == target_before || targetFormat == TARGET_ZX81);
    return 0;
}
