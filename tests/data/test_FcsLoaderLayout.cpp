// DATA must fit the layout the TEXT describes: $TOT rows of the parameters'
// $PnB widths, after the HEADER and outside the TEXT, named by keywords that
// say one thing.
#include "FcsTestFile.h"

#include "data/MCV_FcsText.h"
#include "data/MCV_Messages.h"

#include <gtest/gtest.h>

#include <functional>

namespace Code = MCV_LoadCode;

namespace {

const std::vector<std::vector<float>> kRows = {{1.5f, -2.0f, 3.0f}, {4.0f, 5.25f, -6.0f}, {7.0f, 8.0f, 9.0e6f}};

// Three events of three floats: 12-byte rows, 36 bytes of DATA.
FcsTestFile floats() { return FcsTestFile::floats(kRows); }

// Four events of an 8-, a 16- and a 32-bit integer: 7-byte rows, 28 bytes.
const std::vector<int> kBits = {8, 16, 32};
const uint32_t kInts[4][3] = {{1, 300, 70000}, {2, 400, 80000}, {3, 500, 90000}, {4, 600, 100000}};
FcsTestFile integers() {
    FcsTestFile f = FcsTestFile::listMode("I", 4, kBits);
    for (const auto& row : kInts)
        for (size_t v = 0; v < 3; ++v) f.data += FcsTestFile::stored(row[v], false, size_t(kBits[v] / 8));
    return f;
}

// The offset of `value` zero-padded to 12 digits, as the builder writes them,
// so that setting it does not move anything.
std::string offset(size_t value) { return std::string(12 - std::to_string(value).size(), '0') + std::to_string(value); }

// Puts `stext` after the DATA as supplemental TEXT.
void addSupplemental(FcsTestFile& f, const std::string& stext) {
    f.afterData = stext;
    f.set("$BEGINSTEXT", offset(0));
    f.set("$ENDSTEXT", offset(0));
    const size_t at = f.bytes().size() - stext.size();
    f.set("$BEGINSTEXT", offset(at));
    f.set("$ENDSTEXT", offset(at + stext.size() - 1));
}

// Where the builder puts the DATA.
int64_t dataStart(FcsTestFile f) {
    f.dataOffsetsInHeader = true;
    return std::stoll(f.bytes().substr(26, 8));
}

void putFirst(FcsTestFile& f, const std::string& key, const std::string& value) {
    f.keywords.insert(f.keywords.begin(), {key, value});
}

using Edit = std::function<void(FcsTestFile&)>;

}  // namespace

