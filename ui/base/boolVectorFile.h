#pragma once

#include <QString>

#include <string>
#include <vector>

// The default-marker file (read by readMarkerFlags).

// Writes "1 " or "0 " per flag, nothing else (no line break): 2n bytes.
// False when the file could not be written whole; an existing file then
// stays as it was, and `error`, when given, says what failed (writeWholeFile).
bool writeBoolVectorToFile(std::string path, std::vector<bool> flags, QString* error = nullptr);
