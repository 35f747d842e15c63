#include "support/folders.h"

#include <gtest/gtest.h>

std::filesystem::path FreshTestFolder(const std::string& prefix)
{
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() /
        (prefix + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    return folder;
}
