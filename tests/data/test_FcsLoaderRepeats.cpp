// A keyword that decides what is read may be given twice only when the reader
// takes the same from both values: the same number in another spelling loads,
// another number (or a number and no number) is refused with both values as
// written, in the TEXT, in the supplemental TEXT and across the two.
#include "FcsTestFile.h"

#include "data/MCV_FcsText.h"
#include "data/MCV_Messages.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string_view>
#include <utility>
#include <vector>

namespace Code = MCV_LoadCode;

namespace {

using Pairs = std::vector<std::pair<std::string, std::string>>;

// 1000 events of a 16-, a 16-, an 8- and a 32-bit integer; $P1R 1024 masks
// the first column to 10 bits. The DATA start at offset 4000 and end at 12999.
constexpr int kEvents = 1000;
constexpr int64_t kDataStart = 4000, kDataEnd = 4000 + kEvents * 9 - 1;
const uint64_t kMasks[4] = {1023, 0xFFFF, 0xFF, 0xFFFFFFFF};

uint64_t stored(int event, int column) {
    const uint64_t e = uint64_t(event);
    const uint64_t values[4] = {(e * 37 + 5) & 0xFFFF, (e * 61) & 0xFFFF, e & 0xFF, e * 100003};
    return values[column];
}

std::string offset12(int64_t v) { return std::string(12 - std::to_string(v).size(), '0') + std::to_string(v); }

// The file with `firsts` before every other keyword, `repeats` after them and
// `stext`, when not empty, as supplemental TEXT after the DATA.
std::string fileWith(const Pairs& firsts, const Pairs& repeats, const std::string& stext) {
    FcsTestFile f = FcsTestFile::listMode("I", kEvents, {16, 16, 8, 32});
    const char* ranges[4] = {"1024", "65536", "256", "4294967296"};
    for (int c = 0; c < 4; ++c) f.set("$P" + std::to_string(c + 1) + "R", ranges[c]);
    for (int e = 0; e < kEvents; ++e)
        for (int c = 0; c < 4; ++c) f.data += FcsTestFile::stored(stored(e, c), false, c < 2 ? 2 : c == 2 ? 1 : 4);
    f.keywords.insert(f.keywords.begin(), firsts.begin(), firsts.end());
    f.keywords.insert(f.keywords.end(), repeats.begin(), repeats.end());
    f.afterData = stext;
    if (!stext.empty()) f.keywords.insert(f.keywords.end(), {{"$BEGINSTEXT", offset12(0)}, {"$ENDSTEXT", offset12(0)}});
    // A comment of the right length puts the DATA at kDataStart.
    f.set("$COM", "");
    const int64_t start = std::stoll(f.bytes().substr(26, 8));
    f.set("$COM", std::string(size_t(kDataStart - start), 'c'));
    if (!stext.empty()) {
        const size_t at = f.bytes().size() - stext.size();
        f.set("$BEGINSTEXT", offset12(int64_t(at)));
        f.set("$ENDSTEXT", offset12(int64_t(at + stext.size() - 1)));
    }
    const std::string bytes = f.bytes();
    EXPECT_EQ(bytes.substr(kDataStart, f.data.size()), f.data) << "the DATA start at " << kDataStart;
    return bytes;
}

FcsLoad load(const QTemporaryDir& dir, const std::string& bytes) {
    const std::string path = dir.filePath("repeats.fcs").toStdString();
    FcsTestFile::writeBytes(path, bytes);
    return FcsLoad(path);
}

}  // namespace

