#include "data/MCV_FcsLoader.h"

#include "data/MCV_FcsHeader.h"
#include "data/MCV_FcsInputFile.h"
#include "data/MCV_FcsIntegerRows.h"
#include "data/MCV_Messages.h"

#include <sys/mman.h>

#ifdef _OPENMP
#include <omp.h>
#endif

#include <algorithm>
#include <atomic>
#include <cassert>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <limits>
#include <memory>
#include <new>
#include <optional>
#include <string_view>

namespace Code = MCV_LoadCode;

namespace {

constexpr int64_t kHeaderSize = MCV_FcsLoader::kHeaderSize;
constexpr size_t kHeadBytes = 64;
// DATA are read in tasks of whole rows that fill about this much of the
// matrix, shared out among the cores. Float rows go straight into the matrix
// and are checked while still in cache; integer and double rows go through
// one small scratch buffer per thread, so the peak memory of a load stays
// close to the matrix itself.
constexpr size_t kTaskBytes = size_t(2) << 20;
constexpr size_t kScratchBytes = size_t(128) << 10;

constexpr bool kHostBigEndian = __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__;

bool isPadding(char c) { return c == ' ' || c == '\0' || c == '\t' || c == '\r' || c == '\n'; }

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && isPadding(s.front())) s.remove_prefix(1);
    while (!s.empty() && isPadding(s.back())) s.remove_suffix(1);
    return s;
}

std::string trimmedUpper(std::string_view s) {
    std::string out(trimmed(s));
    for (char& c : out)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return out;
}

// A whole decimal integer with optional sign and surrounding blanks; nothing
// else may follow the digits. Values outside 64 bits are not numbers.
std::optional<int64_t> parseInteger(std::string_view s) {
    s = trimmed(s);
    if (s.size() > 1 && s[0] == '+' && s[1] >= '0' && s[1] <= '9') s.remove_prefix(1);
    int64_t v = 0;
    const char* end = s.data() + s.size();
    auto [ptr, ec] = std::from_chars(s.data(), end, v);
    if (ec != std::errc() || ptr != end || s.empty()) return std::nullopt;
    return v;
}

std::optional<int64_t> integerValue(std::optional<std::string_view> s) { return s ? parseInteger(*s) : std::nullopt; }

// An 8-character HEADER offset field; blanks mean "not given" (0).
std::optional<int64_t> headerField(const char* head, size_t pos) {
    const std::string_view field(head + pos, 8);
    if (trimmed(field).empty()) return 0;
    return parseInteger(field);
}

// The leading number of a value such as "4,1" or "0.0,0.0", independent of
// the process locale.
std::optional<double> leadingNumber(std::string_view s) {
    while (!s.empty() && isPadding(s.front())) s.remove_prefix(1);
    if (s.size() > 1 && s[0] == '+' && s[1] != '-') s.remove_prefix(1);
    double v = 0.0;
    auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec != std::errc() || ptr == s.data()) return std::nullopt;
    return v;
}

// $PnR: an integer; a few writers store it as a decimal number, taken rounded up.
std::optional<int64_t> rangeOf(std::string_view s) {
    if (auto v = parseInteger(s)) return v;
    const std::string_view t = trimmed(s);
    double d = 0.0;
    auto [ptr, ec] = std::from_chars(t.data(), t.data() + t.size(), d);
    if (ec != std::errc() || ptr != t.data() + t.size() || !(d >= 0.0) || d >= 9.2e18) return std::nullopt;
    return static_cast<int64_t>(std::ceil(d));
}

// -1 when missing or no range.
int64_t parseRange(std::optional<std::string_view> s) { return s ? rangeOf(*s).value_or(-1) : -1; }

// A whole decimal number with optional sign and surrounding blanks, such as a
// gain ($PnG).
std::optional<double> decimalNumber(std::string_view s) {
    s = trimmed(s);
    if (s.size() > 1 && s[0] == '+' && s[1] != '-') s.remove_prefix(1);
    double v = 0.0;
    auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec != std::errc() || ptr != s.data() + s.size() || s.empty()) return std::nullopt;
    return v;
}

// "1,2,3,4" (or any 1..n in rising order) is little-endian, "4,3,2,1" (n..1)
// big-endian; nullopt for any other order.
std::optional<bool> parseByteOrder(std::optional<std::string_view> s) {
    if (!s) return std::nullopt;
    std::vector<int64_t> order;
    std::string_view rest = *s;
    while (true) {
        const size_t comma = rest.find(',');
        auto v = parseInteger(rest.substr(0, comma));
        if (!v || order.size() >= 8) return std::nullopt;
        order.push_back(*v);
        if (comma == std::string_view::npos) break;
        rest.remove_prefix(comma + 1);
    }
    const int64_t n = static_cast<int64_t>(order.size());
    bool rising = true, falling = true;
    for (int64_t i = 0; i < n; ++i) {
        rising = rising && order[size_t(i)] == i + 1;
        falling = falling && order[size_t(i)] == n - i;
    }
    if (rising) return false;
    if (falling) return true;
    return std::nullopt;
}

std::string versionToken(const char* head, size_t n) {
    auto space = [](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); };
    size_t i = 0;
    while (i < n && space(head[i])) ++i;
    size_t j = i;
    while (j < n && !space(head[j])) ++j;
    return std::string(head + i, j - i);
}

