// The lister on a program of 16 KB: building the listing, and printing it as zx8xlist does.
#include <benchmark/benchmark.h>

#include "listing/listing.h"
#include "listing/text.h"
#include "support/images.h"

namespace {

// A well-formed ZX81 program of about 16 KB: 760 lines of REM text.
const std::vector<uint8_t>& SixteenK()
{
    static const std::vector<uint8_t> image = WellFormedZx81Image(760, 7);
    return image;
}

void BM_ListImage(benchmark::State& state)
{
    for (auto _ : state) benchmark::DoNotOptimize(ListImage(SixteenK(), TARGET_ZX81));
    state.counters["bytes"] = static_cast<double>(SixteenK().size());
}
BENCHMARK(BM_ListImage)->Unit(benchmark::kMicrosecond);

void BM_ListingText(benchmark::State& state)
{
    for (auto _ : state) {
        const Listing listing = ListImage(SixteenK(), TARGET_ZX81);
        benchmark::DoNotOptimize(ListingText(listing, "game.p", SixteenK(), TEXT_UNICODE));
    }
}
BENCHMARK(BM_ListingText)->Unit(benchmark::kMicrosecond);

}  // namespace