TEST(FcsLoaderRepeats, TheSameNumberInAnotherSpellingLoads) {
    const std::string begin = std::to_string(kDataStart), end = std::to_string(kDataEnd);
    struct Case {
        const char* what;
        Pairs firsts, repeats;
        std::string stext;
    };
    const Case cases[] = {
        // The builder writes the DATA offsets last, 12 digits each.
        {"$BEGINDATA 4000, then 000000004000", {{"$BEGINDATA", begin}}, {}, ""},
        {"$ENDDATA 12999, then 000000012999", {{"$ENDDATA", end}}, {}, ""},
        {"$BEGINSTEXT 0 and 00, no supplemental TEXT",
         {},
         {{"$BEGINSTEXT", "0"}, {"$ENDSTEXT", "0"}, {"$BEGINSTEXT", "00"}, {"$ENDSTEXT", "00"}},
         ""},
        {"$TOT 1000 and 0001000", {}, {{"$TOT", "0001000"}}, ""},
        {"$PAR 4 and 04", {}, {{"$PAR", "04"}}, ""},
        {"$P2B 16 and 016", {}, {{"$P2B", "016"}}, ""},
        {"$P1R 1024 and 01024", {}, {{"$P1R", "01024"}}, ""},
        {"$TOT in the TEXT, zero-padded in the supplemental TEXT", {}, {}, "/$TOT/0001000/"},
        {"$TOT three times, signed and padded", {}, {{"$tot", "+1000"}, {"$TOT", " 01000\t"}}, ""},
        {"$P1R 1024 and 1023.5, taken rounded up", {}, {{"$P1R", "1023.5"}}, ""},
        {"$P1E 0,0 and 0.0,1: only the leading number is read", {}, {{"$P1E", "0.0,1"}}, ""},
        {"$P1G 1 and 1.00", {{"$P1G", "1"}}, {{"$P1G", "1.00"}}, ""},
        {"$BYTEORD 1,2,3,4 and 01, 02, 03, 04", {}, {{"$BYTEORD", "01, 02, 03, 04"}}, ""},
        {"$BYTEORD 1,2,3,4 and 1,2: both little-endian", {}, {{"$BYTEORD", "1,2"}}, ""},
        {"$DATATYPE I and i, $MODE L and l", {}, {{"$DATATYPE", " i"}, {"$mode", "l"}}, ""},
        {"$P3B 8 and 08 in the supplemental TEXT, with its own repeat", {}, {}, "/$P3B/08/$P3B/0008/"},
    };
    QTemporaryDir dir;
    for (const Case& c : cases) {
        const FcsLoad l = load(dir, fileWith(c.firsts, c.repeats, c.stext));
        ASSERT_EQ(l.code, 0) << c.what << ": " << l.loader.refusal();
        EXPECT_EQ(l.loader.refusal(), "") << c.what;
        ASSERT_EQ(l.header->numEvents(), kEvents) << c.what;
        ASSERT_EQ(l.header->numVariables(), 4) << c.what;
        int wrong = 0;
        for (int e = 0; e < kEvents; ++e)
            for (int v = 0; v < 4; ++v) wrong += l.at(size_t(e), size_t(v)) != float(stored(e, v) & kMasks[v]);
        EXPECT_EQ(wrong, 0) << c.what;
    }
}