std::string shown(std::optional<std::string_view> v) { return v ? MCV_FcsText::quoted(*v) : std::string("missing"); }

// n when `key` is "$P", n in decimal (no sign, no leading zero) and one of
// `letters`, for n from 1 to numVariables (the keywords the reader asks for);
// otherwise 0.
int64_t parameterOf(std::string_view key, const char* letters, int64_t numVariables) {
    if (key.size() < 4 || key.size() > 21 || key[0] != '$' || key[1] != 'P' || key[2] == '0' || key.back() == '\0' ||
        !std::strchr(letters, key.back()))
        return 0;
    int64_t n = 0;
    for (size_t i = 2; i + 1 < key.size(); ++i) {
        if (key[i] < '0' || key[i] > '9') return 0;
        n = n * 10 + (key[i] - '0');
    }
    return n <= numVariables ? n : 0;
}

// $PnB as a 32-bit integer.
std::optional<int64_t> widthOf(std::string_view s) {
    const auto bits = parseInteger(s);
    if (bits && *bits >= std::numeric_limits<int32_t>::min() && *bits <= std::numeric_limits<int32_t>::max())
        return bits;
    return std::nullopt;
}

// -1 when missing or no such number.
int64_t bitsOf(std::optional<std::string_view> s) { return s ? widthOf(*s).value_or(-1) : -1; }

// A value read as text (see valueReading).
void textReading(std::string_view value, std::string* out) {
    MCV_FcsText::textReading(value, out);
    out->insert(out->begin(), 'T');
}

// A reading (see valueReading) of a number read from a value, or of the value
// as text when no number is read from it. Numbers are equal exactly when the
// reader takes the same from them: every NaN reads as one, and -0 as 0.
void numberReading(std::optional<int64_t> v, std::string_view value, std::string* out) {
    if (!v) return textReading(value, out);
    out->assign(1, 'I');
    out->append(reinterpret_cast<const char*>(&*v), sizeof *v);
}

void numberReading(std::optional<double> v, std::string_view value, std::string* out) {
    if (!v) return textReading(value, out);
    const double d = std::isnan(*v) ? std::numeric_limits<double>::quiet_NaN() : *v == 0.0 ? 0.0 : *v;
    out->assign(1, 'D');
    out->append(reinterpret_cast<const char*>(&d), sizeof d);
}

// What the reader takes from a value of a keyword (upper case), so that two
// values of it say the same exactly when their readings are equal: numbers as
// numbers, however they are spelled; $BYTEORD by the byte order it names;
// $PnE by its leading number, the only part read; $PnG, which nothing
// applies, as the decimal number it gives. Values the reader takes no number
// or byte order from are read as text (but for padding and ASCII case), as
// are the values of every other keyword: $DATATYPE and $MODE are read that
// way. Each costs time in proportion to the value's length.
void valueReading(std::string_view key, std::string_view value, std::string* out) {
    static constexpr std::string_view kIntegers[] = {"$TOT",     "$PAR",        "$BEGINDATA",
                                                     "$ENDDATA", "$BEGINSTEXT", "$ENDSTEXT"};
    if (!key.empty() && key[0] == '$') {
        if (std::find(std::begin(kIntegers), std::end(kIntegers), key) != std::end(kIntegers))
            return numberReading(parseInteger(value), value, out);
        if (key == "$BYTEORD") {
            const auto order = parseByteOrder(value);
            if (order) return void(out->assign(*order ? "O4321" : "O1234"));
        } else if (parameterOf(key, "BREG", std::numeric_limits<int64_t>::max()) != 0) {
            switch (key.back()) {
                case 'B':
                    return numberReading(widthOf(value), value, out);
                case 'R':
                    return numberReading(rangeOf(value), value, out);
                case 'E':
                    return numberReading(leadingNumber(value), value, out);
                default:  // 'G'
                    return numberReading(decimalNumber(value), value, out);
            }
        }
    }
    textReading(value, out);
}

std::string byteText(char c) {
    char buf[24];
    const unsigned byte = static_cast<unsigned char>(c);
    if (byte >= 0x21 && byte <= 0x7e)
        std::snprintf(buf, sizeof buf, "'%c' (0x%02X)", c, byte);
    else
        std::snprintf(buf, sizeof buf, "byte 0x%02X", byte);
    return buf;
}

bool acceptedDelimiter(char c) { return c == '\f' || c == '!' || c == '/' || c == '\\' || c == '|'; }

uint32_t swap32(uint32_t v) { return __builtin_bswap32(v); }

// NaN becomes 0 and an infinity the finite float of its sign. Returns how many
// values were replaced. With `swap` the bytes of each value are reversed first,
// in the same pass.
size_t repairFloats(float* values, size_t n, bool swap) {
    size_t invalid = 0;
    for (size_t i = 0; i < n; ++i) {
        uint32_t bits;
        std::memcpy(&bits, &values[i], 4);
        if (swap) {
            bits = swap32(bits);
            std::memcpy(&values[i], &bits, 4);
        }
        if ((bits & 0x7f800000u) != 0x7f800000u) continue;
        ++invalid;
        if (bits & 0x007fffffu)
            values[i] = 0.0f;
        else
            values[i] = (bits & 0x80000000u) ? std::numeric_limits<float>::lowest() : std::numeric_limits<float>::max();
    }
    return invalid;
}