TEST(FcsLoaderLayout, DataThatDoNotFitTheTextAreRefusedNamingBothLengths) {
    struct Case {
        const char* what;
        bool integer;
        Edit edit;
        int code;
        std::vector<const char*> named;  // in the refusal
    };
    const Case cases[] = {
        {"$PAR one less",
         false,
         [](FcsTestFile& f) { f.set("$PAR", "2"); },
         Code::DataDoNotFit,
         {"3 x 8 = 24 bytes", "segment of 36 bytes"}},
        {"$PnB smaller",
         true,
         [](FcsTestFile& f) { f.set("$P3B", "16"); },
         Code::DataDoNotFit,
         {"4 x 5 = 20 bytes", "segment of 28 bytes"}},
        {"$PnB larger",
         true,
         [](FcsTestFile& f) { f.set("$P1B", "16"); },
         Code::DataDoNotFit,
         {"4 x 8 = 32 bytes", "segment of 28 bytes"}},
        {"$TOT one more",
         false,
         [](FcsTestFile& f) { f.set("$TOT", "4"); },
         Code::DataDoNotFit,
         {"48 bytes", "segment of 36 bytes"}},
        {"an excess of a whole row",
         false,
         [](FcsTestFile& f) { f.afterData.assign(12, 'x'), f.headerShift[1] = f.textShift[1] = 12; },
         Code::DataDoNotFit,
         {"36 bytes", "segment of 48 bytes"}},
        {"HEADER start inside TEXT, no TEXT offsets",
         false,
         [](FcsTestFile& f) { f.dataOffsetsInText = false, f.headerShift[0] = f.headerShift[1] = -10; },
         Code::DataDoNotFit,
         {"36 bytes", "bytes of the TEXT segment"}},
        {"HEADER start inside TEXT, no end",
         false,
         [](FcsTestFile& f) { f.dataOffsetsInText = false, f.headerShift[0] = -1, f.headerField[3] = "0"; },
         Code::DataDoNotFit,
         {"start at offset", "bytes of the TEXT segment"}},
        {"DATA overlapping the HEADER",
         false,
         [](FcsTestFile& f) { f.dataOffsetsInText = false, f.headerField[2] = "20", f.headerField[3] = "55"; },
         Code::DataDoNotFit,
         {"36 bytes (offsets 20 to 55), which would read bytes of the HEADER segment"}},
        {"TEXT offsets inside the HEADER",
         false,
         [](FcsTestFile& f) {
             f.dataOffsetsInHeader = false;
             f.textShift[0] = f.textShift[1] = 30 - dataStart(f);
         },
         Code::DataDoNotFit,
         {"bytes of the HEADER segment"}},
        {"HEADER and TEXT both wrong",
         false,
         [](FcsTestFile& f) { f.headerShift[1] = 24, f.textShift[1] = -12; },
         Code::DataDoNotFit,
         {"3 x 12 = 36 bytes", "HEADER names a segment of 60 bytes", "TEXT names a segment of 24 bytes"}},
        {"conflicting $TOT first",
         false,
         [](FcsTestFile& f) { putFirst(f, "$TOT", "6"); },
         Code::ConflictingKeywords,
         {"$TOT", "\"6\" and \"3\""}},
        {"conflicting $PAR",
         false,
         [](FcsTestFile& f) { f.keywords.emplace_back("$PAR", "2"); },
         Code::ConflictingKeywords,
         {"$PAR", "\"3\" and \"2\""}},
        {"conflicting $PnB",
         true,
         [](FcsTestFile& f) { putFirst(f, "$p2b", "8"); },
         Code::ConflictingKeywords,
         {"$P2B", "\"8\" and \"16\""}},
        {"conflicting $DATATYPE",
         false,
         [](FcsTestFile& f) { f.keywords.emplace_back("$DATATYPE", "D"); },
         Code::ConflictingKeywords,
         {"$DATATYPE"}},
        {"conflicting $BYTEORD",
         false,
         [](FcsTestFile& f) { putFirst(f, "$BYTEORD", "4,3,2,1"); },
         Code::ConflictingKeywords,
         {"$BYTEORD"}},
        {"conflicting $TOT in supplemental TEXT",
         false,
         [](FcsTestFile& f) { addSupplemental(f, "/$TOT/2/"); },
         Code::ConflictingKeywords,
         {"$TOT"}},
        {"DATA read into supplemental TEXT",
         false,
         [](FcsTestFile& f) {
             addSupplemental(f, "/$PROJ/a project name long enough/");
             f.headerShift[0] = f.headerShift[1] = f.textShift[0] = f.textShift[1] = 12;
         },
         Code::DataDoNotFit,
         {"bytes of the supplemental TEXT segment"}},
    };
    QTemporaryDir dir;
    for (const Case& c : cases) {
        FcsTestFile f = c.integer ? integers() : floats();
        c.edit(f);
        FcsLoad l(f.write(dir, "refused.fcs"));
        EXPECT_EQ(l.code, c.code) << c.what;
        EXPECT_FALSE(l.matrix) << c.what;
        for (const char* text : c.named)
            EXPECT_NE(l.loader.refusal().find(text), std::string::npos) << c.what << ": " << l.loader.refusal();
    }
    EXPECT_NE(MCV_loadMessage(Code::LastError), "Unknown Error.") << "every code has its text";
}

