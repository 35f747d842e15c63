// The command line's options and the usage text.
#pragma once

/// Reads the options in front of the file name, setting targetFormat and zxFileName, and
/// reports malformed ones on standard error without stopping. Returns the position in argv of
/// the first argument that is not an option, or 0 if every argument is one.
int HandleOptions(int argc, char** argv);

/// Writes the usage text to standard error, showing `programName` as the command.
void PrintUsage(const char* programName);

/// Whether an argument beginning with `c` is an option. On Windows both '-' and '/' introduce
/// options; elsewhere only '-', since '/' begins an absolute path.
bool IsOptionPrefix(char c);