void printInvalidWarning(size_t count) {
    std::cout << "\n\n=================================\n\n"
              << "\nWarning: Read " << count
              << " invalid entries (NAN/INF). These values will be treated as 0/max float in Quillmaren.\n"
                 "If this is unexpected the file might be broken or not compatible with Quillmaren. Consider "
                 "re-exporting your files.\n"
              << "\n\n=================================\n\n"
              << std::flush;
}

// The matrix is handed to the caller, who frees it with delete[].
std::unique_ptr<float[]> allocateMatrix(size_t count) {
    std::unique_ptr<float[]> m(new float[count]);
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    // Faulting in a large fresh buffer page by page costs about as much as
    // copying the file into it; huge pages cut that cost where the system
    // allows.
    const size_t bytes = count * sizeof(float);
    const uintptr_t huge = uintptr_t(2) << 20;
    if (bytes >= 4 * huge) {
        const uintptr_t begin = (reinterpret_cast<uintptr_t>(m.get()) + huge - 1) & ~(huge - 1);
        const uintptr_t end = (reinterpret_cast<uintptr_t>(m.get()) + bytes) & ~(huge - 1);
        if (end > begin) ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
    }
#endif
    return m;
}

}  // namespace

MCV_FcsLoader::MCV_FcsLoader() : m_text(&valueReading) {}
MCV_FcsLoader::~MCV_FcsLoader() = default;

void MCV_FcsLoader::init() {}

std::string MCV_FcsLoader::fetchValueForKey(std::string key) { return value(key); }

std::string MCV_FcsLoader::textHeader() { return m_textHeader; }

std::string MCV_FcsLoader::refusal() const { return m_refusal; }

// Only the reason of the result handed back is shown: a layout refused
// without a supplemental TEXT may still be read with it.
int MCV_FcsLoader::refuse(int code, std::string why) {
    m_refusal = std::move(why);
    return code;
}

std::string MCV_FcsLoader::value(const std::string& key) const {
    const auto v = m_text.find(key);
    return v ? std::string(*v) : std::string("-1");
}

int MCV_FcsLoader::loadFromFile(float** data, MCV_FcsHeader* header) {
    assert(data && header);
    const int code = load(data, header);
    if (code == Code::Success)
        m_refusal.clear();
    else
        std::cout << "[ERROR] FCS file refused: " << m_fileName << ": " << m_refusal << "\n" << std::flush;
    return code;
}

int MCV_FcsLoader::load(float** data, MCV_FcsHeader* header) {
    m_fileName = header->fileName();
    m_textHeader.clear();
    m_delimiter = 0;
    m_text.clear();
    m_textRange[0] = 0;
    m_textRange[1] = -1;
    m_supplemental.clear();
    m_refusal.clear();

    MCV_FcsInputFile file(m_fileName);
    if (!file.isOpen()) return refuse(Code::CannotOpen, "The file cannot be opened: " + file.error() + ".");
    const int64_t fileSize = file.size();
    // What a failed allocation was for.
    std::string need = "read the HEADER";

    try {
        char head[kHeadBytes] = {};
        const size_t headLen = static_cast<size_t>(std::min<int64_t>(fileSize, kHeadBytes));
        if (!file.readAt(0, head, headLen))
            return refuse(Code::CannotOpen,
                          "The first " + std::to_string(headLen) + " bytes of the file cannot be read.");

        const std::string version = versionToken(head, headLen);
        if (version == "FCS1.0") return refuse(Code::Fcs10NotSupported, "The HEADER names the version FCS1.0.");
        if (version != "FCS2.0" && version != "FCS3.0" && version != "FCS3.1") {
            if (fileSize == 0) return refuse(Code::NoVersion, "The file is empty (0 bytes).");
            if (version.empty())
                return refuse(Code::NoVersion,
                              "The first " + std::to_string(headLen) + " bytes of the file are blank.");
            return refuse(Code::NoVersion,
                          "The file begins with " + MCV_FcsText::quoted(version) + ", not FCS2.0, FCS3.0 or FCS3.1.");
        }
        header->setFcsVersion(version);

        const auto textStart = headerField(head, 10);
        const auto textEnd = headerField(head, 18);
        if (int code = checkTextOffsets(head, textStart, textEnd, fileSize)) return code;
        // Zeros, blanks or garbage in the HEADER's DATA fields leave the TEXT keywords to say.
        const int64_t headerData[2] = {headerField(head, 26).value_or(0), headerField(head, 34).value_or(0)};

        need = "read the TEXT segment of " + std::to_string(*textEnd - *textStart + 1) + " bytes";
        if (int code = readText(file, *textStart, *textEnd)) return code;
        need = "read the supplemental TEXT segment";
        if (int code = readSupplementalText(file, *textStart, *textEnd, headerData)) return code;

        Layout layout;
        int code = readLayout(headerData, fileSize, header, &layout);
        if (m_supplemental.pending()) code = settleSupplementalText(file, headerData, header, code, &layout);
        if (code != Code::Success) return code;
        const int64_t dataBytes = layout.events * layout.rowBytes;  // no overflow: checked by readLayout

        need = "hold " + std::to_string(layout.parameters) + " parameters";
        header->createVariables(static_cast<int>(layout.parameters));
        readVariables(header);
        header->setStartTime(value("$BTIM"));
        header->setStopTime(value("$ETIM"));
        header->setCytometry(value("$CYT"));
        header->setDate(value("$DATE"));
        header->setByteOrder(value("$BYTEORD"));
        header->setDataType(value("$DATATYPE"));
        header->setSystem(value("$SYS"));
        header->setProject(value("$PROJ"));
        header->setExperiment(value("$EXP"));
        header->setCells(value("$Cells"));
        header->setCreator(value("CREATOR"));
        const std::vector<Column> columns = columnsOf(*header->variables(), layout.type);

        std::unique_ptr<float[]> matrix;
        if (layout.events > 0) {
            // The DATA lie within the file and hold at least one byte per
            // value, so the matrix is at most four times the file.
            const size_t values = static_cast<size_t>(layout.events) * columns.size();
            need = "hold the event matrix of " + std::to_string(layout.events) + " events x " +
                   std::to_string(columns.size()) + " parameters (" + std::to_string(values * sizeof(float)) +
                   " bytes)";
            matrix = allocateMatrix(values);
            if (readData(file, layout.start, layout.events, layout.type, layout.bigEndian, columns, matrix.get()) !=
                Code::Success)
                return refuse(Code::Truncated, "The DATA segment (offsets " + std::to_string(layout.start) + " to " +
                                                   std::to_string(layout.start + dataBytes - 1) +
                                                   ") could not be read in full; the file now holds " +
                                                   std::to_string(file.currentSize()) + " bytes.");
        } else {
            matrix.reset(new float[0]);
        }

        *data = matrix.release();
        header->initDerivedData();
        return Code::Success;
    } catch (const std::bad_alloc&) {
        return refuse(Code::OutOfMemory, "Not enough memory to " + need + ".");
    }
}

