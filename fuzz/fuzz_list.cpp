// The lister on any bytes, as either machine: it must read nothing outside the image, and each
// item's bytes must lie inside it. The same bytes are offered as zx8xread's report, whose doubtful
// bytes must lie inside any image, and as the choices for a doubtful byte.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "listing/choices.h"
#include "listing/listing.h"
#include "listing/report_reader.h"
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
    std::vector<ReportedDoubt> doubts;
    std::string error;
    if (ReportedDoubts(std::string(data, data + size), "x.p", &doubts, &error)) {
        for (const ReportedDoubt& d : doubts) {
            if (d.Offset > 65535) std::abort();
        }
    }
    if (size > 0) ByteChoices(image, TARGET_ZX81, size / 2, {data[0], 0x76}, TEXT_UNICODE);
    return 0;
}
