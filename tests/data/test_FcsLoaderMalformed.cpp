#include "FcsTestFile.h"

#include "data/MCV_Messages.h"

#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <set>

namespace Code = MCV_LoadCode;

namespace {

FcsTestFile valid() { return FcsTestFile::floats({{1.0f, 2.0f}, {3.0f, 4.0f}}); }

// The code of a load of `bytes`; a matrix comes back exactly on success.
int codeOfBytes(const QTemporaryDir& dir, const std::string& bytes) {
    const std::string path = dir.filePath("m.fcs").toStdString();
    FcsTestFile::writeBytes(path, bytes);
    FcsLoad l(path);
    EXPECT_TRUE(l.code >= 0 && l.code <= Code::LastError) << l.code;
    EXPECT_EQ(l.code == 0, bool(l.matrix)) << "code " << l.code;
    return l.code;
}
int codeOf(const QTemporaryDir& dir, const FcsTestFile& f) { return codeOfBytes(dir, f.bytes()); }

}  // namespace

TEST(FcsLoaderMalformed, BytesThatAreNoFcsFileOrLackTheTextOrTheData) {
    QTemporaryDir dir;
    for (const auto& [version, code] :
         {std::pair("FCS1.0", Code::Fcs10NotSupported), {"FCS3.2", Code::NoVersion}, {"FCS3.0x", Code::NoVersion}}) {
        FcsTestFile f = valid();
        f.version = version;
        EXPECT_EQ(codeOf(dir, f), code) << version;
    }
    for (const char* bytes : {"", "FCS", "hello world, not a cytometry file at all"})
        EXPECT_EQ(codeOfBytes(dir, bytes), Code::NoVersion) << bytes;
    EXPECT_EQ(codeOfBytes(dir, "FCS3.0    "), Code::MalformedText) << "a good token in a file too short for a HEADER";
    // TEXT offsets outside the file, reversed, inside the HEADER or no number.
    const std::pair<const char*, const char*> offsets[] = {{"99999999", ""},   {"100", "90"},      {"10", "100"},
                                                           {"64", "99999999"}, {"64", "  abc   "}, {"64", "        "},
                                                           {"-64     ", ""}};
    for (const auto& [start, end] : offsets) {
        FcsTestFile file = valid();
        file.headerField[0] = start;
        file.headerField[1] = end;
        EXPECT_EQ(codeOf(dir, file), Code::MalformedText) << start << "|" << end;
    }
}

TEST(FcsLoaderMalformed, KeywordsThatRefuseTheFile) {
    // Each value of a row (nullptr: the keyword removed) gives the row's code.
    struct Case {
        const char* key;
        int code;
        std::vector<const char*> values;
        const char* type = "F";  // else a one-event file of that type
    };
    const Case cases[] = {
        {"$TOT", Code::MalformedText, {"", "-1", "abc", "12x", "2147483648", "99999999999999999999999", nullptr}},
        // More events than the DATA segment holds.
        {"$TOT", Code::DataDoNotFit, {"3"}},
        {"$PAR", Code::MalformedText, {"0", "-2", "", "1e3", "2000000000", nullptr}},
        {"$P2B", Code::MalformedText, {nullptr}},
        {"$DATATYPE", Code::UnsupportedDataType, {"A", "Q", "", nullptr}},
        {"$MODE", Code::UnsupportedMode, {"C", "U"}},
        {"$MODE", 0, {nullptr}},  // list mode by default
        {"$BYTEORD", Code::UnsupportedByteOrder, {"3,4,1,2", "1,2,4,3", "big", nullptr}},
        {"$P2B", Code::UnsupportedBitWidth, {"64"}},
        {"$P1B", Code::UnsupportedBitWidth, {"16", "*"}},
        {"$P1B", Code::UnsupportedBitWidth, {"12", "10", "0", "72", "-16"}, "I"},
        {"$P1B", Code::UnsupportedBitWidth, {"32"}, "D"},
    };
    QTemporaryDir dir;
    for (const Case& c : cases)
        for (const char* value : c.values) {
            FcsTestFile f = *c.type == 'F' ? valid() : FcsTestFile::listMode(c.type, 1, {16});
            if (*c.type != 'F') f.data = "\x01\x02\x03\x04";
            value ? f.set(c.key, value) : f.remove(c.key);
            EXPECT_EQ(codeOf(dir, f), c.code) << c.key << "=" << (value ? value : "<none>") << " " << c.type;
        }

    // Only the HEADER start: the events' byte count decides, also when it
    // cannot be in any file.
    const auto headerStartOnly = [](const char* tot) {
        return [tot](FcsTestFile& f) { f.dataOffsetsInText = false, f.headerField[3] = "0", f.set("$TOT", tot); };
    };
    const std::pair<int, std::function<void(FcsTestFile&)>> offsets[] = {
        {Code::NoDataStart, [](FcsTestFile& f) { f.dataOffsetsInHeader = f.dataOffsetsInText = false; }},
        {Code::NoDataStart,
         [](FcsTestFile& f) { f.dataOffsetsInHeader = false, f.textShift[0] = f.textShift[1] = -1000000; }},
        {Code::Truncated,
         [](FcsTestFile& f) { f.headerShift[0] = f.headerShift[1] = f.textShift[0] = f.textShift[1] = 1; }},
        {Code::Truncated, headerStartOnly("3")},
        {Code::Truncated, headerStartOnly("2147483647")},
    };
    for (size_t i = 0; i < std::size(offsets); ++i) {
        FcsTestFile f = valid();
        offsets[i].second(f);
        EXPECT_EQ(codeOf(dir, f), offsets[i].first) << i;
    }
    const std::string bytes = valid().bytes();
    for (size_t drop : {1u, 4u, 15u})
        EXPECT_EQ(codeOfBytes(dir, bytes.substr(0, bytes.size() - drop)), Code::Truncated);
}

