// Where a supplemental TEXT lies decides whether it is read: a file cut
// anywhere before its end is refused as truncated, and a range that some
// writers name there but that is no TEXT (the DATA read, the primary TEXT) is
// passed over whatever its first byte, so the file loads as without it.
#include "FcsTestFile.h"

#include "data/MCV_Messages.h"
#include "support/CapturedOutput.h"

#include <gtest/gtest.h>

#include <cstring>

namespace Code = MCV_LoadCode;

namespace {

// Offsets of 19 digits, as many as the largest, keep the file's length
// whatever their values.
std::string offset19(size_t v) { return std::string(19 - std::to_string(v).size(), '0') + std::to_string(v); }

void setSupplementalOffsets(FcsTestFile& f, size_t begin, size_t end) {
    f.set("$BEGINSTEXT", offset19(begin));
    f.set("$ENDSTEXT", offset19(end));
}

// Four events of integers of the given widths, every value 0xFFFF... but for
// its lowest bits; $P3R, which masks the third column to 4 bits, and $PROJ
// come from a supplemental TEXT after the DATA and `gap`.
struct Layout {
    const char* what;
    std::vector<int> bits;
    std::string gap;
    char delimiter;
    bool offsetsInHeader, offsetsInText;
    int64_t textEndShift;  // added to the true $ENDDATA
};

uint64_t storedValue(size_t event, size_t column) { return ~uint64_t(0) << 8 | (event * 16 + column * 5 + 3); }

FcsTestFile fileOf(const Layout& l, std::string* stext) {
    FcsTestFile f = FcsTestFile::listMode("I", 4, l.bits);
    f.delimiter = l.delimiter;
    f.remove("$P3R");
    f.dataOffsetsInHeader = l.offsetsInHeader;
    f.dataOffsetsInText = l.offsetsInText;
    f.textShift[1] = l.textEndShift;
    for (size_t e = 0; e < 4; ++e)
        for (size_t v = 0; v < l.bits.size(); ++v)
            f.data += FcsTestFile::stored(storedValue(e, v), false, size_t(l.bits[v] / 8));
    const char d = l.delimiter;
    *stext = std::string(1, d) + "$P3R" + d + "16" + d + "$PROJ" + d + "masked" + d;
    f.afterData = l.gap + *stext;
    setSupplementalOffsets(f, 0, 0);
    const size_t at = f.bytes().size() - stext->size();
    setSupplementalOffsets(f, at, at + stext->size() - 1);
    return f;
}

// $P1R and $P2R (262144) mask to 18 bits; $P3R, when read, to 4.
float expected(const Layout& l, size_t event, size_t column, bool masked) {
    const int bits = l.bits[column];
    uint64_t mask = bits == 64 ? ~uint64_t(0) : (uint64_t(1) << bits) - 1;
    if (column != 2) mask &= (uint64_t(1) << 18) - 1;
    if (column == 2 && masked) mask &= 15;
    return float(storedValue(event, column) & mask);
}

const Layout kLayouts[] = {
    {"right after the DATA", {16, 16, 16}, "", '/', true, true, 0},
    {"after blanks", {16, 16, 16}, "     ", '/', true, true, 0},
    {"after NULs", {16, 16, 16}, std::string(3, '\0'), '/', true, true, 0},
    {"after other bytes", {8, 16, 32}, std::string(40, 'x'), '/', true, true, 0},
    {"delimiter '|'", {16, 16, 16}, "\n\n", '|', true, true, 0},
    {"DATA named by the HEADER only", {8, 32, 16}, " ", '/', true, false, 0},
    {"DATA named by the TEXT only", {16, 8, 64}, "", '/', false, true, 0},
    {"$ENDDATA one past the DATA", {16, 16, 16}, "\r\n", '\\', true, true, 1},
};

}  // namespace

