#include "FcsTestFile.h"

#include "data/MCV_FcsText.h"
#include "data/MCV_Messages.h"

#include <gtest/gtest.h>

#include <cstring>

TEST(FcsText, SplitsPairs) {
    struct Case {
        std::string text;
        size_t pairs;
        std::vector<std::pair<std::string, std::string>> values;  // "<missing>" for none
        bool emptyValues = false;
    };
    const Case cases[] = {
        // Doubled delimiters are literals.
        {"/$P1S/CD3//CD28/$FIL/a////b/K3/x/", 3, {{"$P1S", "CD3/CD28"}, {"$FIL", "a//b"}, {"K3", "x"}}},
        // Keywords match without case; the first occurrence wins.
        {"|$Cells|T cells|$CELLS|B cells|$p1n|FSC|", 2, {{"$cells", "T cells"}, {"$P1N", "FSC"}}},
        {std::string("/A/1/B/2/   \0\0 ", 15), 2, {{"B", "2"}}},  // padding
        {"/A/1/B/2", 2, {{"B", "2"}}},                            // no closing delimiter
        {"/A/1/B", 1, {{"B", "<missing>"}}},                      // a dangling keyword is dropped, not read past
        {"/", 0, {}},
        {"", 0, {}},
        // Read with escapes, "$P3S" would take "\$P4S\$P5N" as its value and
        // the following pairs would be shifted: an old writer's empty values.
        {"\\$P3S\\\\$P4S\\\\$P5N\\FL3\\$TOT\\10\\",
         4,
         {{"$P3S", ""}, {"$P4S", ""}, {"$P5N", "FL3"}, {"$TOT", "10"}},
         true},
        // Escapes that keep every keyword clean stay escapes.
        {"/$P1S/A//B/$P2S/C/", 2, {{"$P1S", "A/B"}}},
    };
    for (const Case& c : cases) {
        MCV_FcsText t;
        t.parse(c.text.data(), c.text.size());
        EXPECT_EQ(t.size(), c.pairs) << c.text;
        for (const auto& kv : c.values) {
            const std::string* v = t.find(kv.first);
            EXPECT_EQ(v ? *v : "<missing>", kv.second) << c.text;
        }
        EXPECT_EQ(t.lastParseUsedEmptyValues(), c.emptyValues) << c.text;
    }
}

TEST(FcsLoaderText, KeywordLookUpsAndWhatTheHeaderTakesFromThem) {
    // Stain or label as the name (variable 3 has neither, a blank stain counts
    // as missing); the real files check the common cases. "$DATE" first
    // occurs inside a value, not followed by the delimiter.
    QTemporaryDir dir;
    FcsTestFile f = FcsTestFile::floats({{1, 2, 3, 4}});
    f.keywords.insert(f.keywords.begin(), {"$COM", "run before $DATE change"});
    const std::pair<const char*, const char*> keywords[] = {
        {"$DATE", "01-JAN-2020"}, {"$P2N", nullptr},  {"$P2S", "CD4"},     {"$P3N", nullptr},
        {"$P4S", "  "},           {"$P1E", "4,1"},    {"$P2E", "0.5,1.0"}, {"$P3E", nullptr},
        {"$P1R", "  1024 "},      {"$P2R", "4096.0"}, {"$P3R", nullptr},   {"$cells", "lymphocytes"}};
    for (const auto& [key, value] : keywords) value ? f.set(key, value) : f.remove(key);
    FcsLoad l(f.write(dir, "names.fcs"));
    ASSERT_EQ(l.code, 0);
    EXPECT_EQ(l.loader.fetchValueForKey("$date"), "01-JAN-2020");
    EXPECT_EQ(l.loader.fetchValueForKey("$P1"), "-1");
    EXPECT_EQ(l.loader.textHeader(), f.bytes().substr(64, l.loader.textHeader().size()));
    EXPECT_EQ(l.header->date() + l.header->cells(), "01-JAN-2020lymphocytes");
    EXPECT_EQ(*l.header->markerList(0), (std::vector<std::string>{"Ch1", "CD4", "-1", "Ch4"}));
    const auto& v = *l.header->variables();
    EXPECT_EQ(v[1].label + v[2].label, "CD4-1");
    EXPECT_EQ((std::vector<double>{v[0].exponent, v[1].exponent, v[2].exponent}), (std::vector<double>{4, 0.5, -1}));
    EXPECT_EQ((std::vector<int64_t>{v[0].range, v[1].range, v[2].range}), (std::vector<int64_t>{1024, 4096, -1}));
}

TEST(FcsLoaderText, DelimitersAreReadOrRefused) {
    QTemporaryDir dir;
    for (char d : {'\f', '!', '/', '\\', '|', ' ', 'A', '\0', ','}) {
        FcsTestFile f = FcsTestFile::floats({{1.0f, 2.0f}});
        f.delimiter = d;
        f.set("$P1S", std::string("a") + d + "b");
        FcsLoad l(f.write(dir, "d.fcs"));
        const bool refused = d == '\0' || std::strchr(" A,", d);
        ASSERT_EQ(l.code, refused ? MCV_LoadCode::UnknownSeparator : 0) << int(d);
        EXPECT_EQ(bool(l.matrix), !refused);
        if (refused) continue;
        EXPECT_EQ(l.header->variable(0)->name, std::string("a") + d + "b");
    }
}

TEST(FcsLoaderText, SupplementalTextAddsKeywordsWithoutOverriding) {
    QTemporaryDir dir;
    const std::string stext = "/$P1S/from supplemental/$P2S/CD8/$PROJ/p1/";
    FcsTestFile f = FcsTestFile::floats({{1.0f, 2.0f}});
    f.set("$P1S", "from primary");
    f.afterData = stext;
    // Offsets of 12 digits keep the file's length whatever their values.
    const auto offsets = [&](size_t begin, size_t end) {
        f.set("$BEGINSTEXT", std::string(12 - std::to_string(begin).size(), '0') + std::to_string(begin));
        f.set("$ENDSTEXT", std::string(12 - std::to_string(end).size(), '0') + std::to_string(end));
    };
    offsets(0, 0);
    const size_t at = f.bytes().size() - stext.size();
    offsets(at, at + stext.size() - 1);
    FcsLoad l(f.write(dir, "s.fcs"));
    ASSERT_EQ(l.code, 0);
    EXPECT_EQ(l.header->variable(0)->name, "from primary");
    EXPECT_EQ(l.header->variable(1)->name, "CD8");
    EXPECT_EQ(l.header->project(), "p1");

    // A supplemental segment pointing into the primary TEXT is ignored.
    offsets(64, 80);
    FcsLoad o(f.write(dir, "s.fcs"));
    ASSERT_EQ(o.code, 0);
    EXPECT_EQ(o.header->variable(1)->name, "Ch2");
    EXPECT_EQ(o.header->project(), "-1");
}
