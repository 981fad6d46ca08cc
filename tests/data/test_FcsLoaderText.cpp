#include "FcsTestFile.h"

#include "data/MCV_FcsText.h"
#include "data/MCV_Messages.h"

#include <gtest/gtest.h>

#include <malloc.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iostream>

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
            const auto v = t.find(kv.first);
            EXPECT_EQ(v ? std::string(*v) : "<missing>", kv.second) << c.text;
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

// Offsets of 19 digits, as many as the largest, keep the file's length
// whatever their values.
static void setSupplementalOffsets(FcsTestFile& f, size_t begin, size_t end) {
    f.set("$BEGINSTEXT", std::string(19 - std::to_string(begin).size(), '0') + std::to_string(begin));
    f.set("$ENDSTEXT", std::string(19 - std::to_string(end).size(), '0') + std::to_string(end));
}

// Appends `stext` after the DATA and points the supplemental offsets at it.
static void placeSupplementalTextAtTheEnd(FcsTestFile& f, const std::string& stext) {
    f.afterData = stext;
    setSupplementalOffsets(f, 0, 0);
    const size_t at = f.bytes().size() - stext.size();
    setSupplementalOffsets(f, at, at + stext.size() - 1);
}

TEST(FcsLoaderText, SupplementalTextAddsKeywordsWithoutOverriding) {
    QTemporaryDir dir;
    const std::string stext = "/$P1S/from supplemental/$P2S/CD8/$PROJ/p1/";
    FcsTestFile f = FcsTestFile::floats({{1.0f, 2.0f}});
    f.set("$P1S", "from primary");
    placeSupplementalTextAtTheEnd(f, stext);
    FcsLoad l(f.write(dir, "s.fcs"));
    ASSERT_EQ(l.code, 0);
    EXPECT_EQ(l.header->variable(0)->name, "from primary");
    EXPECT_EQ(l.header->variable(1)->name, "CD8");
    EXPECT_EQ(l.header->project(), "p1");

    // A supplemental segment pointing into the primary TEXT is ignored.
    setSupplementalOffsets(f, 64, 80);
    FcsLoad o(f.write(dir, "s.fcs"));
    ASSERT_EQ(o.code, 0);
    EXPECT_EQ(o.header->variable(1)->name, "Ch2");
    EXPECT_EQ(o.header->project(), "-1");
}

// A supplemental TEXT is TEXT: one that cannot be split refuses the file, as
// the primary one would, with offsets in the file.
TEST(FcsLoaderText, AnUnsplittableSupplementalTextRefusesTheFile) {
    QTemporaryDir dir;
    const std::string stext = "/$PROJ/p/BIG/////";
    FcsTestFile f = FcsTestFile::floats({{1.0f, 2.0f}});
    placeSupplementalTextAtTheEnd(f, stext);
    const size_t at = f.bytes().size() - stext.size();
    FcsLoad l(f.write(dir, "s.fcs"));
    ASSERT_EQ(l.code, MCV_LoadCode::MalformedText);
    EXPECT_FALSE(l.matrix);
    EXPECT_EQ(l.loader.refusal(),
              "The supplemental TEXT segment cannot be split into keywords and values: the value "
              "after the keyword \"BIG\" (offset " +
                  std::to_string(at + 9) + ") starts with the delimiter '/' at offset " + std::to_string(at + 13) +
                  ", which FCS forbids; read as empty values, the doubled delimiters leave the "
                  "keyword at offset " +
                  std::to_string(at + 14) + " empty.");
}

TEST(FcsText, AValueThatStartsWithTheDelimiterIsRefusedAndAddsNothing) {
    struct Case {
        std::string text;
        bool refused;
        size_t pairs;  // after the parse
    };
    const Case cases[] = {
        {"/BIG//////////", true, 0},
        {"/A/1/BIG/////C/3/", true, 0},  // nothing before the refusal stays either
        {"///A/1/", true, 0},            // the first keyword starts with the delimiter
        {"/K////X/v/", true, 0},
        // One reading fits: escapes, or an old writer's empty values.
        {"/K//X/v/", false, 2},
        {"/A/1//B/", false, 1},
        {"/A//B/C/", false, 2},
    };
    for (const Case& c : cases) {
        MCV_FcsText t;
        EXPECT_EQ(t.parse(c.text.data(), c.text.size()), !c.refused) << c.text;
        EXPECT_EQ(t.size(), c.pairs) << c.text;
        EXPECT_EQ(t.refusal("TEXT", 100).empty(), !c.refused) << c.text;
    }
    MCV_FcsText t;
    const std::string text = "/A/1/BIG/////";
    ASSERT_FALSE(t.parse(text.data(), text.size()));
    EXPECT_EQ(t.refusal("TEXT", 100),
              "The TEXT segment cannot be split into keywords and values: the value after the keyword \"BIG\" "
              "(offset 105) starts with the delimiter '/' at offset 109, which FCS forbids; read as empty values, "
              "the doubled delimiters leave the keyword at offset 110 empty.");

    // A refused supplemental segment leaves what the primary one gave.
    const std::string primary = "/$TOT/5/$PAR/2/";
    ASSERT_TRUE(t.parse(primary.data(), primary.size()));
    ASSERT_FALSE(t.parse(text.data(), text.size()));
    EXPECT_EQ(t.size(), 2u);
    EXPECT_EQ(t.find("$tot").value_or("<missing>"), "5");
}