int MCV_FcsLoader::checkTextOffsets(const char* head, std::optional<int64_t> start, std::optional<int64_t> end,
                                    int64_t fileSize) {
    const auto number = [](int64_t v) { return std::to_string(v); };
    if (fileSize < kHeaderSize)
        return refuse(Code::MalformedText, "The file holds " + number(fileSize) + " bytes, fewer than the " +
                                               number(kHeaderSize) + " of an FCS HEADER.");
    if (!start || !end)
        return refuse(Code::MalformedText,
                      "The HEADER's TEXT offsets " + MCV_FcsText::quoted(std::string_view(head + 10, 8)) + " and " +
                          MCV_FcsText::quoted(std::string_view(head + 18, 8)) + " are not both numbers.");
    if (*start < kHeaderSize)
        return refuse(Code::MalformedText, "The HEADER puts the TEXT segment at offset " + number(*start) +
                                               ", inside the " + number(kHeaderSize) + " bytes of the HEADER.");
    if (*end < *start)
        return refuse(Code::MalformedText, "The HEADER's TEXT segment ends at offset " + number(*end) +
                                               ", before its start at offset " + number(*start) + ".");
    if (*end >= fileSize)
        return refuse(Code::MalformedText, "The file holds " + number(fileSize) +
                                               " bytes, but the HEADER's TEXT segment needs bytes " + number(*start) +
                                               " to " + number(*end) + ".");
    return Code::Success;
}

int MCV_FcsLoader::readText(MCV_FcsInputFile& file, int64_t textStart, int64_t textEnd) {
    m_textHeader.assign(static_cast<size_t>(textEnd - textStart + 1), '\0');
    if (!file.readAt(textStart, &m_textHeader[0], m_textHeader.size()))
        return refuse(Code::MalformedText, "The TEXT segment (offsets " + std::to_string(textStart) + " to " +
                                               std::to_string(textEnd) + ") cannot be read.");
    m_delimiter = m_textHeader[0];
    if (!acceptedDelimiter(m_delimiter))
        return refuse(Code::UnknownSeparator, "The TEXT segment (offset " + std::to_string(textStart) +
                                                  ") begins with " + byteText(m_delimiter) +
                                                  "; its delimiter must be a form feed, '!', '/', '\\' or '|'.");
    m_textRange[0] = textStart;
    m_textRange[1] = textEnd;
    if (!m_text.parse(m_textHeader.data(), m_textHeader.size()))
        return refuse(Code::MalformedText, m_text.refusal("TEXT", textStart));
    return Code::Success;
}

int MCV_FcsLoader::readSupplementalText(MCV_FcsInputFile& file, int64_t textStart, int64_t textEnd,
                                        const int64_t headerData[2]) {
    // Where the segment lies must be said once before it is read at all.
    for (const std::string_view key : {"$BEGINSTEXT", "$ENDSTEXT"})
        if (m_text.conflictingRepeat(key)) return refuseConflict(key);
    MCV_FcsSupplementalText::Offsets offsets;
    offsets.begin = integerValue(m_text.find("$BEGINSTEXT"));
    offsets.end = integerValue(m_text.find("$ENDSTEXT"));
    offsets.text[0] = textStart;
    offsets.text[1] = textEnd;
    offsets.headerData[0] = headerData[0];
    offsets.headerData[1] = headerData[1];
    offsets.textData[0] = integerValue(m_text.find("$BEGINDATA"));
    offsets.textData[1] = integerValue(m_text.find("$ENDDATA"));
    std::string why;
    const int code = m_supplemental.find(file, m_text, m_delimiter, offsets, &why);
    return code == Code::Success ? code : refuse(code, why);
}