TEST(FcsLoaderLayout, DataThatFitLoadExactlyFromThePairThatFits) {
    const std::pair<const char*, Edit> cases[] = {
        {"as written", [](FcsTestFile&) {}},
        {"an excess of one byte", [](FcsTestFile& f) { f.afterData = "x", f.headerShift[1] = f.textShift[1] = 1; }},
        {"an excess of a row less one byte",
         [](FcsTestFile& f) { f.afterData.assign(11, 'x'), f.headerShift[1] = f.textShift[1] = 11; }},
        // One row late: the HEADER pair is a row short, the TEXT pair fits.
        {"starts disagree, TEXT fits", [](FcsTestFile& f) { f.headerShift[0] = 12; }},
        // A row early, in the TEXT: a row too long, and it overlaps the TEXT.
        {"starts disagree, HEADER fits", [](FcsTestFile& f) { f.textShift[0] = -12; }},
        {"stops disagree, TEXT fits", [](FcsTestFile& f) { f.afterData.assign(40, 'x'), f.headerShift[1] = 40; }},
        {"stops disagree, HEADER fits", [](FcsTestFile& f) { f.textShift[1] = -1; }},
        // The HEADER pair would fit by its length but starts inside the TEXT.
        {"HEADER start inside TEXT", [](FcsTestFile& f) { f.headerShift[0] = f.headerShift[1] = -10; }},
        {"HEADER start only, no TEXT offsets",
         [](FcsTestFile& f) { f.dataOffsetsInText = false, f.headerField[3] = "0"; }},
        {"identical duplicates",
         [](FcsTestFile& f) {
             putFirst(f, "$TOT", " 3 ");
             putFirst(f, "$datatype", "f");
             f.keywords.emplace_back("$P2B", "32");
             f.keywords.emplace_back("$BYTEORD", "1,2,3,4");
         }},
        {"conflicting keywords that do not decide the layout",
         [](FcsTestFile& f) { putFirst(f, "$P2S", "CD4"), putFirst(f, "$P9B", "8"), putFirst(f, "$VOL", "1"); }},
        {"supplemental TEXT right after the DATA", [](FcsTestFile& f) { addSupplemental(f, "/$PROJ/p/"); }},
    };
    QTemporaryDir dir;
    for (const auto& [what, edit] : cases) {
        FcsTestFile f = floats();
        f.set("$P2S", "CD3");
        edit(f);
        FcsLoad l(f.write(dir, "fits.fcs"));
        ASSERT_EQ(l.code, 0) << what << ": " << MCV_loadMessage(l.code) << " " << l.loader.refusal();
        ASSERT_EQ(l.header->numEvents(), 3) << what;
        ASSERT_EQ(l.header->numVariables(), 3) << what;
        for (size_t e = 0; e < 3; ++e)
            for (size_t v = 0; v < 3; ++v) EXPECT_EQ(l.at(e, v), kRows[e][v]) << what << " " << e << "," << v;
        EXPECT_EQ(l.loader.refusal(), "") << what;
    }
}

TEST(FcsLoaderLayout, IntegerRowsAreTheSumOfTheirWidths) {
    // Rows of 7 bytes: up to 6 bytes of excess load; rows of one byte still
    // allow the one extra byte of an inclusive $ENDDATA.
    QTemporaryDir dir;
    for (int excess : {0, 1, 6, 7}) {
        FcsTestFile f = integers();
        f.afterData.assign(size_t(excess), 'x');
        f.headerShift[1] = f.textShift[1] = excess;
        FcsLoad l(f.write(dir, "ints.fcs"));
        ASSERT_EQ(l.code, excess < 7 ? 0 : Code::DataDoNotFit) << excess;
        if (excess == 7) continue;
        for (size_t e = 0; e < 4; ++e)
            for (size_t v = 0; v < 3; ++v) EXPECT_EQ(l.at(e, v), float(kInts[e][v])) << excess << " " << e << "," << v;
    }
    for (int excess : {1, 2}) {
        FcsTestFile f = FcsTestFile::listMode("I", 3, {8});
        f.data = "\x05\x06\x07";
        f.afterData.assign(size_t(excess), 'x');
        f.headerShift[1] = f.textShift[1] = excess;
        FcsLoad l(f.write(dir, "bytes.fcs"));
        ASSERT_EQ(l.code, excess == 1 ? 0 : Code::DataDoNotFit) << excess;
        if (l.code == 0) {
            EXPECT_EQ(l.at(2, 0), 7.0f);
        }
    }
}