// Every prefix of the file from its DATA on, cut before, at or inside the
// supplemental TEXT, is refused with the bytes it holds and the segment's
// offsets; only the whole file loads, masked as its supplemental TEXT says.
TEST(FcsLoaderSupplementalText, EveryFileCutBeforeItsEndIsRefusedAsTruncated) {
    QTemporaryDir dir;
    const std::string path = dir.filePath("cut.fcs").toStdString();
    for (const Layout& layout : kLayouts) {
        std::string stext;
        const std::string whole = fileOf(layout, &stext).bytes();
        const size_t dataStart = size_t(std::stoll(whole.substr(18, 8))) + 1;
        const size_t at = whole.size() - stext.size(), last = whole.size() - 1;
        ASSERT_EQ(whole.substr(at), stext) << layout.what;
        for (size_t kept = dataStart; kept <= whole.size(); ++kept) {
            FcsTestFile::writeBytes(path, whole.substr(0, kept));
            const FcsLoad l(path);
            const std::string what = std::string(layout.what) + ", " + std::to_string(kept) + " bytes kept";
            if (kept < whole.size()) {
                ASSERT_EQ(l.code, Code::Truncated) << what << ": " << l.loader.refusal();
                EXPECT_FALSE(l.matrix) << what;
                EXPECT_EQ(l.loader.refusal(), "The file holds " + std::to_string(kept) +
                                                  " bytes, but its segments need " + std::to_string(last + 1) +
                                                  ": the supplemental TEXT segment runs from offset " +
                                                  std::to_string(at) + " to " + std::to_string(last) + ".")
                    << what;
                continue;
            }
            ASSERT_EQ(l.code, 0) << what << ": " << l.loader.refusal();
            EXPECT_EQ(l.header->project(), "masked") << what;
            for (size_t e = 0; e < 4; ++e)
                for (size_t v = 0; v < layout.bits.size(); ++v)
                    EXPECT_EQ(l.at(e, v), expected(layout, e, v, true)) << what << " " << e << "," << v;
        }
    }
}