TEST(FcsLoaderRepeats, AnotherValueIsRefusedNamingBothAsWritten) {
    const std::string begin = std::to_string(kDataStart), end = std::to_string(kDataEnd);
    struct Case {
        Pairs firsts, repeats;
        std::string stext;
        const char* key;  // refused for, with these two values
        std::string kept, repeat;
    };
    const Case cases[] = {
        {{}, {{"$TOT", "999"}}, "", "$TOT", "1000", "999"},
        // A harmless respelling does not hide a later conflict.
        {{}, {{"$TOT", "01000"}, {"$TOT", "999"}}, "", "$TOT", "1000", "999"},
        {{}, {{"$TOT", "1000 events"}}, "", "$TOT", "1000", "1000 events"},
        {{}, {{"$PAR", "5"}}, "", "$PAR", "4", "5"},
        {{}, {{"$MODE", "C"}}, "", "$MODE", "L", "C"},
        {{}, {{"$DATATYPE", "F"}}, "", "$DATATYPE", "I", "F"},
        {{}, {{"$BYTEORD", "4,3,2,1"}}, "", "$BYTEORD", "1,2,3,4", "4,3,2,1"},
        {{}, {{"$BYTEORD", "1,3,2,4"}}, "", "$BYTEORD", "1,2,3,4", "1,3,2,4"},
        {{}, {{"$P2B", "016"}, {"$P2B", "8"}}, "", "$P2B", "16", "8"},
        {{}, {{"$P2B", "sixteen"}}, "", "$P2B", "16", "sixteen"},
        {{}, {{"$P1R", "01025"}}, "", "$P1R", "1024", "01025"},
        {{}, {{"$P1R", "1024.5"}}, "", "$P1R", "1024", "1024.5"},
        {{}, {{"$P1E", "4,0"}}, "", "$P1E", "0,0", "4,0"},
        {{{"$P1G", "1"}}, {{"$P1G", "1.5"}}, "", "$P1G", "1", "1.5"},
        {{{"$P1G", "1"}}, {{"$P1G", "one"}}, "", "$P1G", "1", "one"},
        {{{"$BEGINDATA", begin}}, {{"$BEGINDATA", "0004001"}}, "", "$BEGINDATA", begin, "0004001"},
        {{{"$ENDDATA", end}}, {{"$ENDDATA", "13000"}}, "", "$ENDDATA", end, "13000"},
        {{}, {{"$BEGINSTEXT", "0"}, {"$BEGINSTEXT", "12"}}, "", "$BEGINSTEXT", "0", "12"},
        {{}, {{"$ENDSTEXT", "00"}, {"$ENDSTEXT", "0"}, {"$ENDSTEXT", "12"}}, "", "$ENDSTEXT", "00", "12"},
        // Across the two segments, and within the supplemental one.
        {{}, {}, "/$TOT/01001/", "$TOT", "1000", "01001"},
        {{}, {}, "/$P4G/1/$P4G/1.0/$P4G/2/", "$P4G", "1", "2"},
        {{}, {}, "/$BEGINSTEXT/7/", "$BEGINSTEXT", "", "7"},  // kept: the 12-digit offset
    };
    QTemporaryDir dir;
    for (const Case& c : cases) {
        const std::string bytes = fileWith(c.firsts, c.repeats, c.stext);
        const FcsLoad l = load(dir, bytes);
        std::string kept = c.kept;
        if (kept.empty()) kept = offset12(int64_t(bytes.size() - c.stext.size()));
        const std::string what = std::string(c.key) + " " + kept + " / " + c.repeat;
        ASSERT_EQ(l.code, Code::ConflictingKeywords) << what << ": " << l.loader.refusal();
        EXPECT_FALSE(l.matrix) << what;
        EXPECT_EQ(l.loader.refusal(), "Keyword " + std::string(c.key) + " is given twice with different values: \"" +
                                          kept + "\" and \"" + c.repeat + "\".");
    }
}

// A first value the reader cannot use gets the reader's own error, as it did
// before repeats were compared; a first value it reads and a repeat it does not
// are a conflict.
TEST(FcsLoaderRepeats, AFirstValueTheReaderRefusesGetsItsOwnError) {
    struct Case {
        Pairs firsts;
        int code;
        std::string refusal;
    };
    const Case cases[] = {
        {{{"$TOT", "x"}}, Code::MalformedText, "$TOT (the number of events) is \"x\"; it must be a whole number"},
        {{{"$PAR", "-04"}}, Code::MalformedText, "$PAR (the number of parameters) is \"-04\";"},
        {{{"$TOT", "-5"}}, Code::MalformedText, "$TOT (the number of events) is \"-5\";"},
        {{{"$P2B", "x"}},
         Code::ConflictingKeywords,
         "Keyword $P2B is given twice with different values: \"x\" and \"16\"."},
    };
    QTemporaryDir dir;
    for (const Case& c : cases) {
        const FcsLoad l = load(dir, fileWith(c.firsts, {}, ""));
        ASSERT_EQ(l.code, c.code) << c.firsts[0].second << ": " << l.loader.refusal();
        EXPECT_EQ(l.loader.refusal().rfind(c.refusal, 0), 0u) << l.loader.refusal();
    }
}