// Many keywords over two segments: every one is found, the first value wins,
// and a differing repeat is remembered once, across the segments.
TEST(FcsText, ManyKeywordsInTwoSegments) {
    std::string primary = "|", supplemental = "|";
    for (int i = 0; i < 3000; ++i) primary += "$K" + std::to_string(i) + "|v" + std::to_string(i) + "|";
    for (int i = 2000; i < 9000; ++i) supplemental += "$k" + std::to_string(i) + "|w" + std::to_string(i) + "|";
    supplemental += "$K5|v5|$K7|other|$K7|third|";
    MCV_FcsText t;
    ASSERT_TRUE(t.parse(primary.data(), primary.size()));
    ASSERT_TRUE(t.parse(supplemental.data(), supplemental.size()));
    EXPECT_EQ(t.size(), 9000u);
    for (int i = 0; i < 9000; ++i) {
        const auto v = t.find("$K" + std::to_string(i));
        ASSERT_TRUE(v) << i;
        EXPECT_EQ(*v, (i < 3000 ? "v" : "w") + std::to_string(i));
    }
    EXPECT_FALSE(t.find("$K9000"));
    ASSERT_EQ(t.conflicts(), 1001u);  // 2000 to 2999, and $K7, in the order first met
    EXPECT_EQ(t.conflictingKey(0), "$K7");
    EXPECT_EQ(t.conflictingKey(1000), "$K2999");
    EXPECT_EQ(t.conflictingRepeat("$k7").value_or("<none>"), "other");
    EXPECT_EQ(t.conflictingRepeat("$K2500").value_or("<none>"), "w2500");
    EXPECT_FALSE(t.conflictingRepeat("$K5"));
}

// A supplemental TEXT that starts in the file with the delimiter, after the
// primary TEXT, and runs past the end was cut short, and one that starts at or
// past the end was cut off: its keywords (here $P3R, which masks the third
// column to 4 bits) would be lost unsaid, so the file is refused as truncated,
// with the numbers. Segments that are no TEXT, as some writers name their
// primary TEXT or their DATA there, are passed over as before.
TEST(FcsLoaderText, ASupplementalTextCutShortRefusesTheFile) {
    const std::string stext = "/$P3R/16/$PROJ/masked/";
    const uint16_t rows[3][3] = {{1, 2, 0x1234}, {3, 4, 0xABCD}, {5, 6, 0x0F0F}};
    FcsTestFile f = FcsTestFile::listMode("I", 3, {16, 16, 16});
    f.remove("$P3R");
    for (const auto& row : rows)
        for (uint16_t v : row) f.data += FcsTestFile::stored(v, false);
    placeSupplementalTextAtTheEnd(f, stext);
    const std::string whole = f.bytes();
    const size_t textEnd = size_t(std::stoll(whole.substr(18, 8))), dataStart = size_t(std::stoll(whole.substr(26, 8)));
    const size_t at = whole.size() - stext.size(), last = whole.size() - 1;
    ASSERT_EQ(whole[dataStart], '\x01');

    struct Case {
        const char* what;
        size_t begin, end;  // the supplemental offsets
        size_t kept;        // bytes of the file kept
        bool refused;       // as truncated, else loads
        bool masked;        // with the supplemental keywords
    };
    const Case cases[] = {
        {"whole", at, last, whole.size(), false, true},
        {"cut inside the supplemental TEXT", at, last, at + 7, true, false},
        {"cut after its delimiter", at, last, at + 1, true, false},
        {"its last byte missing", at, last, last, true, false},
        {"whole, but its end named past the end", at, last + 1000, whole.size(), true, false},
        {"whole, but its end named at the largest offset", at, size_t(INT64_MAX), whole.size(), true, false},
        // Nothing of it is left: the file was cut before it.
        {"cut at its start", at, last, at, true, false},
        {"cut one byte before its start", at, last, at - 1, true, false},
        {"whole, but named past the end", last + 1, last + 10, whole.size(), true, false},
        {"whole, but named far past the end", last + 1000, last + 2000, whole.size(), true, false},
        // Segments that are no TEXT stay ignored, also past the end.
        {"naming the primary TEXT", 64, textEnd, whole.size(), false, false},
        {"starting with the primary TEXT, past the end", 64, last + 10, whole.size(), false, false},
        {"starting in the primary TEXT, past the end", 65, last + 10, whole.size(), false, false},
        {"naming the DATA", dataStart, at - 1, whole.size(), false, false},
        {"naming the DATA, past the end", dataStart, last + 10, whole.size(), false, false},
        {"starting in the HEADER, past the end", 10, last + 10, whole.size(), false, false},
        {"ending at its start", at, at, whole.size(), false, false},
        {"ending at its start, past the end", last + 1, last + 1, whole.size(), false, false},
        {"ending before its start, past the end", last + 10, last + 1, whole.size(), false, false},
    };
    QTemporaryDir dir;
    for (const Case& c : cases) {
        FcsTestFile g = f;
        setSupplementalOffsets(g, c.begin, c.end);
        const std::string path = dir.filePath("cut.fcs").toStdString();
        FcsTestFile::writeBytes(path, g.bytes().substr(0, c.kept));
        FcsLoad l(path);
        if (c.refused) {
            ASSERT_EQ(l.code, MCV_LoadCode::Truncated) << c.what << ": " << l.loader.refusal();
            EXPECT_FALSE(l.matrix) << c.what;
            const std::string holds = "The file holds " + std::to_string(c.kept) + " bytes, but ";
            EXPECT_EQ(l.loader.refusal(), c.end == size_t(INT64_MAX)
                                              ? holds + "the supplemental TEXT segment from offset " +
                                                    std::to_string(c.begin) + " ends beyond any file."
                                              : holds + "its segments need " + std::to_string(c.end + 1) +
                                                    ": the supplemental TEXT segment runs from offset " +
                                                    std::to_string(c.begin) + " to " + std::to_string(c.end) + ".")
                << c.what;
            continue;
        }
        ASSERT_EQ(l.code, 0) << c.what << ": " << l.loader.refusal();
        EXPECT_EQ(l.header->project(), c.masked ? "masked" : "-1") << c.what;
        for (size_t e = 0; e < 3; ++e)
            for (size_t v = 0; v < 3; ++v)
                EXPECT_EQ(l.at(e, v), float(v == 2 && c.masked ? rows[e][v] & 15 : rows[e][v])) << c.what;
    }
}

