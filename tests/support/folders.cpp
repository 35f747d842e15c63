#include "support/folders.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <iterator>

std::filesystem::path FreshTestFolder(const std::string& prefix)
{
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() /
        (prefix + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    return folder;
}

std::string FileText(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

FILE* ScratchStream()
{
    static std::atomic<int> made{0};
    // Unique across processes running at once: the clock, and a count within this one.
    const std::string name =
        "zx8xwav_stream_" +
        std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()) + "_" +
        std::to_string(++made);
    const std::string path = (std::filesystem::temp_directory_path() / name).string();
#ifdef _WIN32
    return std::fopen(path.c_str(), "w+bD");  // D: deleted when closed
#else
    FILE* stream = std::fopen(path.c_str(), "w+b");
    if (stream != nullptr) std::remove(path.c_str());  // the open stream keeps it
    return stream;
#endif
}