namespace {

// The file of three events of three 16-bit integers with `first` given before
// every other keyword, `repeats` after them, and `stext`, when not empty, as
// supplemental TEXT after the DATA.
std::string smallFileWith(const Pairs& first, const Pairs& repeats, const std::string& stext) {
    FcsTestFile f = FcsTestFile::listMode("I", 3, {16, 16, 16});
    for (int e = 0; e < 3; ++e)
        for (int c = 0; c < 3; ++c) f.data += FcsTestFile::stored(stored(e, c), false, 2);
    f.keywords.insert(f.keywords.begin(), first.begin(), first.end());
    f.keywords.insert(f.keywords.end(), repeats.begin(), repeats.end());
    if (stext.empty()) return f.bytes();
    f.afterData = stext;
    const auto offset19 = [](size_t v) { return std::string(19 - std::to_string(v).size(), '0') + std::to_string(v); };
    f.keywords.insert(f.keywords.end(), {{"$BEGINSTEXT", offset19(0)}, {"$ENDSTEXT", offset19(0)}});
    const size_t at = f.bytes().size() - stext.size();
    f.set("$BEGINSTEXT", offset19(at));
    f.set("$ENDSTEXT", offset19(at + stext.size() - 1));
    return f.bytes();
}

}  // namespace

// A long first value is read once for all its repeats: repeats that say the
// same load as a file without them does, and a differing one after them is
// refused (or, for a keyword that decides nothing, passed over) as after a
// short first value; in the TEXT and in the supplemental TEXT.
TEST(FcsLoaderRepeats, ManyRepeatsOfALongFirstValueAreComparedAsOne) {
    const std::string zeros(1000, '0'), blanks(1000, ' ');
    struct Case {
        const char* key;
        std::string first;        // long; the TEXT's own value says the same
        std::string same, other;  // repeated 300 times; once, after them
        bool decides;             // whether `other` refuses the file
    };
    const Case cases[] = {
        {"$TOT", zeros + "3", "3", "4", true},
        {"$TOT", "3" + blanks, "03", "3 4", true},
        {"$TOT", blanks + "+3" + blanks, "3", "-3", true},
        {"$PAR", zeros + "3", "+03", "2", true},
        {"$P1R", zeros + "262144", "262144", "262143", true},
        {"$P1R", zeros + "262143.5" + blanks, "262144", "262144.5", true},
        {"$P2E", zeros + "0,0", "-0.0,1", "1,0", true},
        {"$P3G", blanks + "NaN", "-nan", "1", true},
        {"$P3G", zeros + "1.0" + blanks, "1", "1.5", true},
        {"$P1B", blanks + "016", "16", "8", true},
        {"$BYTEORD", "1,2,3,4" + blanks, "1,2", "4,3,2,1", true},
        {"$DATATYPE", "I" + blanks, "i", "F", true},
        {"$DATATYPE", blanks + "I", "I", "I2", true},
        {"$MODE", "L" + std::string(1000, '\0'), "l", "C", true},
        {"$P1N", "Ch1" + blanks, "CH1", "Ch2", false},
        {"$COM", "c" + blanks, "C", "d", false},
        {"$COM", std::string(1000, 'c'), std::string(1000, 'C'), std::string(999, 'c'), false},
        {"$P4R", zeros + "5", "5", "6", false},  // a parameter beyond $PAR
    };
    QTemporaryDir dir;
    const FcsLoad plain = load(dir, smallFileWith({}, {}, ""));
    ASSERT_EQ(plain.code, 0) << plain.loader.refusal();
    for (const Case& c : cases) {
        for (const bool inSupplemental : {false, true}) {
            Pairs repeats(300, {c.key, c.same});
            std::string stext;
            if (inSupplemental) {
                stext = "/";
                for (const auto& kv : repeats) stext += kv.first + "/" + kv.second + "/";
                repeats.clear();
            }
            const std::string what = std::string(c.key) + " " + MCV_FcsText::quoted(c.first) + " then " +
                                     MCV_FcsText::quoted(c.same) + (inSupplemental ? " in the supplemental TEXT" : "");
            const FcsLoad same = load(dir, smallFileWith({{c.key, c.first}}, repeats, stext));
            ASSERT_EQ(same.code, 0) << what << ": " << same.loader.refusal();
            ASSERT_EQ(same.header->numEvents(), 3) << what;
            ASSERT_EQ(same.header->numVariables(), 3) << what;
            EXPECT_EQ(std::memcmp(same.matrix.get(), plain.matrix.get(), 9 * sizeof(float)), 0) << what;

            if (inSupplemental)
                stext += std::string(c.key) + "/" + c.other + "/";
            else
                repeats.emplace_back(c.key, c.other);
            const FcsLoad other = load(dir, smallFileWith({{c.key, c.first}}, repeats, stext));
            if (!c.decides) {
                EXPECT_EQ(other.code, 0) << what << ", then " << c.other << ": " << other.loader.refusal();
                continue;
            }
            ASSERT_EQ(other.code, Code::ConflictingKeywords) << what << ", then " << c.other;
            EXPECT_EQ(other.loader.refusal(),
                      "Keyword " + std::string(c.key) + " is given twice with different values: " +
                          MCV_FcsText::quoted(c.first) + " and " + MCV_FcsText::quoted(c.other) + ".")
                << what;
        }
    }
}