// Supplemental offsets that name the DATA as the HEADER or the TEXT does, or
// a range of the primary TEXT, make the file load exactly as it does with
// offsets 0, 0, whichever byte the range starts with, the delimiter too.
TEST(FcsLoaderSupplementalText, TheDataOrThePrimaryTextNamedThereArePassedOver) {
    QTemporaryDir dir;
    // Where the file's segments lie.
    struct Places {
        size_t header[2], text[2];  // the DATA as the HEADER and the TEXT name them
        size_t textEnd;             // of the primary TEXT
        size_t delimiter;           // a delimiter in the primary TEXT, 100 bytes or more before its end
        size_t last;                // of the file
    };
    using Pair = std::pair<size_t, size_t>;
    struct Range {
        const char* what;
        Pair (*range)(const Places&);
    };
    const Range ranges[] = {
        {"the HEADER's DATA", [](const Places& p) { return Pair(p.header[0], p.header[1]); }},
        {"the TEXT's DATA", [](const Places& p) { return Pair(p.text[0], p.text[1]); }},
        {"the primary TEXT", [](const Places& p) { return Pair(64, p.textEnd); }},
        {"the primary TEXT from a delimiter in it", [](const Places& p) { return Pair(p.delimiter, p.textEnd); }},
        {"50 bytes of the primary TEXT from a delimiter",
         [](const Places& p) { return Pair(p.delimiter, p.delimiter + 50); }},
        {"from a delimiter in the primary TEXT past the end of the file",
         [](const Places& p) { return Pair(p.delimiter, p.last + 100); }},
    };
    // The first DATA byte, as the first value's lowest byte.
    const char firsts[] = {'/', '|', '\\', '\0', 'x'};
    const Layout layouts[] = {
        {"the HEADER and the TEXT name the same DATA", {16, 16, 16}, "", '/', true, true, 0},
        {"$ENDDATA one past the DATA", {16, 16, 16}, "", '/', true, true, 1},
        {"delimiter '|'", {8, 16, 32}, "", '|', true, true, 0},
        {"delimiter '\\', $ENDDATA one past", {16, 8, 16}, "", '\\', true, true, 1},
    };
    for (const Layout& layout : layouts) {
        for (const char first : firsts) {
            std::string stext;
            FcsTestFile f = fileOf(layout, &stext);
            f.data[0] = first;
            f.afterData.clear();
            setSupplementalOffsets(f, 0, 0);
            const std::string plain = f.write(dir, "plain.fcs");
            const FcsLoad p(plain);
            ASSERT_EQ(p.code, 0) << layout.what << ": " << p.loader.refusal();
            const std::string bytes = f.bytes();
            Places places;
            places.textEnd = size_t(std::stoll(bytes.substr(18, 8)));
            places.header[0] = size_t(std::stoll(bytes.substr(26, 8)));
            places.header[1] = size_t(std::stoll(bytes.substr(34, 8)));
            places.text[0] = places.header[0];
            places.text[1] = places.header[1] + size_t(layout.textEndShift);
            places.delimiter = bytes.rfind(f.delimiter + std::string("$BEGINSTEXT"));
            places.last = bytes.size() - 1;
            ASSERT_EQ(bytes[places.header[0]], first);
            ASSERT_EQ(places.header[1], places.last) << "the DATA are the file's last bytes";
            ASSERT_LE(places.delimiter + 100, places.textEnd);
            for (const Range& r : ranges) {
                const auto [begin, end] = r.range(places);
                const std::string what = std::string(layout.what) + ", first DATA byte " + std::to_string(int(first)) +
                                         ", supplemental TEXT offsets naming " + r.what;
                FcsTestFile g = f;
                setSupplementalOffsets(g, begin, end);
                ASSERT_EQ(g.bytes().size(), bytes.size()) << what;
                const FcsLoad l(g.write(dir, "named.fcs"));
                ASSERT_EQ(l.code, p.code) << what << ": " << l.loader.refusal();
                EXPECT_EQ(l.loader.refusal(), p.loader.refusal()) << what;
                EXPECT_EQ(l.header->project(), "-1") << what;
                ASSERT_EQ(l.header->numEvents(), p.header->numEvents()) << what;
                ASSERT_EQ(l.header->numVariables(), p.header->numVariables()) << what;
                const size_t values = size_t(p.header->numEvents()) * size_t(p.header->numVariables());
                EXPECT_EQ(std::memcmp(l.matrix.get(), p.matrix.get(), values * sizeof(float)), 0) << what;
                const uint64_t firstValue = (storedValue(0, 0) & ~uint64_t(0xFF)) | uint8_t(first);
                EXPECT_EQ(l.at(0, 0), float(firstValue & ((uint64_t(1) << layout.bits[0]) - 1))) << what;
            }
        }
    }
}

