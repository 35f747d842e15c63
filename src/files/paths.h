// Paths and new files, the same for every program of the family: where a path's file name
// starts, and how a file is created without ever replacing one.
#pragma once

#include <cstdio>
#include <string>

/// Whether `c` ends a folder's name in a path: the slash and the backslash everywhere (a path
/// from Windows names its folders with either), and on Windows also the colon after a drive.
bool IsPathSeparator(char c);

/// Where the file name at the end of `path` starts: just after its last separator, 0 if none.
size_t FileNameStart(const std::string& path);

/// The file name at the end of `path`.
std::string BaseName(const std::string& path);

/// The extension of the file name at the end of `path`, from its last dot (a dot that begins the
/// name starts none), in lower case; "" where there is none.
std::string LowerExtension(const std::string& path);

/// Creates `path` as a new, empty file for writing, failing (errno EEXIST) if anything exists
/// there. It gets the permissions a newly created file gets: 0666 less the umask, as fopen gives.
/// On Windows it may be deleted while open, so that an interrupt can remove it.
FILE* CreateNewFile(const std::string& path);
