// How the reader splits the TEXT segment into keywords and what the header
// takes from them.

#include "FcsTestFile.h"

#include "data/MCV_FcsText.h"

#include <gtest/gtest.h>

namespace {

// A valid one-event file with two float parameters.
FcsTestFile twoChannels() { return FcsTestFile::floats({{1.0f, 2.0f}}); }

MCV_FcsText parsed(const std::string& text) {
    MCV_FcsText t;
    t.parse(text.data(), text.size());
    return t;
}

std::string valueOf(const MCV_FcsText& t, const std::string& key) {
    const std::string* v = t.find(key);
    return v ? *v : "<missing>";
}

// Sets a 12-digit keyword value that the builder wrote as zeros.
void patchOffset(std::string& bytes, const std::string& key, size_t v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%012zu", v);
    bytes.replace(bytes.find(key + "/") + key.size() + 1, 12, buf);
}

}  // namespace

TEST(FcsText, SplitsPairsAndReadsDoubledDelimitersAsLiterals) {
    const MCV_FcsText t = parsed("/$P1S/CD3//CD28/$FIL/a////b/K3/x/");
    EXPECT_EQ(t.size(), 3u);
    EXPECT_EQ(valueOf(t, "$P1S"), "CD3/CD28");
    EXPECT_EQ(valueOf(t, "$FIL"), "a//b");
    EXPECT_EQ(valueOf(t, "K3"), "x");
    EXPECT_FALSE(t.lastParseUsedEmptyValues());
}

TEST(FcsText, MatchesKeywordsWithoutCaseAndKeepsTheFirstOccurrence) {
    const MCV_FcsText t = parsed("|$Cells|T cells|$CELLS|B cells|$p1n|FSC|");
    EXPECT_EQ(valueOf(t, "$cells"), "T cells");
    EXPECT_EQ(valueOf(t, "$P1N"), "FSC");
    EXPECT_EQ(t.size(), 2u);
}

TEST(FcsText, ToleratesPaddingAndAMissingClosingDelimiter) {
    EXPECT_EQ(valueOf(parsed(std::string("/A/1/B/2/   \0\0 ", 15)), "B"), "2");
    EXPECT_EQ(parsed(std::string("/A/1/B/2/   \0\0 ", 15)).size(), 2u);
    EXPECT_EQ(valueOf(parsed("/A/1/B/2"), "B"), "2");
    // A keyword left without a value at the end is dropped, not read past.
    const MCV_FcsText dangling = parsed("/A/1/B");
    EXPECT_EQ(dangling.size(), 1u);
    EXPECT_EQ(valueOf(dangling, "B"), "<missing>");
    EXPECT_EQ(parsed("/").size(), 0u);
    EXPECT_EQ(parsed("").size(), 0u);
}

TEST(FcsText, ReadsEmptyValuesWhenEscapesWouldBreakKeywords) {
    // Read with escapes, "$P3S" would take "\$P4S\$P5N" as its value and the
    // following pairs would be shifted.
    const MCV_FcsText legacy = parsed("\\$P3S\\\\$P4S\\\\$P5N\\FL3\\$TOT\\10\\");
    EXPECT_TRUE(legacy.lastParseUsedEmptyValues());
    EXPECT_EQ(valueOf(legacy, "$P3S"), "");
    EXPECT_EQ(valueOf(legacy, "$P4S"), "");
    EXPECT_EQ(valueOf(legacy, "$P5N"), "FL3");
    EXPECT_EQ(valueOf(legacy, "$TOT"), "10");

    // Escapes that keep every keyword clean are escapes, even though reading
    // them as empty values would also be possible.
    const MCV_FcsText escaped = parsed("/$P1S/A//B/$P2S/C/");
    EXPECT_FALSE(escaped.lastParseUsedEmptyValues());
    EXPECT_EQ(valueOf(escaped, "$P1S"), "A/B");
}

TEST(FcsLoaderText, FetchValueIsAKeywordLookupNotASubstringSearch) {
    QTemporaryDir dir;
    FcsTestFile f = twoChannels();
    // "$DATE" first occurs inside a value, not followed by the delimiter.
    f.keywords.insert(f.keywords.begin(), {"$COM", "run before $DATE change"});
    f.set("$DATE", "01-JAN-2020");
    f.set("$P1S", "CD3/CD28");
    FcsLoad l(f.write(dir, "a.fcs"));
    ASSERT_EQ(l.code, 0);
    EXPECT_EQ(l.loader.fetchValueForKey("$DATE"), "01-JAN-2020");
    EXPECT_EQ(l.header->date(), "01-JAN-2020");
    EXPECT_EQ(l.loader.fetchValueForKey("$date"), "01-JAN-2020");
    EXPECT_EQ(l.loader.fetchValueForKey("$P1S"), "CD3/CD28");
    EXPECT_EQ(l.loader.fetchValueForKey("$P1"), "-1");
    EXPECT_EQ(l.loader.fetchValueForKey("$NOSUCH"), "-1");
    EXPECT_EQ(l.loader.textHeader(), f.bytes().substr(64, l.loader.textHeader().size()));
    EXPECT_EQ(l.loader.textHeader()[0], '/');
}

