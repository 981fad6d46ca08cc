// The FCS writer: byte layout of HEADER, TEXT and DATA, the keywords that make
// the file readable whatever the header says, escaping, failures, and round
// trips through our reader and a strict standard reader.
#include "DerivedDataFixture.h"
#include "StrictFcsReader.h"
#include "support/CapturedOutput.h"

#include "data/MCV_DerivedDataPoints.h"
#include "data/MCV_FcsWriter.h"

#include <QDir>

#include <cstring>

namespace {

class FcsWriter : public DerivedDataTest {
protected:
    // Writes `points` with the combined header; returns the writer's result.
    int write(const Points& points, const std::string& file, std::string* log = nullptr) {
        MCV_DerivedDataPoints p;
        p.setPoints(points, false);
        MCV_FcsWriter w;
        w.setData(&p);
        w.setHeader(data->combinedHeader());
        int r = -100;
        const std::string out = capturedStdout([&] { r = w.writeToFile(file); });
        if (log) *log = out;
        return r;
    }
    StrictFcs strict(const std::string& name) {
        const StrictFcs s = StrictFcs::parse(readAll(path(name)));
        EXPECT_TRUE(s.ok) << s.error;
        return s;
    }
};

std::string pad8(long long n) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%8lld", n);
    return buf;
}

}  // namespace

TEST_F(FcsWriter, ThreePointsOfTwoVariablesHaveTheDocumentedLayout) {
    load({{{1.5f, -2}, {3, 4}, {5, 6.25f}}});
    std::string log;
    ASSERT_EQ(write({{0, 2}, {0, 0}, {0, 2}}, path("out.fcs"), &log), MCV_FcsWriter::Written);
    EXPECT_EQ(log, "\n\nWriting to " + path("out.fcs") + ".\n\n");

    const std::string prefix =
        "\\$BEGINANALYSIS\\0\\$ENDANALYSIS\\0\\$BEGINSTEXT\\0\\$ENDSTEXT\\0\\$NEXTDATA\\0"
        "\\$TOT\\3\\$PAR\\2\\FCSversion\\3.1\\CREATOR\\Quillmaren FCS writer\\$COM\\Quillmaren FCS writer"
        "\\FILENAME\\out.fcs\\GUID\\1.fcs\\ORIGINALGUID\\1.fcs\\$BYTEORD\\1,2,3,4\\$DATATYPE\\F\\$MODE\\L"
        "\\$P1B\\32\\$P1N\\Ch1\\$P1S\\A\\$P1R\\262144\\$P1E\\0,0"
        "\\$P2B\\32\\$P2N\\Ch2\\$P2S\\B\\$P2R\\262144\\$P2E\\0,0";
    const long long L = static_cast<long long>(prefix.size());
    std::string text =
        prefix + "\\$BEGINDATA\\" + std::to_string(L + 164) + "\\$ENDDATA\\" + std::to_string(L + 163 + 24) + "\\";
    text.resize(static_cast<size_t>(L + 64), ' ');
    std::string head = "FCS3.1    " + pad8(100) + pad8(L + 163) + pad8(0) + pad8(0) + pad8(0) + pad8(0);
    head.resize(100, ' ');
    const float values[6] = {5, 6.25f, 1.5f, -2, 5, 6.25f};  // the same point twice is written twice

    EXPECT_EQ(readAll(path("out.fcs")), head + text + std::string(reinterpret_cast<const char*>(values), 24));
}

TEST_F(FcsWriter, ParametersAreDeclaredAsTheFloatsWrittenWithARangeCoveringThem) {
    // The merged variable of two files whose names differ has bits 0 and
    // range 0; an added variable has exponent 1 and range 0; A's range from
    // the file is 262144, below the largest value.
    load({{{300000.25f, 1}}});
    ASSERT_EQ(data->loadFromFile(writeFcs("other.fcs", {{7, 2}}, {"A", "Other"})), -1);
    data->addDimensions({"X"}, 0.5f);
    ASSERT_EQ(write({{0, 0}, {1, 0}}, path("kw.fcs")), 0);
    const StrictFcs s = strict("kw.fcs");
    EXPECT_EQ(s.values, (std::vector<float>{300000.25f, 1, 0.5f, 7, 2, 0.5f}));
    const std::vector<std::string> ranges = {s.get("$P1R"), s.get("$P2R"), s.get("$P3R")};
    EXPECT_EQ(ranges, (std::vector<std::string>{"300001", "2", "1"}));
    EXPECT_EQ(s.get("$P2S"), "- multiple -");
    for (const char* p : {"$P1", "$P2", "$P3"}) {
        EXPECT_EQ(s.get(std::string(p) + "B"), "32") << p;
        EXPECT_EQ(s.get(std::string(p) + "E"), "0,0") << p << ": FCS 3.1 requires 0,0 for float data";
    }
    FcsLoad l(path("kw.fcs"));
    ASSERT_EQ(l.code, 0);
    EXPECT_EQ(l.header->variable(1)->name, "- multiple -");
    EXPECT_EQ(l.header->variable(1)->label, "- multiple -");
    EXPECT_EQ(l.header->creator(), "Quillmaren FCS writer");
    EXPECT_EQ(l.at(1, 0), 7.0f);
    EXPECT_EQ(l.at(1, 2), 0.5f);
}