// $TOT 0 reads nothing, but DATA that hold a row or more hold events the TEXT
// does not count: loading them as an empty sample would lose them unsaid.
TEST(FcsLoaderLayout, NoEventsLoadOnlyWithoutDataThatHoldEvents) {
    struct Case {
        const char* what;
        Edit edit;
        int code;
        std::vector<const char*> named;  // in the refusal
    };
    const auto dataOf = [](size_t bytes) { return [bytes](FcsTestFile& f) { f.data.assign(bytes, 'x'); }; };
    const Case cases[] = {
        {"DATA untouched",
         [](FcsTestFile&) {},
         Code::DataDoNotFit,
         {"0 x 12 = 0 bytes", "HEADER names a segment of 36 bytes", "TEXT names a segment of 36 bytes"}},
        {"only the TEXT names the DATA",
         [](FcsTestFile& f) { f.dataOffsetsInHeader = false; },
         Code::DataDoNotFit,
         {"0 bytes, but the TEXT names a segment of 36 bytes"}},
        {"only the HEADER names the DATA",
         [](FcsTestFile& f) { f.dataOffsetsInText = false; },
         Code::DataDoNotFit,
         {"0 bytes, but the HEADER names a segment of 36 bytes"}},
        {"one whole row", dataOf(12), Code::DataDoNotFit, {"segment of 12 bytes"}},
        {"less than a row", dataOf(11), 0, {}},
        {"empty DATA", dataOf(0), 0, {}},
        {"empty DATA ending at its start, as an inclusive end leaves it",
         [](FcsTestFile& f) { f.data.clear(), f.afterData = "x", f.headerShift[1] = f.textShift[1] = 1; },
         0,
         {}},
        {"no DATA offsets at all",
         [](FcsTestFile& f) { f.data.clear(), f.dataOffsetsInHeader = f.dataOffsetsInText = false; },
         0,
         {}},
    };
    QTemporaryDir dir;
    for (const Case& c : cases) {
        FcsTestFile f = floats();
        f.set("$TOT", "0");
        c.edit(f);
        FcsLoad l(f.write(dir, "none.fcs"));
        ASSERT_EQ(l.code, c.code) << c.what << ": " << l.loader.refusal();
        EXPECT_EQ(bool(l.matrix), c.code == 0) << c.what;
        if (c.code == 0) {
            EXPECT_EQ(l.header->numEvents(), 0) << c.what;
            EXPECT_EQ(l.header->numVariables(), 3) << c.what;
            EXPECT_EQ(l.loader.refusal(), "") << c.what;
        }
        for (const char* text : c.named)
            EXPECT_NE(l.loader.refusal().find(text), std::string::npos) << c.what << ": " << l.loader.refusal();
    }
    // Rows of one byte still allow the one byte of an inclusive end.
    for (const auto& [bytes, code] : {std::pair(1, 0), std::pair(2, Code::DataDoNotFit)}) {
        FcsTestFile f = FcsTestFile::listMode("I", 0, {8});
        f.data.assign(size_t(bytes), '\x01');
        EXPECT_EQ(FcsLoad(f.write(dir, "bytes.fcs")).code, code) << bytes;
    }
}