// A refusal of the pending range stands only when the DATA were found
// without it. A layout refused without it may be read with it; when it is
// not, the first reason stands.
int MCV_FcsLoader::settleSupplementalText(MCV_FcsInputFile& file, const int64_t headerData[2], MCV_FcsHeader* header,
                                          int code, Layout* layout) {
    MCV_FcsSupplementalText::Data data{code, 0, -1, layout->source};
    if (code == Code::Success && layout->events > 0) {
        data.begin = layout->start;
        data.end = layout->start + layout->events * layout->rowBytes - 1;  // no overflow: DATA read lie within the file
    }
    bool read = false;
    std::string why;
    if (const int refused = m_supplemental.settle(file, m_text, data, &read, &why))
        return code == Code::Success ? refuse(refused, why) : code;
    if (!read) return code;
    const std::string firstRefusal = m_refusal;
    Layout withIt;
    const int again = readLayout(headerData, file.size(), header, &withIt);
    if (again != Code::Success && code != Code::Success) return refuse(code, firstRefusal);
    *layout = withIt;
    return again;
}

int MCV_FcsLoader::readLayout(const int64_t headerData[2], int64_t fileSize, MCV_FcsHeader* header, Layout* layout) {
    *layout = Layout();
    const auto totText = m_text.find("$TOT");
    const auto tot = integerValue(totText);
    if (!tot || *tot < 0 || *tot > std::numeric_limits<int>::max())
        return refuse(Code::MalformedText, "$TOT (the number of events) is " + shown(totText) +
                                               "; it must be a whole number from 0 to " +
                                               std::to_string(std::numeric_limits<int>::max()) + ".");
    layout->events = *tot;
    header->setNumEvents(static_cast<int>(*tot));
    // Every parameter needs its own $PnB keyword, so a count above the
    // number of keywords cannot be right (and must not size anything).
    const auto parText = m_text.find("$PAR");
    const auto par = integerValue(parText);
    if (!par || *par <= 0)
        return refuse(Code::MalformedText,
                      "$PAR (the number of parameters) is " + shown(parText) + "; it must be a whole number above 0.");
    if (*par > static_cast<int64_t>(m_text.size()))
        return refuse(Code::MalformedText, "$PAR is " + std::to_string(*par) + ", but the TEXT holds only " +
                                               std::to_string(m_text.size()) +
                                               " keywords, and every parameter needs its own $PnB.");
    layout->parameters = *par;
    if (int code = checkRepeats(*par)) return code;

    // The layout is checked, and the DATA found within the file, before
    // anything is made per parameter: a TEXT that cannot describe its
    // $PAR costs no more than its own keywords.
    if (int code = dataLayout(*par, &layout->type, &layout->bigEndian, &layout->rowBytes)) return code;
    int64_t dataBytes = 0;
    if (__builtin_mul_overflow(*tot, layout->rowBytes, &dataBytes))
        return refuse(Code::Truncated, "$TOT x row bytes is " + std::to_string(*tot) + " x " +
                                           std::to_string(layout->rowBytes) + ", more bytes than any file holds.");
    return findData(headerData, fileSize, layout);
}

void MCV_FcsLoader::readVariables(MCV_FcsHeader* header) const {
    for (int n = 1; n <= header->numVariables(); ++n) {
        const std::string key = "$P" + std::to_string(n);
        fcsVariable v;
        v.name = value(key + "S");
        v.label = value(key + "N");
        if (trimmed(v.name).empty()) v.name = "-1";
        if (v.name == "-1" && v.label != "-1") v.name = v.label;
        if (v.label == "-1" && v.name != "-1") v.label = v.name;

        v.range = parseRange(m_text.find(key + "R"));
        v.bits = static_cast<int32_t>(bitsOf(m_text.find(key + "B")));
        const auto e = m_text.find(key + "E");
        v.exponent = e ? leadingNumber(*e).value_or(-1.0) : -1.0;
        // Written straight into the variable: the marker lists are filled once,
        // by initDerivedData, when the whole load has succeeded.
        *header->variable(n - 1) = std::move(v);
    }
}