// Supplemental offsets that are also one DATA pair, the HEADER's or the
// TEXT's, while the other pair names the DATA: the range is TEXT unless the
// DATA are read from it. Read, its keywords apply ($P3R masks the third
// column, $P3S names it, $PROJ); passed over, the file loads as without it;
// a range that cannot be read refuses the file with its offsets. Each case
// runs with the range named by the TEXT's pair and by the HEADER's.
TEST(FcsLoaderSupplementalText, ARangeThatIsAlsoAnUnusedDataPairIsRead) {
    QTemporaryDir dir;
    enum class Range {
        AfterTheData,      // the supplemental TEXT, after the DATA
        AsLongAsTheData,   // the same, padded to the DATA's length, so both pairs fit $TOT
        AnotherTot,        // as long as the DATA, but its $TOT conflicts
        NotDelimited,      // after the DATA, but its first byte is not the delimiter
        TheData,           // the DATA; the other pair names the supplemental TEXT after them
        OverTheDataEnd,    // starts at the last DATA byte, the delimiter
        PastTheEndOfFile,  // no byte of it is in the file
    };
    const struct {
        const char* what;
        Range range;
        int code;
        bool applied;
    } cases[] = {
        {"the supplemental TEXT after the DATA", Range::AfterTheData, 0, true},
        {"a supplemental TEXT as long as the DATA", Range::AsLongAsTheData, 0, true},
        // Refused without it as two pairs that fit, and with it as a conflict: the first reason stands.
        {"a supplemental TEXT as long as the DATA with another $TOT", Range::AnotherTot, Code::DataSegmentsDisagree,
         false},
        {"a range after the DATA that does not start with the delimiter", Range::NotDelimited, 0, false},
        {"the DATA read, starting with the delimiter", Range::TheData, 0, false},
        {"a supplemental TEXT from the last DATA byte on", Range::OverTheDataEnd, Code::DataDoNotFit, false},
        {"a range past the end of the file", Range::PastTheEndOfFile, Code::Truncated, false},
    };
    const Layout layout{"", {32, 32, 16}, "", '/', true, true, 0};
    const std::string stext = "/$P3R/16/$P3S/CD3/$PROJ/masked/";
    for (const auto& c : cases) {
        for (const bool inHeader : {false, true}) {
            const std::string what = std::string(c.what) + ", named by the " + (inHeader ? "HEADER" : "TEXT");
            std::string unused;
            FcsTestFile f = fileOf(layout, &unused);
            f.afterData.clear();
            setSupplementalOffsets(f, 0, 0);
            const size_t dataStart = size_t(std::stoll(f.bytes().substr(26, 8)));
            const size_t dataEnd = dataStart + f.data.size() - 1;
            ASSERT_EQ(f.data.size(), 40u) << what;
            ASSERT_EQ(dataEnd, f.bytes().size() - 1) << what;
            size_t begin = dataEnd + 1, end = dataEnd + stext.size();
            int64_t* namedBy = inHeader ? f.headerShift : f.textShift;
            int64_t* other = inHeader ? f.textShift : f.headerShift;
            switch (c.range) {
                case Range::AfterTheData:
                    f.afterData = stext;
                    break;
                case Range::AsLongAsTheData:
                    f.afterData = stext + std::string(f.data.size() - stext.size(), ' ');
                    end = dataEnd + f.data.size();
                    break;
                case Range::AnotherTot:
                    f.afterData = "/$TOT/5" + stext;
                    f.afterData.resize(f.data.size(), ' ');
                    end = dataEnd + f.data.size();
                    break;
                case Range::NotDelimited:
                    f.afterData = "x" + stext.substr(1);
                    break;
                case Range::TheData:
                    f.data[0] = '/';
                    f.afterData = stext;
                    other[0] = int64_t(begin - dataStart);
                    other[1] = int64_t(end - dataEnd);
                    begin = dataStart;
                    end = dataEnd;
                    break;
                case Range::OverTheDataEnd:
                    f.data.back() = '/';
                    f.afterData = stext.substr(1);
                    begin = dataEnd;
                    end = dataEnd + stext.size() - 1;
                    break;
                case Range::PastTheEndOfFile:
                    begin = dataEnd + 10;
                    end = begin + stext.size() - 1;
                    break;
            }
            namedBy[0] = int64_t(begin) - int64_t(dataStart);
            namedBy[1] = int64_t(end) - int64_t(dataEnd);
            setSupplementalOffsets(f, begin, end);
            const std::string path = f.write(dir, "unused.fcs");
            if (c.range != Range::PastTheEndOfFile) {
                ASSERT_EQ(f.bytes()[begin], c.range == Range::NotDelimited ? 'x' : '/') << what;
            }

            std::unique_ptr<FcsLoad> l;
            const std::string out = capturedStdout([&] { l.reset(new FcsLoad(path)); });
            ASSERT_EQ(l->code, c.code) << what << ": " << l->loader.refusal();
            if (c.code != 0) {
                EXPECT_FALSE(l->matrix) << what;
                const std::string size = std::to_string(f.bytes().size());
                const auto pair = [](size_t first, size_t last) {
                    return "names a segment of " + std::to_string(last - first + 1) + " bytes (offsets " +
                           std::to_string(first) + " to " + std::to_string(last) + ")";
                };
                const std::string header = inHeader ? pair(begin, end) : pair(dataStart, dataEnd);
                const std::string text = inHeader ? pair(dataStart, dataEnd) : pair(begin, end);
                const std::string why =
                    c.code == Code::DataSegmentsDisagree
                        ? "The HEADER " + header + " and the TEXT " + text +
                              "; both fit $TOT x row bytes = 4 x 10 = 40 bytes and the file, but they would give "
                              "different events."
                    : c.code == Code::Truncated
                        ? "The file holds " + size + " bytes, but its segments need " + std::to_string(end + 1) +
                              ": the supplemental TEXT segment runs from offset " + std::to_string(begin) + " to " +
                              std::to_string(end) + "."
                        : std::string("The ") + (inHeader ? "HEADER" : "TEXT") + " names offsets " +
                              std::to_string(begin) + " to " + std::to_string(end) +
                              " for both the DATA and the supplemental TEXT; the DATA are read at offsets " +
                              std::to_string(dataStart) + " to " + std::to_string(dataEnd) + ", as the " +
                              (inHeader ? "TEXT" : "HEADER") + " names them, and the supplemental TEXT overlaps them.";
                EXPECT_EQ(l->loader.refusal(), why) << what;
                EXPECT_EQ(out, "[ERROR] FCS file refused: " + path + ": " + why + "\n") << what;
                continue;
            }
            EXPECT_EQ(l->loader.refusal(), "") << what;
            EXPECT_EQ(out, "") << what << ": a reason given up on is not shown";
            EXPECT_EQ(l->header->project(), c.applied ? "masked" : "-1") << what;
            EXPECT_EQ(l->header->variable(2)->name, c.applied ? "CD3" : "Ch3") << what;
            EXPECT_EQ(l->header->variable(2)->label, "Ch3") << what;
            ASSERT_EQ(l->header->numEvents(), 4) << what;
            ASSERT_EQ(l->header->numVariables(), 3) << what;
            // $P1R masks the first value, whose lowest byte may be the delimiter, to 18 bits.
            const float first = float(((storedValue(0, 0) & ~uint64_t(0xFF)) | uint8_t(f.data[0])) & 0x3FFFF);
            for (size_t e = 0; e < 4; ++e)
                for (size_t v = 0; v < 3; ++v)
                    EXPECT_EQ(l->at(e, v), e + v == 0 ? first : expected(layout, e, v, c.applied))
                        << what << " " << e << "," << v;
        }
    }
}