// The DATA are read one way: from the pair that fits the file, or not at all
// when the HEADER and the TEXT name different segments that both fit.
TEST(FcsLoaderLayout, HeaderAndTextOffsetsGiveOneReadingOrNone) {
    const int64_t s = dataStart(floats()), e = s + 35;  // where the builder puts the 36 bytes
    const auto pair = [](int64_t begin, int64_t end) {
        return "segment of " + std::to_string(end - begin + 1) + " bytes (offsets " + std::to_string(begin) + " to " +
               std::to_string(end) + ")";
    };
    struct Case {
        const char* what;
        Edit edit;
        int code;
        std::vector<std::string> named;  // in the refusal
    };
    const Case cases[] = {
        {"both fit, the HEADER's one byte later",
         [](FcsTestFile& f) { f.afterData = "x", f.headerShift[0] = f.headerShift[1] = 1; },
         Code::DataSegmentsDisagree,
         {"The HEADER names a " + pair(s + 1, e + 1) + " and the TEXT names a " + pair(s, e), "3 x 12 = 36 bytes"}},
        {"both fit, the TEXT's a row later",
         [](FcsTestFile& f) { f.afterData.assign(12, 'x'), f.textShift[0] = f.textShift[1] = 12; },
         Code::DataSegmentsDisagree,
         {"HEADER names a " + pair(s, e), "TEXT names a " + pair(s + 12, e + 12)}},
        {"both name starts only, a byte apart",
         [](FcsTestFile& f) { f.afterData = "x", f.headerField[3] = "0", f.textShift[0] = 1, f.textShift[1] = -1000; },
         Code::DataSegmentsDisagree,
         {"HEADER names a start at offset " + std::to_string(s) + " and no end",
          "TEXT names a start at offset " + std::to_string(s + 1) + " and no end"}},
        {"HEADER zeros", [](FcsTestFile& f) { f.dataOffsetsInHeader = false; }, 0, {}},
        {"HEADER blanks", [](FcsTestFile& f) { f.headerField[2] = f.headerField[3] = std::string(8, ' '); }, 0, {}},
        {"HEADER zeros, TEXT a row later",
         [](FcsTestFile& f) {
             f.dataOffsetsInHeader = false, f.textShift[0] = 12;
             f.data = std::string(12, 'x') + f.data;
         },
         0,
         {}},
        {"only the TEXT's fits: the HEADER's runs a byte past the end",
         [](FcsTestFile& f) { f.headerShift[0] = f.headerShift[1] = 1; },
         0,
         {}},
        {"only the TEXT's fits: the HEADER's lies past the end",
         [](FcsTestFile& f) { f.headerShift[0] = f.headerShift[1] = 1000; },
         0,
         {}},
        {"only the HEADER's fits: the TEXT's runs a byte past the end",
         [](FcsTestFile& f) { f.textShift[0] = f.textShift[1] = 1; },
         0,
         {}},
        {"only the HEADER's fits: the TEXT's lies past the end",
         [](FcsTestFile& f) { f.textShift[0] = f.textShift[1] = 1000; },
         0,
         {}},
        {"only the TEXT's start fits, neither names an end",
         [](FcsTestFile& f) { f.headerField[3] = "0", f.headerShift[0] = 1, f.textShift[1] = -1000; },
         0,
         {}},
        {"one start, ends a byte apart (an inclusive end)",
         [](FcsTestFile& f) { f.afterData = "x", f.headerShift[1] = 1; },
         0,
         {}},
        {"both run a byte past the end",
         [](FcsTestFile& f) { f.headerShift[0] = f.headerShift[1] = f.textShift[0] = f.textShift[1] = 1; },
         Code::Truncated,
         {"runs from offset " + std::to_string(s + 1) + " to " + std::to_string(e + 1)}},
    };
    QTemporaryDir dir;
    for (const Case& c : cases) {
        FcsTestFile f = floats();
        c.edit(f);
        FcsLoad l(f.write(dir, "pairs.fcs"));
        ASSERT_EQ(l.code, c.code) << c.what << ": " << l.loader.refusal();
        ASSERT_EQ(bool(l.matrix), c.code == 0) << c.what;
        for (const std::string& text : c.named)
            EXPECT_NE(l.loader.refusal().find(text), std::string::npos) << c.what << ": " << l.loader.refusal();
        if (c.code != 0) continue;
        ASSERT_EQ(l.header->numEvents(), 3) << c.what;
        for (size_t ev = 0; ev < 3; ++ev)
            for (size_t v = 0; v < 3; ++v) EXPECT_EQ(l.at(ev, v), kRows[ev][v]) << c.what << " " << ev << "," << v;
    }
}

