// Scratch folders for tests that work on real files.
#pragma once

#include <filesystem>
#include <string>

/// A new, empty folder for the running test, named `prefix` plus the test's name.
std::filesystem::path FreshTestFolder(const std::string& prefix);