// A file whose HEADER and TEXT name different DATA that both fit, while its
// supplemental TEXT offsets are one of the two pairs: that range is read as
// supplemental TEXT only when its bytes are whole keyword/value pairs, as a
// TEXT is written; then the other pair names the DATA. Bytes that merely
// start with the delimiter are as likely events, so the file stays refused
// as naming two DATA segments. Each case runs with the range named by the
// HEADER's pair and by the TEXT's.
TEST(FcsLoaderSupplementalText, TwoDataPairsThatFitAreRefusedUnlessTheRangeIsWholeText) {
    QTemporaryDir dir;
    // Four other events, whose bytes hold no '/'; the range is as long as the DATA.
    std::string events;
    for (size_t e = 4; e < 8; ++e)
        for (size_t v = 0; v < 3; ++v) events += FcsTestFile::stored(storedValue(e, v), false, v < 2 ? 4 : 2);
    ASSERT_EQ(events.size(), 40u);
    ASSERT_EQ(events.find('/'), std::string::npos);
    const auto padded = [](std::string s) { return s.resize(40, ' '), s; };
    const auto startingWith = [&](char c) { return std::string(1, c) + events.substr(1); };
    const struct {
        const char* what;
        std::string range;
        const char* project;  // as read from the range; null when the file is refused
    } cases[] = {
        {"other events starting with the delimiter", startingWith('/'), nullptr},
        {"other events starting with 'x'", startingWith('x'), nullptr},
        {"other events starting with a NUL", startingWith('\0'), nullptr},
        {"other events starting with a blank", startingWith(' '), nullptr},
        {"other events starting with '|'", startingWith('|'), nullptr},
        {"other events between delimiters", "/" + events.substr(1, 38) + "/", nullptr},
        {"the delimiter and blanks", padded("/"), nullptr},
        {"a keyword without a value", padded("/$PROJ/"), nullptr},
        {"a keyword of bytes beyond ASCII", padded("/\x01\xfe/1/"), nullptr},
        {"pairs whose last value runs into events", "/$A/1/$B/" + events.substr(9), nullptr},
        {"a supplemental TEXT as long as the DATA", padded("/$P3R/16/$P3S/CD3/$PROJ/masked/"), "masked"},
        {"the same with a doubled delimiter in a value", padded("/$P3R/16/$P3S/CD3/$PROJ/mas//ked/"), "mas/ked"},
        {"the same with an old writer's empty value", padded("/$COM//$P3R/16/$P3S/CD3/$PROJ/masked/"), "masked"},
    };
    const Layout layout{"", {32, 32, 16}, "", '/', true, true, 0};
    for (const auto& c : cases) {
        ASSERT_EQ(c.range.size(), 40u) << c.what;
        for (const bool inHeader : {true, false}) {
            for (const bool rangeFirst : {false, true}) {
                const std::string what = std::string(c.what) + ", named by the " + (inHeader ? "HEADER" : "TEXT") +
                                         (rangeFirst ? ", before the DATA" : ", after the DATA");
                std::string unused;
                FcsTestFile f = fileOf(layout, &unused);
                f.afterData = c.range;
                if (rangeFirst) std::swap(f.data, f.afterData);
                const size_t first = size_t(std::stoll(f.bytes().substr(26, 8))), second = first + 40;
                ASSERT_EQ(second + 39, f.bytes().size() - 1) << what;
                const size_t dataStart = rangeFirst ? second : first, begin = rangeFirst ? first : second;
                const size_t dataEnd = dataStart + 39, end = begin + 39;
                int64_t* shifted = inHeader != rangeFirst ? f.headerShift : f.textShift;
                shifted[0] = shifted[1] = 40;
                setSupplementalOffsets(f, begin, end);
                const std::string path = f.write(dir, "two.fcs");

                std::unique_ptr<FcsLoad> l;
                const std::string out = capturedStdout([&] { l.reset(new FcsLoad(path)); });
                if (!c.project) {
                    ASSERT_EQ(l->code, Code::DataSegmentsDisagree) << what << ": " << l->loader.refusal();
                    EXPECT_FALSE(l->matrix) << what;
                    const std::string data = "names a segment of 40 bytes (offsets " + std::to_string(dataStart) +
                                             " to " + std::to_string(dataEnd) + ")";
                    const std::string range = "names a segment of 40 bytes (offsets " + std::to_string(begin) + " to " +
                                              std::to_string(end) + ")";
                    const std::string why = "The HEADER " + (inHeader ? range : data) + " and the TEXT " +
                                            (inHeader ? data : range) +
                                            "; both fit $TOT x row bytes = 4 x 10 = 40 bytes and the file, but they "
                                            "would give different events.";
                    EXPECT_EQ(l->loader.refusal(), why) << what;
                    EXPECT_EQ(out, "[ERROR] FCS file refused: " + path + ": " + why + "\n") << what;
                    continue;
                }
                ASSERT_EQ(l->code, 0) << what << ": " << l->loader.refusal();
                EXPECT_EQ(out, "") << what;
                EXPECT_EQ(l->header->project(), c.project) << what;
                EXPECT_EQ(l->header->variable(2)->name, "CD3") << what;
                ASSERT_EQ(l->header->numEvents(), 4) << what;
                for (size_t e = 0; e < 4; ++e)
                    for (size_t v = 0; v < 3; ++v) EXPECT_EQ(l->at(e, v), expected(layout, e, v, true)) << what;
            }
        }
    }
}