// Every parameter needs its $PnB, and $TOT rows of them must fit the file:
// a $PAR that the TEXT cannot describe is refused before anything is made
// per parameter, naming the first parameter (by number) that is wrong.
TEST(FcsLoaderMalformed, AParameterCountTheTextCannotDescribeIsRefusedBeforeAnyParameterIsMade) {
    const struct {
        const char* what;
        std::function<void(FcsTestFile&)> edit;
        int code;
        const char* named;
    } cases[] = {
        {"$PAR 5 of 2", [](FcsTestFile& f) { f.set("$PAR", "5"); }, Code::MalformedText, "$P3B is missing; $PAR is 5."},
        {"$PAR 4 with every $PnB, DATA of 2 parameters",
         [](FcsTestFile& f) { f.set("$PAR", "4"), f.set("$P3B", "32"), f.set("$P4B", "32"); }, Code::DataDoNotFit,
         "2 x 16 = 32 bytes"},
        {"$P2B missing before a wrong $P3B",
         [](FcsTestFile& f) { f.set("$PAR", "3"), f.remove("$P2B"), f.set("$P3B", "12"); }, Code::MalformedText,
         "$P2B is missing"},
        {"a wrong $P1B before a missing $P2B", [](FcsTestFile& f) { f.set("$P1B", "16"), f.remove("$P2B"); },
         Code::UnsupportedBitWidth, "$P1B is \"16\""},
        {"$P2B given only as $P02B", [](FcsTestFile& f) { f.remove("$P2B"), f.set("$P02B", "32"); },
         Code::MalformedText, "$P2B is missing"},
    };
    QTemporaryDir dir;
    for (const auto& c : cases) {
        FcsTestFile f = valid();
        c.edit(f);
        FcsLoad l(f.write(dir, "par.fcs"));
        ASSERT_EQ(l.code, c.code) << c.what << ": " << l.loader.refusal();
        EXPECT_NE(l.loader.refusal().find(c.named), std::string::npos) << c.what << ": " << l.loader.refusal();
        EXPECT_EQ(l.header->numVariables(), 0) << c.what;
    }
}

TEST(FcsLoaderMalformed, DamagedFilesNeverCrashAndAlwaysGetACode) {
    // Copies of a valid file with random bytes overwritten or cut out (seeded).
    QTemporaryDir dir;
    FcsTestFile base = FcsTestFile::listMode("I", 3, {8, 16, 32});
    base.data.assign(21, '\x01');
    const std::string good = base.bytes();
    std::mt19937 rng(1234);
    for (int round = 0; round < 300; ++round) {
        std::string bytes = good;
        for (int i = 0, edits = 1 + int(rng() % 4); i < edits; ++i) {
            const size_t at = rng() % bytes.size();
            const unsigned kind = rng() % 3;
            if (kind == 2)
                bytes.erase(at, 1 + rng() % 8);
            else
                bytes[at] = kind ? "0123456789/ -"[rng() % 13] : char(rng());
        }
        codeOfBytes(dir, bytes);
    }
}

