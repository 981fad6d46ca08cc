#include "data/MCV_FcsSupplementalText.h"

#include "data/MCV_FcsInputFile.h"
#include "data/MCV_FcsLoader.h"
#include "data/MCV_FcsText.h"
#include "data/MCV_Messages.h"

#include <limits>

namespace Code = MCV_LoadCode;

void MCV_FcsSupplementalText::clear() { *this = MCV_FcsSupplementalText(); }

int MCV_FcsSupplementalText::find(MCV_FcsInputFile& file, MCV_FcsText& text, char delimiter, const Offsets& offsets,
                                  std::string* why) {
    m_delimiter = delimiter;
    const auto begin = offsets.begin, end = offsets.end;
    if (!begin || !end || *begin < MCV_FcsLoader::kHeaderSize || *end <= *begin) return Code::Success;
    if (*begin <= offsets.text[1] && *end >= offsets.text[0]) return Code::Success;
    const auto isData = [&](std::optional<int64_t> dataBegin, std::optional<int64_t> dataEnd) {
        return dataBegin && dataEnd && *dataBegin == *begin && *dataEnd == *end;
    };
    m_pendingNames[0] = isData(offsets.headerData[0], offsets.headerData[1]);
    m_pendingNames[1] = isData(offsets.textData[0], offsets.textData[1]);
    if (m_pendingNames[0] || m_pendingNames[1]) {
        m_pending[0] = *begin;
        m_pending[1] = *end;
        return Code::Success;
    }
    bool read = false;
    return readBytes(file, text, *begin, *end, false, &read, why);
}

bool MCV_FcsSupplementalText::startsWithDelimiter(MCV_FcsInputFile& file, int64_t offset) const {
    char first = 0;
    return file.readAt(offset, &first, 1) && first == m_delimiter;
}

int MCV_FcsSupplementalText::readBytes(MCV_FcsInputFile& file, MCV_FcsText& text, int64_t begin, int64_t end,
                                       bool whole, bool* read, std::string* why) {
    *read = false;
    const int64_t fileSize = file.size();
    if (begin < fileSize && !startsWithDelimiter(file, begin)) return Code::Success;
    if (end >= fileSize) {
        const std::string holds = "The file holds " + std::to_string(fileSize) + " bytes, but ";
        if (end == std::numeric_limits<int64_t>::max())
            *why =
                holds + "the supplemental TEXT segment from offset " + std::to_string(begin) + " ends beyond any file.";
        else
            *why = holds + "its segments need " + std::to_string(end + 1) +
                   ": the supplemental TEXT segment runs from offset " + std::to_string(begin) + " to " +
                   std::to_string(end) + ".";
        return Code::Truncated;
    }
    std::string bytes(static_cast<size_t>(end - begin + 1), '\0');
    if (!file.readAt(begin, &bytes[0], bytes.size())) return Code::Success;
    if (whole && !MCV_FcsText::isWholeText(bytes.data(), bytes.size())) return Code::Success;
    if (!text.parse(bytes.data(), bytes.size())) {
        *why = text.refusal("supplemental TEXT", begin);
        return Code::MalformedText;
    }
    m_read[0] = begin;
    m_read[1] = end;
    *read = true;
    return Code::Success;
}

// A range that is exactly a DATA pair is either the DATA, put there by a
// writer that has no supplemental TEXT, or a supplemental TEXT whose offsets a
// writer also gave as a DATA pair; which one is known only once the DATA are
// found without it. When the DATA are read from where the range starts, the
// range is the DATA and is passed over. Otherwise it is read as any
// supplemental TEXT is; one that starts with the delimiter but overlaps the
// DATA read refuses the file.
//
// When both DATA pairs fit, the range (one of them) is as good a DATA segment
// as the other pair's, and bytes of events may start with any byte, the
// delimiter too. It is then read only when it has the full form of a TEXT;
// otherwise nothing tells which pair names the DATA, and the file stays
// refused as naming two.
int MCV_FcsSupplementalText::settle(MCV_FcsInputFile& file, MCV_FcsText& text, const Data& data, bool* read,
                                    std::string* why) {
    *read = false;
    const int64_t begin = m_pending[0], end = m_pending[1];
    const bool dataRead = data.end >= data.begin;
    if (dataRead && data.begin == begin) return Code::Success;
    if (dataRead && begin <= data.end && end >= data.begin && startsWithDelimiter(file, begin)) {
        // Not both: the DATA would then be read from where the range starts.
        const char* named = m_pendingNames[0] ? "HEADER" : "TEXT";
        *why = std::string("The ") + named + " names offsets " + std::to_string(begin) + " to " + std::to_string(end) +
               " for both the DATA and the supplemental TEXT; the DATA are read at offsets " +
               std::to_string(data.begin) + " to " + std::to_string(data.end) + ", as the " + data.source +
               " names them, and the supplemental TEXT overlaps them.";
        return Code::DataDoNotFit;
    }
    return readBytes(file, text, begin, end, data.code == Code::DataSegmentsDisagree, read, why);
}