// A keyword whose two values would give other values read is refused with
// both; a repeat that says the same (but for padding and case, or in another
// spelling of the same number) loads.
TEST(FcsLoaderLayout, RepeatsThatWouldChangeTheValuesAreRefused) {
    struct Case {
        const char* key;  // repeated at the end of the TEXT
        const char* first;
        const char* repeat;
        int code;
    };
    // The integer file: $P1B 8, $P2B 16, $P3B 32, each $PnR 262144.
    const Case cases[] = {
        {"$P1R", "1024", "262144", Code::ConflictingKeywords},
        {"$p1r", "1024", "262144", Code::ConflictingKeywords},
        {"$P3R", "262144", "4096.0", Code::ConflictingKeywords},
        {"$P2E", "0,0", "4,1", Code::ConflictingKeywords},
        {"$P3G", "1.0", "10.0", Code::ConflictingKeywords},
        {"$MODE", "L", "C", Code::ConflictingKeywords},
        {"$TOT", "4", "5", Code::ConflictingKeywords},
        {"$PAR", "3", "2", Code::ConflictingKeywords},
        {"$P2B", "16", "8", Code::ConflictingKeywords},
        {"$DATATYPE", "I", "F", Code::ConflictingKeywords},
        {"$BYTEORD", "1,2,3,4", "4,3,2,1", Code::ConflictingKeywords},
        {"$P1R", "262144", " 262144 ", 0},
        {"$p2e", "0,0", "0,0", 0},
        {"$P3G", "1.0", "1.0", 0},
        {"$mode", "L", "l", 0},
        {"$TOT", "4", "4", 0},
        {"$PAR", "3", "3", 0},
        {"$P2B", "16", "16", 0},
        {"$DATATYPE", "I", "i", 0},
        {"$BYTEORD", "1,2,3,4", "1,2,3,4", 0},
        {"$TOT", "4", "0004", 0},
        {"$P2B", "16", "+16", 0},
        {"$P3R", "262144", "0262144", 0},
        {"$P2E", "0,0", "0.0,0", 0},
        {"$P3G", "1.0", "1", 0},
        {"$BYTEORD", "1,2,3,4", "1, 2, 3, 4", 0},
        {"$TOT", "4", "four", Code::ConflictingKeywords},
        {"$P3G", "1.0", "1.0x", Code::ConflictingKeywords},
        // Keywords the reader does not read.
        {"$P4R", "1024", "2048", 0},
        {"$P01R", "1024", "2048", 0},
        {"$P1D", "Linear,0,10", "Log,1,10", 0},
    };
    QTemporaryDir dir;
    for (const Case& c : cases) {
        FcsTestFile f = integers();
        const std::string upper = MCV_FcsText::upperKey(c.key);
        f.set(upper, c.first);
        f.keywords.emplace_back(c.key, c.repeat);
        FcsLoad l(f.write(dir, "repeats.fcs"));
        ASSERT_EQ(l.code, c.code) << c.key << " " << c.first << " / " << c.repeat << ": " << l.loader.refusal();
        if (c.code != 0) {
            EXPECT_EQ(l.loader.refusal(), "Keyword " + upper + " is given twice with different values: \"" + c.first +
                                              "\" and \"" + c.repeat + "\".");
            continue;
        }
        for (size_t e = 0; e < 4; ++e)
            for (size_t v = 0; v < 3; ++v) EXPECT_EQ(l.at(e, v), float(kInts[e][v])) << c.key << " " << e << "," << v;
    }
    // A repeat in the supplemental TEXT counts as well.
    FcsTestFile f = integers();
    f.set("$P1R", "1024");
    addSupplemental(f, "/$P1R/262144/");
    FcsLoad l(f.write(dir, "supplemental.fcs"));
    EXPECT_EQ(l.code, Code::ConflictingKeywords) << l.loader.refusal();
}