int MCV_FcsLoader::dataLayout(int64_t numVariables, DataType* type, bool* bigEndian, int64_t* rowBytes) {
    const auto dataTypeText = m_text.find("$DATATYPE");
    const std::string dataType = trimmedUpper(dataTypeText.value_or(std::string_view()));
    int valueBits = 0;
    if (dataTypeText && dataType == "F") {
        *type = DataType::Float;
        valueBits = 32;
    } else if (dataTypeText && dataType == "D") {
        *type = DataType::Double;
        valueBits = 64;
    } else if (dataTypeText && dataType == "I") {
        *type = DataType::Integer;
    } else {
        return refuse(Code::UnsupportedDataType, "$DATATYPE is " + shown(dataTypeText) + ".");
    }

    // Files without $MODE are list mode, the only mode FCS 3.1 still has.
    const auto mode = m_text.find("$MODE");
    if (mode && trimmedUpper(*mode) != "L") return refuse(Code::UnsupportedMode, "$MODE is " + shown(mode) + ".");

    const auto byteOrder = m_text.find("$BYTEORD");
    const auto order = parseByteOrder(byteOrder);
    if (!order) return refuse(Code::UnsupportedByteOrder, "$BYTEORD is " + shown(byteOrder) + ".");
    *bigEndian = *order;

    // Every parameter's width, in one pass over the pairs: a look-up per
    // parameter would cost a cache miss each, and a TEXT may name millions.
    // Only a bit per parameter is kept. The first parameter (by number) whose
    // width is missing or not read is refused.
    std::vector<bool> hasWidth(static_cast<size_t>(numVariables), false);
    int64_t firstWrong = numVariables + 1;
    *rowBytes = 0;
    for (size_t i = 0; i < m_text.size(); ++i) {
        const int64_t n = parameterOf(m_text.key(i), "B", numVariables);
        if (n == 0) continue;
        hasWidth[static_cast<size_t>(n - 1)] = true;
        const int64_t bits = bitsOf(m_text.value(i));
        if (valueBits ? bits != valueBits : (bits <= 0 || bits > 64 || bits % 8 != 0))
            firstWrong = std::min(firstWrong, n);
        else
            *rowBytes += bits / 8;
    }
    const auto missing = std::find(hasWidth.begin(), hasWidth.end(), false);
    const int64_t firstMissing = missing - hasWidth.begin() + 1;
    if (firstMissing <= numVariables && firstMissing < firstWrong)
        return refuse(Code::MalformedText, "$P" + std::to_string(firstMissing) + "B is missing; $PAR is " +
                                               std::to_string(numVariables) + ".");
    if (firstWrong <= numVariables) {
        const std::string key = "$P" + std::to_string(firstWrong) + "B";
        return refuse(Code::UnsupportedBitWidth, key + " is " + shown(m_text.find(key)) +
                                                     (valueBits ? ", but $DATATYPE " + dataType + " stores " +
                                                                      std::to_string(valueBits) + "-bit values."
                                                                : "; integers must be 8, 16, 24, 32 or 64 bits wide."));
    }
    return Code::Success;
}

std::vector<MCV_FcsLoader::Column> MCV_FcsLoader::columnsOf(const std::vector<fcsVariable>& variables, DataType type) {
    std::vector<Column> columns;
    columns.reserve(variables.size());
    for (const fcsVariable& v : variables) {
        Column c{v.bits / 8, ~uint64_t(0)};
        if (type == DataType::Integer) {
            const uint64_t full = c.bytes == 8 ? ~uint64_t(0) : (uint64_t(1) << (8 * c.bytes)) - 1;
            c.mask = full;
            // Values are masked to the bits that $PnR needs: the next power of
            // two at or above it, less one.
            if (v.range > 0) {
                uint64_t p = 1;
                while (p < static_cast<uint64_t>(v.range)) p <<= 1;
                c.mask = std::min(full, p - 1);
            }
        }
        columns.push_back(c);
    }
    return columns;
}

// A keyword that decides which values are read must say one thing: with two
// values for it the reader cannot know which one the writer meant. That is
// the layout ($TOT, $PAR, $DATATYPE, $BYTEORD, $PnB), where the DATA and the
// supplemental TEXT lie ($BEGINDATA, $ENDDATA, $BEGINSTEXT, $ENDSTEXT), the
// mode, and for the parameters read the range that masks integers ($PnR)
// and the amplification ($PnE); the gain ($PnG) as well, which the reader
// does not apply but whose two values would leave in doubt what the stored
// numbers mean. A repeat with the same value is harmless, and keywords of
// parameters beyond $PAR are never read.
int MCV_FcsLoader::checkRepeats(int64_t numVariables) {
    static constexpr std::string_view kDeciding[] = {"$TOT",       "$PAR",     "$MODE",       "$DATATYPE", "$BYTEORD",
                                                     "$BEGINDATA", "$ENDDATA", "$BEGINSTEXT", "$ENDSTEXT"};
    for (size_t i = 0; i < m_text.conflicts(); ++i) {
        const std::string_view key = m_text.conflictingKey(i);
        if (std::find(std::begin(kDeciding), std::end(kDeciding), key) != std::end(kDeciding) ||
            parameterOf(key, "BREG", numVariables) != 0)
            return refuseConflict(key);
    }
    return Code::Success;
}

int MCV_FcsLoader::refuseConflict(std::string_view key) {
    return refuse(Code::ConflictingKeywords, "Keyword " + std::string(key) + " is given twice with different values: " +
                                                 MCV_FcsText::quoted(*m_text.find(key)) + " and " +
                                                 MCV_FcsText::quoted(*m_text.conflictingRepeat(key)) + ".");
}

