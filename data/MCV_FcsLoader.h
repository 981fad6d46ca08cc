#pragma once

#include <string>

class MCV_FcsHeader;

// Reads one FCS 2.0, 3.0 or 3.1 file (the first data set of it) into a header
// and a row-major events x variables matrix of 32-bit floats holding the stored
// channel values. Nothing in the file is trusted: every offset, count and width
// is checked before use, and any failure hands back no matrix.
class MCV_FcsLoader {
public:
    MCV_FcsLoader();
    ~MCV_FcsLoader();

    void init();
    // Reads the file named by header->fileName(). On success (0) *data holds a
    // new[]-allocated matrix the caller owns; on any other code *data is left
    // untouched and the header may be partly filled. Codes: MCV_LoadCode.
    int loadFromFile(float** data, MCV_FcsHeader* header);
    // Value of `key` (matched case-insensitively) in the TEXT of the last read,
    // or "-1" when the file has no such keyword.
    std::string fetchValueForKey(std::string key);
    std::string textHeader();

private:
    std::string m_fileName;
    std::string m_textHeader;
    char m_delimiter = 0;
};