TEST(FcsLoaderText, NamesAndLabelsFillInForEachOther) {
    QTemporaryDir dir;
    FcsTestFile f = FcsTestFile::floats({{1, 2, 3, 4, 5}});
    f.set("$P1S", "CD3");  // $P1N is Ch1
    f.remove("$P2N");
    f.set("$P2S", "CD4");
    f.remove("$P3N");     // neither
    f.set("$P4S", "  ");  // blank stain counts as missing
    f.set("$P5S", "");
    FcsLoad l(f.write(dir, "names.fcs"));
    ASSERT_EQ(l.code, 0);
    const auto& v = *l.header->variables();
    EXPECT_EQ(v[0].name, "CD3");
    EXPECT_EQ(v[0].label, "Ch1");
    EXPECT_EQ(v[1].name, "CD4");
    EXPECT_EQ(v[1].label, "CD4");
    EXPECT_EQ(v[2].name, "-1");
    EXPECT_EQ(v[2].label, "-1");
    EXPECT_EQ(v[3].name, "Ch4");
    EXPECT_EQ(v[4].name, "Ch5");
    EXPECT_EQ(*l.header->markerList(0), (std::vector<std::string>{"CD3", "CD4", "-1", "Ch4", "Ch5"}));
    EXPECT_EQ(*l.header->markerList(1), (std::vector<std::string>{"Ch1", "CD4", "-1", "Ch4", "Ch5"}));
    EXPECT_EQ(l.header->variableIdx("CD4"), 1);
}

TEST(FcsLoaderText, ParameterNumbersAndKeptKeywords) {
    QTemporaryDir dir;
    FcsTestFile f = FcsTestFile::floats({{1, 2, 3}});
    f.set("$P1E", "4,1");
    f.set("$P2E", "0.5,1.0");
    f.remove("$P3E");
    f.set("$P1R", "  1024 ");
    f.set("$P2R", "4096.0");
    f.remove("$P3R");
    f.set("$BTIM", "10:00:00");
    f.set("$cells", "lymphocytes");
    f.set("CREATOR", "bench writer");
    FcsLoad l(f.write(dir, "numbers.fcs"));
    ASSERT_EQ(l.code, 0);
    const auto& v = *l.header->variables();
    EXPECT_EQ(v[0].exponent, 4.0);
    EXPECT_EQ(v[1].exponent, 0.5);
    EXPECT_EQ(v[2].exponent, -1.0);
    EXPECT_EQ(v[0].range, 1024);
    EXPECT_EQ(v[1].range, 4096);
    EXPECT_EQ(v[2].range, -1);
    EXPECT_EQ(v[0].bits, 32);

    EXPECT_EQ(l.header->startTime(), "10:00:00");
    EXPECT_EQ(l.header->cells(), "lymphocytes");
    EXPECT_EQ(l.header->creator(), "bench writer");
    EXPECT_EQ(l.header->stopTime(), "-1");
    EXPECT_EQ(l.header->experiment(), "-1");
    EXPECT_EQ(l.header->dataType(), "F");
    const std::string text = l.header->printHeader();
    EXPECT_NE(text.find("Start Time: 10:00:00\nStop Time: -1\nDate: -1\n\nByte Order: 1,2,3,4\nDatatype: F\n\n"),
              std::string::npos);
    EXPECT_NE(text.find("1 Events\n3 Variables\n\n"), std::string::npos);
}

TEST(FcsLoaderText, EveryAcceptedDelimiterReads) {
    QTemporaryDir dir;
    for (char d : {'\f', '!', '/', '\\', '|'}) {
        SCOPED_TRACE(int(d));
        FcsTestFile f = twoChannels();
        f.delimiter = d;
        f.set("$P1S", std::string("a") + d + "b");
        FcsLoad l(f.write(dir, "d.fcs"));
        ASSERT_EQ(l.code, 0);
        EXPECT_EQ(l.header->variable(0)->name, std::string("a") + d + "b");
        EXPECT_EQ(l.at(0, 1), 2.0f);
    }
}

TEST(FcsLoaderText, SupplementalTextAddsKeywordsWithoutOverriding) {
    QTemporaryDir dir;
    const std::string stext = "/$P1S/from supplemental/$P2S/CD8/$PROJ/p1/";
    FcsTestFile f = twoChannels();
    f.set("$P1S", "from primary");
    f.set("$BEGINSTEXT", "000000000000");
    f.set("$ENDSTEXT", "000000000000");
    f.afterData = stext;
    std::string bytes = f.bytes();
    patchOffset(bytes, "$BEGINSTEXT", bytes.size() - stext.size());
    patchOffset(bytes, "$ENDSTEXT", bytes.size() - 1);
    const std::string path = dir.filePath("s.fcs").toStdString();
    FcsTestFile::writeBytes(path, bytes);
    FcsLoad l(path);
    ASSERT_EQ(l.code, 0);
    EXPECT_EQ(l.header->variable(0)->name, "from primary");
    EXPECT_EQ(l.header->variable(1)->name, "CD8");
    EXPECT_EQ(l.header->project(), "p1");

    // A supplemental segment pointing into the primary TEXT is ignored.
    patchOffset(bytes, "$BEGINSTEXT", 64);
    patchOffset(bytes, "$ENDSTEXT", 80);
    FcsTestFile::writeBytes(path, bytes);
    FcsLoad o(path);
    ASSERT_EQ(o.code, 0);
    EXPECT_EQ(o.header->variable(1)->name, "Ch2");
    EXPECT_EQ(o.header->project(), "-1");
}