namespace {

size_t g_bytesRead = 0, g_longReads = 0;

void countingReading(std::string_view, std::string_view value, std::string* out) {
    g_bytesRead += value.size();
    g_longReads += value.size() > MCV_FcsText::kReadAnew;
    MCV_FcsText::textReading(value, out);
}

}  // namespace

// Reading a TEXT reads each value a bounded number of times: a kept value
// longer than kReadAnew once for all its repeats, however many there are,
// also across segments; one of kReadAnew bytes or fewer once per repeat. What
// counts as the same is unchanged at that boundary.
TEST(FcsText, AKeptValueIsReadOnceForAllItsRepeats) {
    struct Case {
        const char* what;
        size_t keptLength;  // "v" and then blanks
        std::string repeat;
        int repeats;
        bool conflict;
    };
    const size_t n = MCV_FcsText::kReadAnew;
    const Case cases[] = {
        {"short kept value", n, "V", 1000, false},
        {"shortest kept value read once", n + 1, "V", 1000, false},
        {"long kept value", 100000, "v ", 20000, false},
        {"short kept value, another repeat", n, "w", 1000, true},
        {"shortest kept value read once, another repeat", n + 1, "w", 1000, true},
        {"long kept value, another repeat", 100000, "vv", 20000, true},
    };
    for (const Case& c : cases) {
        const std::string kept = "v" + std::string(c.keptLength - 1, ' ');
        std::string primary = "/K/" + kept + "/$K2/x/K/" + c.repeat + "/", supplemental = "/";
        for (int i = 1; i < c.repeats; ++i) (i % 2 ? supplemental : primary) += "k/" + c.repeat + "/";
        g_bytesRead = g_longReads = 0;
        MCV_FcsText t(&countingReading);
        ASSERT_TRUE(t.parse(primary.data(), primary.size())) << c.what;
        ASSERT_TRUE(t.parse(supplemental.data(), supplemental.size())) << c.what;
        EXPECT_EQ(t.find("K").value_or("<missing>"), kept) << c.what;
        EXPECT_EQ(t.conflicts(), c.conflict ? 1u : 0u) << c.what;
        EXPECT_EQ(t.conflictingRepeat("k").value_or("<none>"), c.conflict ? c.repeat : "<none>") << c.what;
        // A conflict ends the comparisons: the kept value is read once for it.
        const size_t keptReads = c.conflict ? 1 : c.keptLength > n ? 1 : size_t(c.repeats);
        EXPECT_EQ(g_bytesRead, keptReads * c.keptLength + (c.conflict ? 1 : size_t(c.repeats)) * c.repeat.size())
            << c.what;
        EXPECT_EQ(g_longReads, c.keptLength > n ? 1u : 0u) << c.what;
    }
}