namespace {

// The code of a load run in a child process and the peak memory the load
// added there, in bytes; nothing the test process holds counts.
std::pair<int, long long> loadInChild(const std::string& path) {
    int fds[2];
    if (pipe(fds) != 0) return {-1, -1};
    // Output buffered now would be written twice.
    std::cout.flush();
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        // Memory the test process freed but kept would hide part of the load;
        // the high-water mark inherited from it would hide all of it.
        malloc_trim(0);
        std::ofstream clear("/proc/self/clear_refs");
        clear << "5";
        clear.close();
        const bool reset = !clear.fail();
        rusage before{}, after{};
        getrusage(RUSAGE_SELF, &before);
        const int code = FcsLoad(path).code;
        getrusage(RUSAGE_SELF, &after);
        const long long result[2] = {code, reset ? (after.ru_maxrss - before.ru_maxrss) * 1024LL : -1};
        const bool sent = write(fds[1], result, sizeof result) == ssize_t(sizeof result);
        _exit(sent ? 0 : 1);
    }
    close(fds[1]);
    long long result[2] = {-1, -1};
    const bool got = pid > 0 && read(fds[0], result, sizeof result) == ssize_t(sizeof result);
    close(fds[0]);
    int status = 0;
    if (pid > 0) waitpid(pid, &status, 0);
    if (!got) return {-1, -1};
    return {int(result[0]), result[1]};
}

}  // namespace

// A TEXT costs a few times its size, whatever it holds: one made to split
// into a string per byte is refused before it is split, and a million
// keywords are kept compactly.
TEST(FcsLoaderText, ReadingATextCostsAFewTimesItsSize) {
    const std::string keywords = "/$BYTEORD/1,2,3,4/$DATATYPE/F/$MODE/L/$PAR/1/$TOT/0/$P1B/32/$P1N/FSC/";
    const auto file = [](const std::string& text) {
        char head[65];
        std::snprintf(head, sizeof head, "FCS3.1    %8d%8zu%8d%8d%8d%8d      ", 64, 64 + text.size() - 1, 0, 0, 0, 0);
        return std::string(head, 64) + text;
    };
    std::string many = keywords;
    for (int i = 0; i < 1000000; ++i) many += "$X" + std::to_string(i) + "/v" + std::to_string(i % 1000) + "/";
    const struct {
        const char* what;
        std::string bytes;
        int code;
    } cases[] = {
        {"a value of 4,000,000 delimiters", file(keywords + "BIG/" + std::string(4000000, '/')),
         MCV_LoadCode::MalformedText},
        {"the same before every other keyword", file("/BIG/" + std::string(4000000, '/') + keywords),
         MCV_LoadCode::MalformedText},
        {"1,000,000 keywords", file(many), 0},
    };
    many.clear();
    many.shrink_to_fit();
    QTemporaryDir dir;
    for (const auto& c : cases) {
        const std::string path = dir.filePath("text.fcs").toStdString();
        FcsTestFile::writeBytes(path, c.bytes);
        const auto [code, peak] = loadInChild(path);
        EXPECT_EQ(code, c.code) << c.what;
        const long long limit = 8 * static_cast<long long>(c.bytes.size()) + (16LL << 20);
        EXPECT_GT(peak, 0) << c.what;
        EXPECT_LE(peak, limit) << c.what << ": a file of " << c.bytes.size() << " bytes";
    }
}