TEST(FcsLoaderMalformed, RefusalsLeaveTheHeaderAloneAndTheLoaderCanBeReused) {
    QTemporaryDir dir;
    FcsTestFile bad = valid();
    bad.set("$MODE", "C");
    MCV_FcsLoader loader;
    for (const auto& c :
         std::vector<std::pair<std::string, int>>{{dir.filePath("missing.fcs").toStdString(), Code::CannotOpen},
                                                  {dir.path().toStdString(), Code::CannotOpen},
                                                  {bad.write(dir, "bad.fcs"), Code::UnsupportedMode},
                                                  {valid().write(dir, "good.fcs"), 0}}) {
        MCV_FcsHeader h(nullptr);
        h.setFileName(c.first);
        h.setNumEvents(77);
        float* data = nullptr;
        EXPECT_EQ(loader.loadFromFile(&data, &h), c.second) << c.first;
        std::unique_ptr<float[]> owned(data);
        EXPECT_EQ(bool(owned), c.second == 0);
        EXPECT_EQ(h.markerList(0)->size(), c.second ? 0u : 2u) << "filled only on success";
        EXPECT_EQ(h.numEvents(), c.second == Code::CannotOpen ? 77 : 2) << c.first;
    }
    EXPECT_EQ(loader.fetchValueForKey("$MODE"), "L");
}

