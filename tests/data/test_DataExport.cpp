// Exports of the data set: point sets as raw binary matrices or FCS, cluster
// sets as one FCS file per cluster (and sample), with their names, console
// lines and failure results.
#include "DerivedDataFixture.h"
#include "support/CapturedOutput.h"

#include "data/MCV_DerivedDataClusters.h"
#include "data/MCV_DerivedDataPoints.h"

#include <QDir>

#include <cstring>

namespace {

class DataExport : public DerivedDataTest {
protected:
    // Two files s1.fcs (3 events) and s2.fcs (2 events) of variables A, B, C;
    // event e of file f holds 100 f + 10 e + v.
    void SetUp() override {
        DerivedDataTest::SetUp();
        std::vector<Rows> files(2);
        for (int f = 0; f < 2; ++f)
            for (int e = 0; e < 3 - f; ++e)
                files[static_cast<size_t>(f)].push_back(
                    {100.0f * f + 10.0f * e, 100.0f * f + 10.0f * e + 1, 100.0f * f + 10.0f * e + 2});
        load(files, {"A", "B", "C"});
        points = data->derivedDataPoints("P", true);
    }
    static std::vector<float> floats(const std::string& bytes) {
        std::vector<float> v(bytes.size() / 4);
        std::memcpy(v.data(), bytes.data(), v.size() * 4);
        return v;
    }
    int writeToFile(const std::string& name, const std::string& file, int mode, std::vector<int> markers,
                    std::string* log = nullptr) {
        return logged([&] { return data->writeToFile(name, file, mode, &markers); }, log);
    }
    int writeClusters(const std::string& name, const std::string& file, bool perFile, std::string* log = nullptr) {
        return logged([&] { return data->writeClustersToFiles(name, file, perFile); }, log);
    }
    template <typename F>
    static int logged(F f, std::string* log) {
        int r = -100;
        const std::string out = capturedStdout([&] { r = f(); });
        if (log) *log = out;
        return r;
    }
    MCV_DerivedDataPoints* points = nullptr;
};

}  // namespace

TEST_F(DataExport, BinaryRowsHoldTheChosenVariablesInAscendingOrder) {
    points->setPoints({{1, 1}, {0, 2}}, false);
    ASSERT_EQ(writeToFile("P", path("m.bin"), 0, {2, 0}), 1);
    EXPECT_EQ(readAll(path("m.bin")).size(), 16u);
    EXPECT_EQ(floats(readAll(path("m.bin"))), (std::vector<float>{110, 112, 20, 22}));
    ASSERT_EQ(writeToFile("P", path("r.bin"), 0, {1, 1}), 1);
    EXPECT_EQ(floats(readAll(path("r.bin"))), (std::vector<float>{111, 21})) << "a repeated marker counts once";
}

TEST_F(DataExport, ExtensionChoosesTheWriter) {
    points->setPoints({{0, 0}}, false);
    EXPECT_EQ(writeToFile("", path("x.bin"), 0, {0}), 0);
    EXPECT_FALSE(exists(path("x.bin")));
    for (const char* file : {"u.BIN", "u.bin2", "u.fcs", "u"}) {
        SCOPED_TRACE(file);
        EXPECT_EQ(writeToFile("P", path(file), 0, {0}), 0) << "FCS success is 0";
        EXPECT_EQ(readAll(path(file)).substr(0, 6), "FCS3.1");
        FcsLoad l(path(file));
        EXPECT_EQ(l.header->numVariables(), 3) << "FCS files hold every variable";
    }
    EXPECT_EQ(writeToFile("nope", path("n.fcs"), 0, {0}), -1);
    EXPECT_EQ(writeToFile("nope", path("n.bin"), 0, {0}), 0);
    EXPECT_FALSE(exists(path("n.fcs")));
}

TEST_F(DataExport, EmptySetAndBadRequestsInModeZero) {
    std::string log;
    ASSERT_EQ(writeToFile("P", path("e.bin"), 0, {0, 2}), 1);
    EXPECT_EQ(readAll(path("e.bin")), "");

    points->setPoints({{0, 0}}, false);
    EXPECT_EQ(writeToFile("P", path("bad.bin"), 0, {3}, &log), 0) << "no variable 3";
    EXPECT_NE(log.find("[ERROR]"), std::string::npos);
    EXPECT_FALSE(exists(path("bad.bin")));
    EXPECT_EQ(writeToFile("P", path("no/such/dir.bin"), 0, {0}, &log), 0);
    EXPECT_NE(log.find("[ERROR]"), std::string::npos);
    EXPECT_EQ(writeToFile("P", path("m2.bin"), 2, {0}), 0);
    EXPECT_FALSE(exists(path("m2.bin")));
}

