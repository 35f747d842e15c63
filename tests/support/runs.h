// SampleRun-length view of a stretch of samples, for reading a signal as levels and lengths.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

struct SampleRun {
    uint8_t Level;
    int Length;
    bool operator==(const SampleRun& other) const
    {
        return Level == other.Level && Length == other.Length;
    }
};

inline std::vector<SampleRun> Runs(const uint8_t* begin, const uint8_t* end)
{
    std::vector<SampleRun> runs;
    for (const uint8_t* p = begin; p != end; ++p) {
        if (runs.empty() || runs.back().Level != *p) {
            runs.push_back({*p, 0});
        }
        ++runs.back().Length;
    }
    return runs;
}