// Every refusal says why, with the numbers that decide it, so that the user
// can tell a damaged file from one this reader does not take.
TEST(FcsLoaderMalformed, EveryRefusalGivesItsReasonWithItsNumbers) {
    QTemporaryDir dir;
    const std::string good = valid().bytes();
    const size_t size = good.size();
    const auto edited = [](std::function<void(FcsTestFile&)> edit) {
        FcsTestFile f = valid();
        edit(f);
        return f.bytes();
    };
    const std::string forbidden = edited([](FcsTestFile& f) { f.set("BIG", "//"); });
    const size_t big = forbidden.find("BIG");
    const struct {
        const char* what;
        std::string bytes;  // the file; none for `path`
        std::string path;
        int code;
        std::vector<std::string> named;
    } cases[] = {
        {"FCS 1.0", edited([](FcsTestFile& f) { f.version = "FCS1.0"; }), "", Code::Fcs10NotSupported, {"FCS1.0"}},
        {"no FCS file", "hello world, not a cytometry file", "", Code::NoVersion, {"\"hello\""}},
        {"an empty file", "", "", Code::NoVersion, {"0 bytes"}},
        {"a letter as delimiter",
         edited([](FcsTestFile& f) { f.delimiter = 'A'; }),
         "",
         Code::UnknownSeparator,
         {"offset 64", "'A' (0x41)"}},
        {"no DATA offsets",
         edited([](FcsTestFile& f) { f.dataOffsetsInHeader = f.dataOffsetsInText = false; }),
         "",
         Code::NoDataStart,
         {"DATA start is 0 and $BEGINDATA is missing"}},
        {"a missing file", "", dir.filePath("missing.fcs").toStdString(), Code::CannotOpen, {"No such file"}},
        {"a folder", "", dir.path().toStdString(), Code::CannotOpen, {"a folder, not a file"}},
        {"TEXT beyond the end",
         edited([](FcsTestFile& f) { f.headerField[1] = "99999999"; }),
         "",
         Code::MalformedText,
         {"holds " + std::to_string(size) + " bytes", "bytes 64 to 99999999"}},
        {"$TOT no number", edited([](FcsTestFile& f) { f.set("$TOT", "abc"); }), "", Code::MalformedText, {"\"abc\""}},
        {"$PAR beyond the keywords",
         edited([](FcsTestFile& f) { f.set("$PAR", "2000000000"); }),
         "",
         Code::MalformedText,
         {"$PAR is 2000000000", "only 16 keywords"}},
        {"$P2B missing",
         edited([](FcsTestFile& f) { f.remove("$P2B"); }),
         "",
         Code::MalformedText,
         {"$P2B is missing; $PAR is 2"}},
        {"a value that starts with the delimiter",
         forbidden,
         "",
         Code::MalformedText,
         {"\"BIG\" (offset " + std::to_string(big) + ")", "'/' at offset " + std::to_string(big + 4)}},
        {"cut short by 4 bytes",
         good.substr(0, size - 4),
         "",
         Code::Truncated,
         {"holds " + std::to_string(size - 4) + " bytes, but its segments need " + std::to_string(size),
          "2 events x 8 bytes (16 bytes) runs from offset " + std::to_string(size - 16) + " to " +
              std::to_string(size - 1)}},
        {"ASCII data",
         edited([](FcsTestFile& f) { f.set("$DATATYPE", "A"); }),
         "",
         Code::UnsupportedDataType,
         {"$DATATYPE is \"A\""}},
        {"histograms",
         edited([](FcsTestFile& f) { f.set("$MODE", "C"); }),
         "",
         Code::UnsupportedMode,
         {"$MODE is \"C\""}},
        {"a mixed byte order",
         edited([](FcsTestFile& f) { f.set("$BYTEORD", "3,4,1,2"); }),
         "",
         Code::UnsupportedByteOrder,
         {"$BYTEORD is \"3,4,1,2\""}},
        {"16-bit floats",
         edited([](FcsTestFile& f) { f.set("$P1B", "16"); }),
         "",
         Code::UnsupportedBitWidth,
         {"$P1B is \"16\", but $DATATYPE F stores 32-bit values"}},
        {"two wrong widths: the first parameter is named",
         edited([](FcsTestFile& f) { f.set("$P1B", "16"), f.set("$P2B", "8"); }),
         "",
         Code::UnsupportedBitWidth,
         {"$P1B is \"16\", but"}},
        {"two wrong widths, the second stored first",
         edited([](FcsTestFile& f) {
             f.remove("$P1B");
             f.set("$P2B", "8");
             f.keywords.emplace_back("$P1B", "16");
         }),
         "",
         Code::UnsupportedBitWidth,
         {"$P1B is \"16\", but"}},
        {"a data type with a space in it",
         edited([](FcsTestFile& f) { f.set("$DATATYPE", "F 32"); }),
         "",
         Code::UnsupportedDataType,
         {"$DATATYPE is \"F 32\"."}},
        {"$TOT one more",
         edited([](FcsTestFile& f) { f.set("$TOT", "3"); }),
         "",
         Code::DataDoNotFit,
         {"3 x 8 = 24 bytes", "segment of 16 bytes"}},
        {"$PAR twice",
         edited([](FcsTestFile& f) { f.keywords.emplace_back("$PAR", "1"); }),
         "",
         Code::ConflictingKeywords,
         {"\"2\" and \"1\""}},
        {"HEADER and TEXT name different DATA that both fit",
         edited([](FcsTestFile& f) { f.afterData = "x", f.headerShift[0] = f.headerShift[1] = 1; }),
         "",
         Code::DataSegmentsDisagree,
         {"The HEADER names a segment of 16 bytes (offsets " + std::to_string(size - 15) + " to " +
          std::to_string(size) + ") and the TEXT names a segment of 16 bytes (offsets " + std::to_string(size - 16) +
          " to " + std::to_string(size - 1) + ")"}},
    };
    std::set<int> codes;
    for (const auto& c : cases) {
        std::string path = c.path;
        if (path.empty()) FcsTestFile::writeBytes(path = dir.filePath("r.fcs").toStdString(), c.bytes);
        FcsLoad l(path);
        ASSERT_EQ(l.code, c.code) << c.what << ": " << l.loader.refusal();
        codes.insert(l.code);
        for (const std::string& text : c.named)
            EXPECT_NE(l.loader.refusal().find(text), std::string::npos) << c.what << ": " << l.loader.refusal();
    }
    // Every code the reader returns but OutOfMemory, which a test file cannot provoke.
    EXPECT_EQ(codes, (std::set<int>{1, 2, 3, 6, 9, 10, 11, 12, 13, 14, 15, 17, 18, 19}));
}