TEST_F(DataExport, ModeOneWritesOneFilePerLoadedFile) {
    ASSERT_EQ(data->loadFromFile(data->fileName(0, false)), 0);  // s1 again: its own output name
    points->setPoints({{1, 1}, {0, 0}, {1, 0}, {0, 2}}, false);
    std::string log;
    ASSERT_EQ(writeToFile("P", path("out.bin"), 1, {1}, &log), 1);
    EXPECT_EQ(floats(readAll(path("out-s1.bin"))), (std::vector<float>{1, 21}));
    EXPECT_EQ(floats(readAll(path("out-s2.bin"))), (std::vector<float>{111, 101}));
    EXPECT_TRUE(exists(path("out-s1-2.bin"))) << "the second s1 does not overwrite the first";
    EXPECT_EQ(readAll(path("out-s1-2.bin")), "") << "a file without points of the set";
    EXPECT_NE(log.find("File " + path("out-s2.bin") + " written succesfully (total of 2 1D points).\n"),
              std::string::npos)
        << log;

    EXPECT_EQ(writeToFile("P", path("gone/out.bin"), 1, {1}, &log), 0) << "unopenable files are not skipped silently";
    EXPECT_NE(log.find("[ERROR]"), std::string::npos);
}

TEST_F(DataExport, ClustersAreWrittenOneFilePerClusterAndSample) {
    MCV_DerivedDataClusters* c = data->derivedDataClusters("C", true);
    c->setClusters({{{1, 0}, {1, 1}}, {{0, 1}, {1, 0}}}, nullptr, {}, nullptr);
    c->setClusterName(0, "a");
    c->setClusterName(1, "b");
    std::string log;
    ASSERT_EQ(writeClusters("C", path("out.fcs"), false, &log), 1);
    EXPECT_NE(log.find("Clusters exported succesfully.\n"), std::string::npos);
    FcsLoad a(path("out-a.fcs"));
    ASSERT_EQ(a.code, 0);
    EXPECT_EQ(a.header->numEvents(), 2);
    EXPECT_EQ(a.at(1, 2), 112.0f);
    EXPECT_TRUE(exists(path("out-b.fcs")));

    ASSERT_EQ(writeClusters("C", path("per.fcs"), true), 1);
    EXPECT_TRUE(exists(path("per-a-s2.fcs")));
    EXPECT_FALSE(exists(path("per-a-s1.fcs"))) << "cluster a has no points of s1";
    FcsLoad b1(path("per-b-s1.fcs"));
    ASSERT_EQ(b1.code, 0);
    EXPECT_EQ(b1.header->numEvents(), 1);
    EXPECT_EQ(b1.at(0, 0), 10.0f);
    EXPECT_TRUE(exists(path("per-b-s2.fcs")));
}

TEST_F(DataExport, ClusterExportRefusesAndReportsFailures) {
    MCV_DerivedDataClusters* c = data->derivedDataClusters("C", true);
    c->setClusters({{{0, 0}}}, nullptr, {}, nullptr);
    EXPECT_EQ(writeClusters("", path("x.fcs"), false), 0);
    EXPECT_EQ(writeClusters("C", path("x.bin"), false), 0);
    EXPECT_EQ(writeClusters("C", path("x"), false), 0);
    EXPECT_EQ(writeClusters("Missing", path("x.fcs"), false), 0);
    EXPECT_EQ(writeClusters("P", path("x.fcs"), false), 0) << "a point set is not a cluster set";
    EXPECT_TRUE(QDir(QString::fromStdString(dir.path().toStdString())).entryList({"x*"}).isEmpty());

    std::string log;
    EXPECT_EQ(writeClusters("C", path("gone/x.fcs"), false, &log), 0);
    EXPECT_EQ(log.find("succesfully"), std::string::npos) << "no success line after a failed write";
    EXPECT_NE(log.find("[ERROR]"), std::string::npos);

    data->derivedDataClusters("Empty", true);
    EXPECT_EQ(writeClusters("Empty", path("e.fcs"), false, &log), 1);
    EXPECT_NE(log.find("Clusters exported succesfully.\n"), std::string::npos);
}

TEST_F(DataExport, ClusterNamesCannotLeaveTheFolderOrOverwriteEachOther) {
    MCV_DerivedDataClusters* c = data->derivedDataClusters("C", true);
    c->setClusters({{{0, 0}}, {{0, 1}}, {{0, 2}}}, nullptr, {}, nullptr);
    c->setClusterName(0, "../escape");
    c->setClusterName(1, "same");
    c->setClusterName(2, "same");
    ASSERT_EQ(writeClusters("C", path("sub.fcs"), false), 1);
    EXPECT_TRUE(exists(path("sub-.._escape.fcs")));
    EXPECT_FALSE(exists(path("escape.fcs")));
    FcsLoad first(path("sub-same.fcs")), second(path("sub-same-2.fcs"));
    ASSERT_EQ(first.code, 0);
    ASSERT_EQ(second.code, 0);
    EXPECT_EQ(first.at(0, 0), 10.0f);
    EXPECT_EQ(second.at(0, 0), 20.0f);
}
