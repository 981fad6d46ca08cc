#include "DerivedDataFixture.h"
#include "StrictFcsReader.h"
#include "support/CapturedOutput.h"
#include "support/TestData.h"

#include "data/MCV_DerivedDataPoints.h"
#include "data/MCV_FcsWriter.h"

#include <QDir>

#include <cmath>
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
    // Exports "All Points" and checks that both readers read it back as the
    // data set holds it: names and labels, every event of every file in order,
    // bit for bit, and a $PnR no smaller than any value (readers clip to it).
    void exportAndCompare(const std::string& file) {
        data->initAllDerviedDataPointer();
        quietly([&] { ASSERT_EQ(data->writeToFile("All Points", file, 0, nullptr), 0); });
        MCV_FcsHeader* h = data->combinedHeader();
        const size_t V = static_cast<size_t>(h->numVariables());
        std::vector<float> all;
        for (int f = 0; f < data->numFiles(); ++f)
            all.insert(all.end(), data->rawData(f), data->rawData(f) + size_t(data->header(f)->numEvents()) * V);
        FcsLoad l(file);
        ASSERT_EQ(l.code, 0);
        EXPECT_EQ(*l.header->markerList(0), *h->markerList(0));
        EXPECT_EQ(*l.header->markerList(1), *h->markerList(1));
        ASSERT_EQ(size_t(l.header->numEvents()) * V, all.size());
        EXPECT_EQ(std::memcmp(l.matrix.get(), all.data(), all.size() * sizeof(float)), 0);
        const StrictFcs s = StrictFcs::parse(readAll(file));
        ASSERT_TRUE(s.ok) << s.error;
        EXPECT_EQ(std::memcmp(s.values.data(), all.data(), all.size() * sizeof(float)), 0);
        for (size_t i = 0; i < all.size(); ++i)
            ASSERT_GE(std::stod(s.get("$P" + std::to_string(i % V + 1) + "R")), double(all[i])) << i % V;
    }
};

}  // namespace

TEST_F(FcsWriter, ParametersAreDeclaredAsTheFloatsWrittenWithARangeCoveringThem) {
    // The merged variable of two files whose names differ has bits 0 and
    // range 0; an added variable has exponent 1 and range 0; A's range from
    // the file is 262144, below the largest value.
    load({{{300000.25f, 1}}});
    ASSERT_EQ(data->loadFromFile(writeFcs("other.fcs", {{7, 2}}, {"A", "Other"})), -1);
    data->addDimensions({"X"}, 0.5f);
    ASSERT_EQ(write({{1, 0}, {0, 0}, {1, 0}}, path("kw.fcs")), 0);
    const StrictFcs s = strict("kw.fcs");
    EXPECT_EQ(s.values, (std::vector<float>{7, 2, 0.5f, 300000.25f, 1, 0.5f, 7, 2, 0.5f})) << "in list order, repeats";
    EXPECT_EQ(s.get("$P1R") + s.get("$P2R") + s.get("$P3R"), "30000121");
    EXPECT_EQ(s.get("$P2S") + s.get("$P2N"), "- multiple -- multiple -");
    for (const char* p : {"$P1", "$P2", "$P3"}) {
        EXPECT_EQ(s.get(std::string(p) + "B"), "32") << p;
        EXPECT_EQ(s.get(std::string(p) + "E"), "0,0") << p << ": FCS 3.1 requires 0,0 for float data";
    }
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
}

TEST_F(FcsWriter, FailuresLeaveNoFileAndEmptySetsRawArraysAndBarePathsWriteReadableFiles) {
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
        EXPECT_TRUE(QFile::exists("/dev/full")) << "a failed export removes only regular files";
    }
    MCV_FcsWriter unset;
    quietly([&] { EXPECT_EQ(unset.writeToFile(path("unset.fcs")), MCV_FcsWriter::Failed); });

    // '\\' separates folders on other systems: FILENAME keeps what follows the last one.
    ASSERT_EQ(write({{0, 0}}, path("a\\b.fcs")), 0);
    EXPECT_EQ(strict("a\\b.fcs").get("FILENAME"), "b.fcs");
    const QString cwd = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(dir.path()));
    const int r = write({{0, 0}}, "plain.fcs");
    QDir::setCurrent(cwd);
    ASSERT_EQ(r, 0);
    EXPECT_EQ(strict("plain.fcs").get("FILENAME"), "plain.fcs");

    ASSERT_EQ(write({}, path("empty.fcs")), 0);
    const StrictFcs s = strict("empty.fcs");
    EXPECT_EQ(s.get("$TOT") + s.get("$BEGINDATA") + s.get("$ENDDATA"), "000");
    FcsLoad empty(path("empty.fcs"));
    EXPECT_EQ(empty.code, 0);
    EXPECT_TRUE(empty.matrix) << "no events is an empty matrix, not a refusal";

    float values[4] = {1, 2, 3, 4};
    MCV_FcsWriter w;
    w.setHeader(data->combinedHeader());
    quietly([&] { ASSERT_EQ(w.writeToFileFromRaw(path("raw.fcs"), values, 2), 0); });
    EXPECT_EQ(strict("raw.fcs").values, (std::vector<float>{1, 2, 3, 4}));
}

TEST_F(FcsWriter, EveryLoadableRealFileSurvivesAnExport) {
    const QString fcsDir = realFcsDir();
    int checked = 0;
    for (const QString& name : QDir(fcsDir).entryList(QDir::Files)) {
        SCOPED_TRACE(name.toStdString());
        fresh();
        if (name.endsWith(".md") || data->loadFromFile((fcsDir + "/" + name).toStdString()) != 0) continue;
        ++checked;
        exportAndCompare(path("whole-" + name.toStdString() + ".fcs"));
        // The embedding's variables and the sample tag, as analyses add them.
        const int n = data->header(0)->numEvents();
        std::vector<float> x(static_cast<size_t>(n));
        for (int e = 0; e < n; ++e) x[static_cast<size_t>(e)] = 1e6f * std::sin(static_cast<float>(e));
        data->addDimensions({"QLMRN_TsneX"}, {x});
        data->addDimensions({"QLMRN_ST"}, -1.0f);
        exportAndCompare(path("added-" + name.toStdString() + ".fcs"));
    }
    EXPECT_GE(checked, 5) << "test data missing under " << fcsDir.toStdString();
}