// Where the DATA lie is said once: a second $BEGINDATA or $ENDDATA with
// another value is refused, whatever the HEADER says, as another reader may
// take the other one. An identical repeat loads.
TEST(FcsLoaderLayout, WhereTheDataLieIsSaidOnce) {
    // The DATA stored twice, the second copy (36 bytes on) with its rows
    // reversed. The builder's own pair, written last, names copy 1.
    using Place = std::function<void(FcsTestFile&, int64_t copy1)>;
    const Place copy2First = [](FcsTestFile& f, int64_t c1) {
        putFirst(f, "$ENDDATA", offset(size_t(c1 + 71)));
        putFirst(f, "$BEGINDATA", offset(size_t(c1 + 36)));
    };
    struct Case {
        const char* what;
        bool headerOffsets;  // else zeros
        Place place;         // adds pairs of 12-digit values only
        const char* key;     // refused for, or null when it loads copy 1
    };
    const Case cases[] = {
        {"first pair at copy 2, HEADER zeros", false, copy2First, "$BEGINDATA"},
        {"first pair at copy 2, HEADER at copy 1", true, copy2First, "$BEGINDATA"},
        {"a lower-case repeat at copy 2 after the first", false,
         [](FcsTestFile& f, int64_t c1) {
             f.dataOffsetsInText = false;
             f.keywords.emplace_back("$BEGINDATA", offset(size_t(c1)));
             f.keywords.emplace_back("$ENDDATA", offset(size_t(c1 + 35)));
             f.keywords.emplace_back("$begindata", offset(size_t(c1 + 36)));
             f.keywords.emplace_back("$enddata", offset(size_t(c1 + 71)));
         },
         "$BEGINDATA"},
        {"only $ENDDATA differs, by the inclusive byte", true,
         [](FcsTestFile& f, int64_t c1) { putFirst(f, "$ENDDATA", offset(size_t(c1 + 36))); }, "$ENDDATA"},
        {"identical repeats, padded and in other case", false,
         [](FcsTestFile& f, int64_t c1) {
             putFirst(f, "$enddata", " " + offset(size_t(c1 + 35)));
             putFirst(f, "$BeginData", offset(size_t(c1)) + " ");
         },
         nullptr},
    };
    QTemporaryDir dir;
    for (const Case& c : cases) {
        FcsTestFile f = floats();
        const std::vector<std::vector<float>> reversed(kRows.rbegin(), kRows.rend());
        f.afterData = FcsTestFile::floats(reversed).data;
        f.dataOffsetsInHeader = c.headerOffsets;
        // The values are 12 digits whatever they say, so a first placement
        // tells where copy 1 ends up.
        FcsTestFile probe = f;
        c.place(probe, 0);
        const int64_t copy1 = dataStart(probe);
        c.place(f, copy1);
        ASSERT_EQ(dataStart(f), copy1) << c.what;
        ASSERT_EQ(f.bytes().substr(size_t(copy1) + 36, 4), FcsTestFile::stored(kRows[2][0], false)) << c.what;

        FcsLoad l(f.write(dir, "twice.fcs"));
        ASSERT_EQ(l.code, c.key ? Code::ConflictingKeywords : 0) << c.what << ": " << l.loader.refusal();
        ASSERT_EQ(bool(l.matrix), !c.key) << c.what;
        if (c.key) {
            EXPECT_EQ(l.loader.refusal().rfind(
                          "Keyword " + std::string(c.key) + " is given twice with different values: \"", 0),
                      0u)
                << c.what << ": " << l.loader.refusal();
            continue;
        }
        for (size_t ev = 0; ev < 3; ++ev)
            for (size_t v = 0; v < 3; ++v) EXPECT_EQ(l.at(ev, v), kRows[ev][v]) << c.what << " " << ev << "," << v;
    }
}

// The supplemental TEXT's place is said once too, and a keyword it repeats
// with another value counts as a repeat in the TEXT.
TEST(FcsLoaderLayout, WhereTheSupplementalTextLiesIsSaidOnce) {
    struct Case {
        const char* what;
        const char* repeatKey;  // added to the TEXT after the segment's own pair
        int64_t repeatShift;    // from the segment's own value
        std::string stext;
        int code;
    };
    const Case cases[] = {
        {"$BEGINSTEXT twice", "$BEGINSTEXT", -1, "/$PROJ/p/", Code::ConflictingKeywords},
        {"$endstext twice", "$endstext", +1, "/$PROJ/p/", Code::ConflictingKeywords},
        {"$BEGINSTEXT twice, the same", "$BEGINSTEXT", 0, "/$PROJ/p/", 0},
        {"$BEGINDATA in the supplemental TEXT", nullptr, 0, "/$BEGINDATA/" + offset(1) + "/",
         Code::ConflictingKeywords},
        {"$ENDSTEXT in the supplemental TEXT", nullptr, 0, "/$ENDSTEXT/" + offset(1) + "/", Code::ConflictingKeywords},
    };
    QTemporaryDir dir;
    for (const Case& c : cases) {
        FcsTestFile f = floats();
        addSupplemental(f, c.stext);
        if (c.repeatKey) {
            f.keywords.emplace_back(c.repeatKey, offset(0));
            addSupplemental(f, c.stext);  // the TEXT grew: place the segment anew
            const std::string own = MCV_FcsText::upperKey(c.repeatKey) == "$BEGINSTEXT"
                                        ? f.keywords[f.keywords.size() - 3].second
                                        : f.keywords[f.keywords.size() - 2].second;
            f.keywords.back().second = offset(size_t(std::stoll(own) + c.repeatShift));
        }
        FcsLoad l(f.write(dir, "stext.fcs"));
        ASSERT_EQ(l.code, c.code) << c.what << ": " << l.loader.refusal();
        if (c.code != 0) {
            EXPECT_NE(l.loader.refusal().find(" is given twice with different values: "), std::string::npos)
                << c.what << ": " << l.loader.refusal();
            continue;
        }
        EXPECT_EQ(l.header->project(), "p") << c.what;
        EXPECT_EQ(l.at(2, 2), kRows[2][2]) << c.what;
    }
}
