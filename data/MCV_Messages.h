#pragma once

#include <QString>

#include <string>
#include <vector>

// Result codes of the loaders and the texts the user interface shows for them.
// 0 is success; a positive code n is an error and indexes MCV_FCS_ERRORS; a
// negative code -n is a warning and indexes MCV_FCS_WARNINGS at n. Codes are
// never renumbered: new ones go before the closing "Unknown Error." entry.
namespace MCV_LoadCode {
constexpr int Success = 0;
constexpr int Fcs10NotSupported = 1;
constexpr int NoVersion = 2;
constexpr int UnknownSeparator = 3;
constexpr int NoMatrix = 4;
constexpr int DifferentMarkerSets = 5;
constexpr int NoDataStart = 6;
constexpr int ImagesNotMatching = 7;
constexpr int TiffNotSupported = 8;
constexpr int CannotOpen = 9;
constexpr int MalformedText = 10;
constexpr int Truncated = 11;
constexpr int UnsupportedDataType = 12;
constexpr int UnsupportedMode = 13;
constexpr int UnsupportedByteOrder = 14;
constexpr int UnsupportedBitWidth = 15;
constexpr int OutOfMemory = 16;
constexpr int DataDoNotFit = 17;
constexpr int ConflictingKeywords = 18;
constexpr int DataSegmentsDisagree = 19;
// The highest code in use.
constexpr int LastError = DataSegmentsDisagree;

constexpr int DifferentMarkerNames = -1;
}  // namespace MCV_LoadCode

inline const std::vector<std::string> MCV_FCS_ERRORS = {
    "No Error",
    "Error code 1: FCS version 1.0 is not supported.",
    "Error code 2: Could not find FCS version in header.",
    "Error code 3: Unknown separator in file header.",
    "Error code 4: Files differ to much.",
    "Error code 5: Files contain different marker sets.",
    "Error code 6: Could not find startbyte for data in short or textheader.",
    "Error code 7: Images not matching.",
    "Error code 8: Tiff format not supported or file damaged. Pages must be grey, RGB or palette images of 8- or "
    "16-bit integer samples.",
    "Error code 9: The file cannot be opened.",
    "Error code 10: The header or text segment is malformed (the text cannot be split into keywords and "
    "values, or $TOT, $PAR, a segment offset or a parameter keyword is missing or out of range).",
    "Error code 11: The file is truncated: its data or supplemental text segment ends beyond the end of the "
    "file.",
    "Error code 12: Data type not supported. Only $DATATYPE F, D and I are read.",
    "Error code 13: Data mode not supported. Only list mode ($MODE L) is read.",
    "Error code 14: Byte order not supported. Only 1,2,3,4 and 4,3,2,1 (or 1,2 and 2,1) are read.",
    "Error code 15: Bit width not supported. Integers must be 8, 16, 24, 32 or 64 bits wide, floats 32 "
    "and doubles 64.",
    "Error code 16: Not enough memory to load the data.",
    "Error code 17: The data segment does not fit the text segment: its length is not $TOT events of the "
    "parameters' $PnB widths, or it overlaps the header or text segment.",
    "Error code 18: A keyword that decides the values read ($TOT, $PAR, $MODE, $DATATYPE, $BYTEORD, $PnB, "
    "$PnR, $PnE, $PnG, $BEGINDATA, $ENDDATA, $BEGINSTEXT or $ENDSTEXT) is given twice with different values.",
    "Error code 19: The header and the text segment name different data segments, and both fit the file.",
    "Unknown Error.",
};

inline const std::vector<std::string> MCV_FCS_WARNINGS = {
    "No Warning",
    "Warning code 1: FCS files contained the same number of markers but different names. Markers that "
    "were combined are labeled as - multiple -. Only use these markers for computation if you know "
    "they are correct.",
    "Unknown Error.",
};

// The text for any load result: errors and warnings by their tables, anything
// outside the tables as "Unknown Error.".
inline const std::string& MCV_loadMessage(int code) {
    if (code >= 0) {
        size_t i = static_cast<size_t>(code);
        return i < MCV_FCS_ERRORS.size() ? MCV_FCS_ERRORS[i] : MCV_FCS_ERRORS.back();
    }
    size_t i = static_cast<size_t>(-static_cast<long long>(code));
    return i < MCV_FCS_WARNINGS.size() ? MCV_FCS_WARNINGS[i] : MCV_FCS_WARNINGS.back();
}

// Update feeds on the product's web host; the update checker reads the second.
inline const QString MCV_UPDATE_FEED_URL = QStringLiteral("https://quillmaren.merrowfield.org/appcast/appcast.xml");
inline const QString MCV_UPDATE_FEED_URL_MAC =
    QStringLiteral("https://quillmaren.merrowfield.org/appcast/appcast_mac.xml");
