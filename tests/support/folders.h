// Scratch folders and files for tests that work on real files, always inside the system's
// temporary folder.
#pragma once

#include <cstdio>
#include <filesystem>
#include <string>

/// A new, empty folder for the running test, named `prefix` plus the test's name.
std::filesystem::path FreshTestFolder(const std::string& prefix);

/// The whole file at `path` as it is on disk, or "" if it cannot be read.
std::string FileText(const std::filesystem::path& path);

/// A new file open for reading and writing in the system's temporary folder, removed when it is
/// closed (std::tmpfile writes into the root of the current drive on Windows).
FILE* ScratchStream();