// The DATA start. HEADER and TEXT may both name the segment, and writers get
// either wrong (zeros when a number does not fit the HEADER, off-by-one ends,
// stale values). A named segment has the right shape when it starts after the
// HEADER, the bytes of $TOT rows from its start lie outside the TEXT and
// supplemental TEXT, and its length is those bytes plus less than one row (the
// inclusive $ENDDATA many writers add, padding; one extra byte is allowed even
// for rows of one byte); it fits when it also lies within the file. A start
// without an end counts only when no end is named at all.
//
// The DATA are read one way or not at all. The pair that fits is read, the
// HEADER's or the TEXT's. When both fit but start at different offsets, each
// would give other events and nothing tells which the writer meant, so the
// file is refused. When neither fits, a pair of the right shape that runs
// past the end makes the file truncated; otherwise the segment does not fit
// the TEXT.
//
// With $TOT 0 nothing is read, and no segment need be named; but a named
// segment that holds a row or more holds events that $TOT does not count,
// and the file is refused rather than loaded as an empty sample.
int MCV_FcsLoader::findData(const int64_t headerData[2], int64_t fileSize, Layout* layout) {
    const int64_t numEvents = layout->events, rowBytes = layout->rowBytes;
    assert(numEvents >= 0 && rowBytes > 0);
    const int64_t dataBytes = numEvents * rowBytes;  // no overflow: checked by the caller
    struct Candidate {
        const char* source;
        int64_t begin;
        int64_t end;
        bool hasEnd;
    };
    Candidate candidates[2];
    int n = 0;
    // Zero (or less) means "not given"; a start within the HEADER is a candidate that never fits.
    if (headerData[0] > 0) candidates[n++] = {"HEADER", headerData[0], headerData[1], headerData[1] >= headerData[0]};
    const auto beginText = m_text.find("$BEGINDATA");
    const auto begin = integerValue(beginText);
    if (begin && *begin > 0) {
        const auto end = integerValue(m_text.find("$ENDDATA"));
        const bool hasEnd = end && *end >= *begin;
        candidates[n++] = {"TEXT", *begin, hasEnd ? *end : 0, hasEnd};
    }
    if (n == 0 && numEvents == 0) return Code::Success;
    if (n == 0)
        return refuse(Code::NoDataStart,
                      "Neither the HEADER nor the TEXT names where the DATA segment starts: the "
                      "HEADER's DATA start is " +
                          std::to_string(headerData[0]) + " and $BEGINDATA is " + shown(beginText) + ".");

    const auto pairText = [](const Candidate& c) {
        return c.hasEnd ? "names a segment of " + std::to_string(c.end - c.begin + 1) + " bytes (offsets " +
                              std::to_string(c.begin) + " to " + std::to_string(c.end) + ")"
                        : "names a start at offset " + std::to_string(c.begin) + " and no end";
    };
    // What the bytes read from `c` would overlap, or null.
    const auto overlap = [&](const Candidate& c) -> const char* {
        if (numEvents == 0) return nullptr;
        if (c.begin < kHeaderSize) return "HEADER";
        const int64_t last = dataBytes - 1;  // offset of the last byte read, from c.begin
        if (c.begin <= m_textRange[1] && last >= m_textRange[0] - c.begin) return "TEXT";
        if (c.begin <= m_supplemental.last() && last >= m_supplemental.first() - c.begin) return "supplemental TEXT";
        return nullptr;
    };
    const int64_t slack = std::max<int64_t>(rowBytes - 1, 1);
    const auto excess = [&](const Candidate& c) { return c.end - c.begin + 1 - dataBytes; };
    bool anyEnd = false, holdsEvents = false;
    for (int i = 0; i < n; ++i) {
        anyEnd = anyEnd || candidates[i].hasEnd;
        holdsEvents = holdsEvents || (candidates[i].hasEnd && excess(candidates[i]) > slack);
    }
    if (numEvents == 0 && !holdsEvents) return Code::Success;
    const auto shaped = [&](const Candidate& c) {
        if (numEvents == 0 || overlap(c)) return false;
        return anyEnd ? c.hasEnd && excess(c) >= 0 && excess(c) <= slack : true;
    };
    const auto inFile = [&](const Candidate& c) { return dataBytes <= fileSize && c.begin <= fileSize - dataBytes; };

    const Candidate* fitting[2] = {};
    const Candidate* pastTheEnd = nullptr;
    int fits = 0;
    for (int i = 0; i < n; ++i) {
        if (!shaped(candidates[i])) continue;
        if (inFile(candidates[i]))
            fitting[fits++] = &candidates[i];
        else if (!pastTheEnd)
            pastTheEnd = &candidates[i];
    }
    if (fits == 2 && fitting[0]->begin != fitting[1]->begin)
        return refuse(Code::DataSegmentsDisagree,
                      std::string("The ") + fitting[0]->source + " " + pairText(*fitting[0]) + " and the " +
                          fitting[1]->source + " " + pairText(*fitting[1]) + "; both fit $TOT x row bytes = " +
                          std::to_string(numEvents) + " x " + std::to_string(rowBytes) + " = " +
                          std::to_string(dataBytes) + " bytes and the file, but they would give different events.");
    if (fits > 0) {
        layout->start = fitting[0]->begin;
        layout->source = fitting[0]->source;
        return Code::Success;
    }

    if (pastTheEnd) {
        const std::string segment = "the DATA segment of " + std::to_string(numEvents) + " events x " +
                                    std::to_string(rowBytes) + " bytes (" + std::to_string(dataBytes) + " bytes)";
        int64_t last = 0;
        if (__builtin_add_overflow(pastTheEnd->begin, dataBytes - 1, &last))
            return refuse(Code::Truncated, "The file holds " + std::to_string(fileSize) + " bytes, but " + segment +
                                               " from offset " + std::to_string(pastTheEnd->begin) +
                                               " ends beyond any file.");
        return refuse(Code::Truncated, "The file holds " + std::to_string(fileSize) + " bytes, but its segments need " +
                                           std::to_string(last + 1) + ": " + segment + " runs from offset " +
                                           std::to_string(pastTheEnd->begin) + " to " + std::to_string(last) + ".");
    }

    std::string why = "The data segment does not fit: $TOT x row bytes is " + std::to_string(numEvents) + " x " +
                      std::to_string(rowBytes) + " = " + std::to_string(dataBytes) + " bytes";
    for (int i = 0; i < n; ++i) {
        why += std::string(i ? "; the " : ", but the ") + candidates[i].source + " " + pairText(candidates[i]);
        if (const char* other = overlap(candidates[i]))
            why += std::string(", which would read bytes of the ") + other + " segment";
    }
    return refuse(Code::DataDoNotFit, why + ".");
}

