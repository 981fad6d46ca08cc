#pragma once

#include <string>
#include <vector>

// The default-marker file: one integer per marker, separated by white space;
// zero means off, anything else on.

// Reads whitespace-separated integers until the first that fails to parse.
// False, with `out` unchanged, when the file cannot be opened; otherwise `out`
// holds one flag per integer read (empty for an empty file).
bool readBoolVectorFromFile(std::string path, std::vector<bool>* out);

// Writes "1 " or "0 " per flag, nothing else (no line break): 2n bytes.
// False when the file could not be written whole; an existing file then
// stays as it was (writeWholeFile).
bool writeBoolVectorToFile(std::string path, std::vector<bool> flags);
