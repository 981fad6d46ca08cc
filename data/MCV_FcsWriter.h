#pragma once

#include <string>
#include <vector>

class MCV_DerivedDataPoints;
class MCV_FcsHeader;

// Writes a point subset of the loaded data set as one FCS 3.1 file: a 100-byte
// HEADER, a '\'-delimited TEXT segment and a DATA segment of 32-bit
// little-endian floats, one row per point, one column per variable of the
// given header (every variable: the file has no column selection).
//
// The HEADER's DATA offsets are 0; readers take them from $BEGINDATA and
// $ENDDATA. Whatever the header says, every parameter is written as what the
// data are: $PnB 32, $PnE 0,0, and a $PnR at least the largest value written
// (readers may clip to it). Labels go to $PnN and names to $PnS, as the reader
// maps them. A delimiter inside a value is doubled and no value is empty, so
// that standard readers split the TEXT as intended.
//
// Calling order: construct, setData, setHeader, writeToFile.
class MCV_FcsWriter {
public:
    static constexpr int Written = 0;
    static constexpr int Failed = -1;

    MCV_FcsWriter();
    ~MCV_FcsWriter();

    void setData(MCV_DerivedDataPoints* data);
    void setHeader(MCV_FcsHeader* header);

    // Written (0) when the whole file was written and closed; Failed (-1)
    // otherwise, with an "[ERROR]" line on standard output, no partial file
    // left behind and a file that was at `path` unchanged. Refused before
    // anything is written: no data or header, a header whose variable count
    // differs from the loaded files, a point that names no loaded event.
    int writeToFile(std::string path);
    // The same layout from `count` rows of the header's variable count in
    // `values`, with "\FCSversion\3" and the header's own FCS version in the
    // HEADER (when it is one this system writes, "FCS3.1" otherwise).
    int writeToFileFromRaw(std::string path, float* values, int count);
    // Why the last write failed: the path, ": " and what failed (the clause of
    // the "[ERROR]" line, e.g. "writing failed (No space left on device)");
    // empty after a file was written.
    const std::string& error() const { return m_error; }

private:
    int write(const std::string& path, const std::vector<const float*>& rows, const std::string& version,
              const std::string& versionText);
    std::string text(const std::string& path, const std::vector<const float*>& rows,
                     const std::string& versionText) const;
    // Prints the "[ERROR]" line and keeps it for error().
    void fail(const std::string& path, const std::string& why);

    MCV_DerivedDataPoints* m_data = nullptr;
    MCV_FcsHeader* m_header = nullptr;
    std::string m_error;
};
