// The lister on any bytes, as either machine: it must read nothing outside the image, and each
// item's bytes must lie inside it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "listing/listing.h"
#include "listing/text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::vector<uint8_t> image(data, data + size);
    for (const TargetFormat machine : {TARGET_ZX81, TARGET_ZX80}) {
        const Listing listing = ListImage(image, machine);
        for (const ListedLine& line : listing.Lines) {
            if (line.Bytes.End > size || line.MachineCode.End > size) std::abort();
            for (const size_t source : line.Text.Sources) {
                if (source >= size) std::abort();
            }
        }
        for (const ListedVariable& v : listing.Variables) {
            if (v.Bytes.Begin >= size || v.Bytes.End > size) std::abort();
        }
        for (const TextStyle style : {TEXT_UNICODE, TEXT_TERMINAL, TEXT_ASCII}) {
            ListingText(listing, "fuzz", image, style);
        }
    }
    return 0;
}