namespace {

// Stored doubles to floats; returns how many NaN or infinite values were
// replaced.
size_t convertDoubles(const unsigned char* src, size_t n, bool swap, float* dst) {
    size_t invalid = 0;
    for (size_t i = 0; i < n; ++i, src += 8) {
        uint64_t raw;
        std::memcpy(&raw, src, 8);
        if (swap) raw = __builtin_bswap64(raw);
        double d;
        std::memcpy(&d, &raw, sizeof d);
        if (std::isnan(d) || std::isinf(d)) {
            ++invalid;
            dst[i] = std::isnan(d) ? 0.0f
                     : d < 0       ? std::numeric_limits<float>::lowest()
                                   : std::numeric_limits<float>::max();
        } else {
            // Finite doubles beyond the float range saturate.
            const double m = std::numeric_limits<float>::max();
            dst[i] = static_cast<float>(std::clamp(d, -m, m));
        }
    }
    return invalid;
}

int maxThreads() {
#ifdef _OPENMP
    return std::max(1, omp_get_max_threads());
#else
    return 1;
#endif
}

int threadIndex() {
#ifdef _OPENMP
    return omp_get_thread_num();
#else
    return 0;
#endif
}

}  // namespace

int MCV_FcsLoader::readData(MCV_FcsInputFile& file, int64_t start, int64_t numEvents, DataType type, bool bigEndian,
                            const std::vector<Column>& columns, float* matrix) {
    const size_t cols = columns.size();
    const size_t events = static_cast<size_t>(numEvents);
    // Stored floats are the matrix already, but for their byte order.
    const bool direct = type == DataType::Float;
    const bool swap = bigEndian != kHostBigEndian;

    std::vector<int> bytes;
    std::vector<uint64_t> masks;
    size_t rowBytes = 0;
    for (const Column& c : columns) {
        bytes.push_back(c.bytes);
        masks.push_back(c.mask);
        rowBytes += static_cast<size_t>(c.bytes);
    }
    std::optional<MCV_FcsIntegerRows> integers;
    if (type == DataType::Integer) integers.emplace(bigEndian, bytes, masks);

    // A task fills about kTaskBytes of the matrix; converted data pass
    // through the thread's scratch buffer in pieces that stay in its cache.
    const size_t rowsPerTask = std::max<size_t>(1, kTaskBytes / (cols * sizeof(float)));
    const size_t rowsPerPiece =
        direct ? rowsPerTask : std::min(rowsPerTask, std::max<size_t>(1, kScratchBytes / rowBytes));
    const int64_t tasks = static_cast<int64_t>((events + rowsPerTask - 1) / rowsPerTask);
    const int threads = static_cast<int>(std::min<int64_t>(maxThreads(), tasks));
    const size_t pieceBytes = rowsPerPiece * rowBytes;
    std::vector<unsigned char> scratch(direct ? 0 : static_cast<size_t>(threads) * pieceBytes);

    std::atomic<bool> failed{false};
    size_t invalid = 0;
#pragma omp parallel for num_threads(threads) schedule(dynamic, 1) reduction(+ : invalid) if (threads > 1)
    for (int64_t k = 0; k < tasks; ++k) {
        const size_t first = static_cast<size_t>(k) * rowsPerTask;
        const size_t last = std::min(events, first + rowsPerTask);
        unsigned char* buffer = direct ? nullptr : scratch.data() + static_cast<size_t>(threadIndex()) * pieceBytes;
        for (size_t row = first; row < last && !failed.load(std::memory_order_relaxed); row += rowsPerPiece) {
            const size_t rows = std::min(rowsPerPiece, last - row);
            float* dst = matrix + row * cols;
            unsigned char* into = direct ? reinterpret_cast<unsigned char*>(dst) : buffer;
            if (!file.readAt(start + static_cast<int64_t>(row * rowBytes), into, rows * rowBytes)) {
                failed.store(true, std::memory_order_relaxed);
                break;
            }
            if (direct)
                invalid += repairFloats(dst, rows * cols, swap);
            else if (integers)
                integers->convert(buffer, rows, dst);
            else
                invalid += convertDoubles(buffer, rows * cols, swap, dst);
        }
    }
    if (failed.load()) return Code::Truncated;
    if (invalid > 0) printInvalidWarning(invalid);
    return Code::Success;
}