TEST_F(FcsWriter, DelimitersInValuesAreDoubledAndNoValueIsEmpty) {
    load({{{1, 2, 3}}}, {"CD\\3", "B", "\\lead"});
    data->combinedHeader()->variable(1)->label = "";  // an empty label takes the name
    ASSERT_EQ(write({{0, 0}}, path("esc.fcs")), 0);
    EXPECT_NE(readAll(path("esc.fcs")).find("\\$P1S\\CD\\\\3\\$P1R"), std::string::npos);
    const StrictFcs s = strict("esc.fcs");
    EXPECT_EQ(s.get("$P1S"), "CD\\3");
    EXPECT_EQ(s.get("$P2N"), "B");
    EXPECT_EQ(s.get("$P3S"), " \\lead") << "a leading delimiter cannot be told from the key's end";
    FcsLoad l(path("esc.fcs"));
    ASSERT_EQ(l.code, 0);
    EXPECT_EQ(l.header->variable(0)->name, "CD\\3");
    EXPECT_EQ(l.header->variable(2)->name, " \\lead");
    EXPECT_EQ(l.at(0, 2), 3.0f);
}

TEST_F(FcsWriter, FileNameKeywordIsTheLastPathComponent) {
    load({{{1, 2}}});
    // '\\' separates folders on other systems: the keyword keeps what follows the last one.
    ASSERT_EQ(write({{0, 0}}, path("a\\b.fcs")), 0);
    EXPECT_EQ(strict("a\\b.fcs").get("FILENAME"), "b.fcs");

    const QString cwd = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(dir.path()));
    const int r = write({{0, 0}}, "plain.fcs");
    QDir::setCurrent(cwd);
    ASSERT_EQ(r, 0);
    EXPECT_EQ(strict("plain.fcs").get("FILENAME"), "plain.fcs");
}

TEST_F(FcsWriter, FailuresAreReportedAndLeaveNoFile) {
    load({{{1, 2}}});
    std::string log;
    EXPECT_EQ(write({{0, 0}}, path("missing/dir/x.fcs"), &log), MCV_FcsWriter::Failed);
    EXPECT_NE(log.find("[ERROR]"), std::string::npos);
    EXPECT_EQ(write({{0, 0}, {0, 1}}, path("bad.fcs"), &log), MCV_FcsWriter::Failed) << "event 1 does not exist";
    EXPECT_NE(log.find("point 1 (file 0, event 1)"), std::string::npos) << log;
    EXPECT_EQ(write({{1, 0}}, path("bad.fcs")), MCV_FcsWriter::Failed) << "file 1 does not exist";
    EXPECT_FALSE(exists(path("bad.fcs")));
    if (QFile::exists("/dev/full")) {  // a device that is always full
        EXPECT_EQ(write({{0, 0}}, "/dev/full", &log), MCV_FcsWriter::Failed);
        EXPECT_NE(log.find("[ERROR]"), std::string::npos);
        EXPECT_TRUE(QFile::exists("/dev/full")) << "a failed export removes only regular files";
    }
    MCV_FcsWriter unset;
    quietly([&] { EXPECT_EQ(unset.writeToFile(path("unset.fcs")), MCV_FcsWriter::Failed); });
}

TEST_F(FcsWriter, EmptySetWritesAFileWithoutData) {
    load({{{1, 2}}});
    ASSERT_EQ(write({}, path("empty.fcs")), 0);
    const StrictFcs s = strict("empty.fcs");
    EXPECT_EQ(s.get("$TOT") + s.get("$BEGINDATA") + s.get("$ENDDATA"), "000");
    FcsLoad l(path("empty.fcs"));
    EXPECT_EQ(l.code, 0);
    EXPECT_EQ(l.header->numEvents(), 0);
    EXPECT_EQ(l.header->numVariables(), 2);
}

TEST_F(FcsWriter, RawEntryWritesTheSameLayoutFromAnArray) {
    load({{{1, 2}}});
    float values[4] = {1, 2, 3, 4};
    MCV_FcsWriter w;
    w.setHeader(data->combinedHeader());
    quietly([&] { ASSERT_EQ(w.writeToFileFromRaw(path("raw.fcs"), values, 2), 0); });
    EXPECT_NE(readAll(path("raw.fcs")).find("\\FCSversion\\3\\CREATOR\\"), std::string::npos);
    EXPECT_EQ(strict("raw.fcs").values, (std::vector<float>{1, 2, 3, 4}));
}
