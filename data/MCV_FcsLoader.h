#pragma once

#include "data/MCV_FcsSupplementalText.h"
#include "data/MCV_FcsText.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class MCV_FcsHeader;
class MCV_FcsInputFile;
struct fcsVariable;

// Reads one FCS 2.0, 3.0 or 3.1 file (the first data set of it) into a header
// and a row-major events x variables matrix of 32-bit floats holding the stored
// channel values. Nothing in the file is trusted: every offset, count and width
// is checked before use, and any failure hands back no matrix.
class MCV_FcsLoader {
public:
    // The HEADER holds the version and six 8-character offset fields.
    static constexpr int64_t kHeaderSize = 58;

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
    // Why the last read was refused, with the numbers that decide it (for a
    // truncated file: the bytes it holds and the bytes its segments need);
    // empty after a read that succeeded.
    std::string refusal() const;

private:
    // How one parameter is stored in DATA.
    struct Column {
        int bytes;      // 1..8
        uint64_t mask;  // integers only: applied to the stored value
    };
    enum class DataType { Float, Double, Integer };
    // What the TEXT says of the DATA, and where they are read.
    struct Layout {
        int64_t events = 0;
        int64_t parameters = 0;
        DataType type = DataType::Float;
        bool bigEndian = false;
        int64_t rowBytes = 0;
        int64_t start = 0;               // of the DATA read; 0 when none are
        const char* source = "nothing";  // whose offsets the DATA are read at
    };

    int load(float** data, MCV_FcsHeader* header);

    int checkTextOffsets(const char* head, std::optional<int64_t> start, std::optional<int64_t> end, int64_t fileSize);
    int readText(MCV_FcsInputFile& file, int64_t textStart, int64_t textEnd);
    // Reads or holds the supplemental TEXT (MCV_FcsSupplementalText::find);
    // headerData are the DATA offsets the HEADER names, {0, 0} when none.
    int readSupplementalText(MCV_FcsInputFile& file, int64_t textStart, int64_t textEnd, const int64_t headerData[2]);
    // Settles a supplemental range that is also a DATA pair, once `code`
    // and *layout tell where the DATA are read without it.
    int settleSupplementalText(MCV_FcsInputFile& file, const int64_t headerData[2], MCV_FcsHeader* header, int code,
                               Layout* layout);
    // The layout from $TOT, $PAR and the other keywords that decide the
    // values, and where the DATA lie; the header takes the number of events.
    int readLayout(const int64_t headerData[2], int64_t fileSize, MCV_FcsHeader* header, Layout* layout);
    void readVariables(MCV_FcsHeader* header) const;
    int dataLayout(int64_t numVariables, DataType* type, bool* bigEndian, int64_t* rowBytes);
    // How each variable is stored, from its $PnB and, for integers, its $PnR.
    static std::vector<Column> columnsOf(const std::vector<fcsVariable>& variables, DataType type);
    int checkRepeats(int64_t numVariables);
    // Code 18, naming both values of `key` (upper case), which has a conflicting repeat.
    int refuseConflict(std::string_view key);
    int findData(const int64_t headerData[2], int64_t fileSize, Layout* layout);
    int refuse(int code, std::string why);
    static int readData(MCV_FcsInputFile& file, int64_t start, int64_t numEvents, DataType type, bool bigEndian,
                        const std::vector<Column>& columns, float* matrix);
    // Value of `key` as stored, or "-1" when missing.
    std::string value(const std::string& key) const;

    std::string m_fileName;
    std::string m_textHeader;
    char m_delimiter = 0;
    MCV_FcsText m_text;
    // Byte range (first, last) of the TEXT read; {0, -1} when none is.
    int64_t m_textRange[2] = {0, -1};
    MCV_FcsSupplementalText m_supplemental;
    std::string m_refusal;
};
