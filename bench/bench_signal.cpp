// Speed of the sample generator and of the whole conversion in memory.
//
//   cmake --preset bench && cmake --build --preset bench && build-bench/bench/zx8xwav_bench
#include <benchmark/benchmark.h>

#include <vector>

#include "conversion.h"
#include "support/in_memory.h"
#include "support/reference_generator.h"
#include "tape/signal.h"
#include "tape/tape.h"

namespace {

constexpr int32_t WORST_CASE_BUFFER = 46301139;  // bytes, for 65544 bytes of 0xFF

// Room for runs in the micro-benchmarks; the signal starts again when it is nearly full.
constexpr int32_t RUN_BUFFER = 1 << 22;

void RestartWhenFull()
{
    if (wavCounter > RUN_BUFFER - 100000) wavCounter = 0;
}

void BM_OutputLevel(benchmark::State& state)
{
    // Arguments: the duration in microseconds (150: a pulse half, 1300: the pause of a bit).
    const double duration = static_cast<double>(state.range(0)) * 1e-6;
    AllocateSampleBuffer(RUN_BUFFER);
    int64_t samples = 0;
    for (auto _ : state) {
        const int32_t before = wavCounter;
        OutputLevel(pulseLevel, duration);
        samples += wavCounter - before;
        RestartWhenFull();
    }
    state.counters["samples/run"] =
        static_cast<double>(samples) / static_cast<double>(state.iterations());
    ReleaseSampleBuffer();
}
BENCHMARK(BM_OutputLevel)->Arg(150)->Arg(1300);

void BM_OutputByte(benchmark::State& state)
{
    const auto byte = static_cast<uint8_t>(state.range(0));
    AllocateSampleBuffer(RUN_BUFFER);
    for (auto _ : state) {
        OutputByte(byte);
        RestartWhenFull();
    }
    ReleaseSampleBuffer();
}
BENCHMARK(BM_OutputByte)->Arg(0x00)->Arg(0xFF);

void BM_ReferenceOutputByte(benchmark::State& state)
{
    const auto byte = static_cast<uint8_t>(state.range(0));
    ReferenceSignal signal;
    signal.Samples.assign(RUN_BUFFER, 0);
    for (auto _ : state) {
        ReferenceOutputByte(signal, byte);
        if (signal.Counter > RUN_BUFFER - 100000) signal.Counter = 0;
    }
}
BENCHMARK(BM_ReferenceOutputByte)->Arg(0x00)->Arg(0xFF);

// The whole conversion in memory, as the program does it: estimate, one buffer, the tape.
void Convert(const std::vector<uint8_t>& image)
{
    ConvertInMemory(image);
    benchmark::DoNotOptimize(wavFile.get());
    ReleaseSampleBuffer();
}

void BM_Convert(benchmark::State& state)
{
    // Argument: image size in bytes; the image holds bytes of every value.
    verbose = 0;
    zxFileName = "ZZZZZZZZ";
    std::vector<uint8_t> image(static_cast<size_t>(state.range(0)));
    for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<uint8_t>(i * 37);
    for (auto _ : state) Convert(image);
    state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_Convert)->Arg(16384)->Unit(benchmark::kMillisecond);

void BM_ConvertWorstCase(benchmark::State& state)
{
    verbose = 0;
    zxFileName = "ZZZZZZZZ";
    const std::vector<uint8_t> image(MAX_P_FILE_SIZE, 0xFF);
    for (auto _ : state) Convert(image);
}
BENCHMARK(BM_ConvertWorstCase)->Unit(benchmark::kMillisecond);

// The generator alone on the worst-case signal, into a buffer allocated and touched beforehand.
void BM_GeneratorWorstCase(benchmark::State& state)
{
    zxFileName = "ZZZZZZZZ";
    const std::vector<uint8_t> image(MAX_P_FILE_SIZE, 0xFF);
    AllocateSampleBuffer(WORST_CASE_BUFFER);
    char bad = 0;
    for (auto _ : state) {
        OutputTape(image.data(), MAX_P_FILE_SIZE, &bad);
        benchmark::DoNotOptimize(wavFile.get());
    }
    state.counters["samples"] = wavCounter;
    ReleaseSampleBuffer();
}
BENCHMARK(BM_GeneratorWorstCase)->Unit(benchmark::kMillisecond);

void BM_ReferenceWorstCase(benchmark::State& state)
{
    ReferenceSignal signal;
    signal.Samples.assign(WORST_CASE_BUFFER, 0);
    for (auto _ : state) {
        signal.Counter = 0;
        ReferenceOutputLevel(signal, middleLevel, Signal.IntroDuration);
        for (int i = 0; i < 7; ++i) ReferenceOutputByte(signal, 63);
        ReferenceOutputByte(signal, 63 | 0x80);
        for (int i = 0; i < MAX_P_FILE_SIZE; ++i) ReferenceOutputByte(signal, 0xFF);
        ReferenceOutputLevel(signal, middleLevel, Signal.ExtroDuration);
        benchmark::DoNotOptimize(signal.Samples.data());
    }
    state.counters["samples"] = signal.Counter;
}
BENCHMARK(BM_ReferenceWorstCase)->Unit(benchmark::kMillisecond);

}  // namespace
