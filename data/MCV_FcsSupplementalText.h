#pragma once

#include <cstdint>
#include <optional>
#include <string>

class MCV_FcsInputFile;
class MCV_FcsText;

// The supplemental TEXT of an FCS file: the segment that $BEGINSTEXT and
// $ENDSTEXT name, whose keywords did not fit the primary TEXT. It decides
// whether that segment is read into the reader's TEXT, passed over, or
// refuses the file.
//
// Offsets must be two numbers after the HEADER, the end past the start;
// others are left alone, as are segments that some writers name there but
// that are no TEXT: one that overlaps the primary TEXT, or a DATA pair the
// DATA are read from (see settle). Any other segment that starts at or past
// the end of the file names no byte the file holds: the file was cut before
// it. One that starts in the file is TEXT when its first byte is the primary
// delimiter, and is left alone otherwise. A TEXT that runs past the end of
// the file was cut short. A cut file is refused as truncated, since the
// keywords lost may change what is read; a TEXT that cannot be split refuses
// the file, as the primary TEXT would.
class MCV_FcsSupplementalText {
public:
    // Where the file says its segments lie; nullopt where it gives no number.
    struct Offsets {
        std::optional<int64_t> begin, end;   // $BEGINSTEXT, $ENDSTEXT
        int64_t text[2];                     // first and last byte of the primary TEXT
        int64_t headerData[2];               // the HEADER's DATA pair; 0 when not given
        std::optional<int64_t> textData[2];  // $BEGINDATA, $ENDDATA
    };
    // The DATA as found without a pending range.
    struct Data {
        int code;            // of the layout found without it
        int64_t begin, end;  // bytes read; end below begin when none are (code not 0, or no events)
        const char* source;  // whose pair names them: "HEADER" or "TEXT"
    };

    // Forgets the last file.
    void clear();
    // Reads the segment `offsets` name into `text` (the primary TEXT, whose
    // first byte is `delimiter`), leaves it alone, or, when it is exactly a
    // DATA pair, holds it pending until the DATA are found. Returns a code of
    // MCV_LoadCode; *why is the reason of a refusal.
    int find(MCV_FcsInputFile& file, MCV_FcsText& text, char delimiter, const Offsets& offsets, std::string* why);
    // A range that is also a DATA pair, not yet settled.
    bool pending() const { return m_pending[1] >= 0; }
    // Settles a pending range once `data` tells where the DATA are read
    // without it. *read tells whether it was read into `text` as supplemental
    // TEXT: then its keywords may change the layout, which is found again.
    // A range that fits as DATA as well as the other pair does (code 19)
    // counts as TEXT only in the full form of one (MCV_FcsText::isWholeText).
    // Returns a code of MCV_LoadCode; *why is the reason of a refusal.
    int settle(MCV_FcsInputFile& file, MCV_FcsText& text, const Data& data, bool* read, std::string* why);
    // The bytes (first, last) of the supplemental TEXT read; last is below
    // first when none was.
    int64_t first() const { return m_read[0]; }
    int64_t last() const { return m_read[1]; }

private:
    bool startsWithDelimiter(MCV_FcsInputFile& file, int64_t offset) const;
    // Reads bytes begin to end into `text` when they are TEXT; *read tells
    // whether they were. With `whole`, only bytes in the full form of a TEXT
    // count as TEXT.
    int readBytes(MCV_FcsInputFile& file, MCV_FcsText& text, int64_t begin, int64_t end, bool whole, bool* read,
                  std::string* why);

    char m_delimiter = 0;
    int64_t m_read[2] = {0, -1};
    // A range that is exactly a DATA pair of the HEADER (m_pendingNames[0])
    // or of the TEXT ([1]), until settled; {0, -1} when there is none.
    int64_t m_pending[2] = {0, -1};
    bool m_pendingNames[2] = {false, false};
};
