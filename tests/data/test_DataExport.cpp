#include "DerivedDataFixture.h"
#include "support/CapturedOutput.h"
#include "support/WorkingFolder.h"

#include "data/MCV_DerivedDataClusters.h"
#include "data/MCV_DerivedDataPoints.h"

#include <QDir>

#include <cstring>
#include <functional>

namespace {

class DataExport : public DerivedDataTest {
protected:
    // Two files s1.fcs (3 events) and s2.fcs (2 events) of variables A, B, C;
    // event e of file f holds 100 f + 10 e + v.
    void SetUp() override {
        DerivedDataTest::SetUp();
        std::vector<Rows> files(2);
        for (int f = 0; f < 2; ++f)
            for (float e = 0, base = 100.0f * f; e < 3 - f; ++e)
                files[size_t(f)].push_back({base + 10 * e, base + 10 * e + 1, base + 10 * e + 2});
        load(files, {"A", "B", "C"});
        points = data->derivedDataPoints("P", true);
        clusters = data->derivedDataClusters("C", true);
    }
    std::vector<float> floats(const std::string& file) {
        const std::string bytes = readAll(path(file));
        std::vector<float> v(bytes.size() / 4);
        std::memcpy(v.data(), bytes.data(), v.size() * 4);
        return v;
    }
    // The result of `f`; what it printed goes to `log`.
    int logged(const std::function<int()>& f) {
        int r = -100;
        log = capturedStdout([&] { r = f(); });
        return r;
    }
    int write(const std::string& name, const std::string& file, int mode = 0, std::vector<int> markers = {0}) {
        return logged([&] { return data->writeToFile(name, path(file), mode, &markers); });
    }
    int writeClusters(const std::string& name, const std::string& file, bool perFile = false) {
        return logged([&] { return data->writeClustersToFiles(name, path(file), perFile); });
    }
    MCV_DerivedDataPoints* points = nullptr;
    MCV_DerivedDataClusters* clusters = nullptr;
    std::string log;
};

}  // namespace

TEST_F(DataExport, BinaryRowsHoldTheChosenVariablesInAscendingOrderModeOneAFilePerLoadedFile) {
    points->setPoints({{1, 1}, {0, 2}}, false);
    ASSERT_EQ(write("P", "m.bin", 0, {2, 0, 2}), 1);
    EXPECT_EQ(floats("m.bin"), (std::vector<float>{110, 112, 20, 22})) << "ascending, a repeat counts once";
    for (const char* file : {"u.BIN", "u.fcs", "u"}) {
        EXPECT_EQ(write("P", file), 0) << file << ": FCS success is 0";
        EXPECT_EQ(FcsLoad(path(file)).header->numVariables(), 3) << "FCS files hold every variable";
    }

    ASSERT_EQ(data->loadFromFile(data->fileName(0, false)), 0);  // s1 again: its own output name
    points->setPoints({{1, 1}, {0, 0}, {1, 0}, {0, 2}}, false);
    ASSERT_EQ(write("P", "out.bin", 1, {1}), 1);
    EXPECT_EQ(floats("out-s1.bin"), (std::vector<float>{1, 21}));
    EXPECT_EQ(floats("out-s2.bin"), (std::vector<float>{111, 101}));
    EXPECT_TRUE(exists(path("out-s1-2.bin"))) << "the second s1 does not overwrite the first";
    EXPECT_EQ(readAll(path("out-s1-2.bin")), "") << "a file without points of the set";
}

TEST_F(DataExport, RefusedRequestsWriteNothingAndFailuresAreReported) {
    points->setPoints({{0, 0}}, false);
    clusters->setClusters({{{0, 0}}}, nullptr, {}, nullptr);
    // {result, file, what}; an unwritable file also prints an error.
    const std::vector<std::tuple<int, std::string, std::function<int()>>> cases = {
        {0, "x.bin", [&] { return write("", "x.bin"); }},
        {-1, "n.fcs", [&] { return write("nope", "n.fcs"); }},
        {0, "bad.bin", [&] { return write("P", "bad.bin", 0, {3}); }},
        {0, "m2.bin", [&] { return write("P", "m2.bin", 2); }},
        {0, "no/such/x.bin", [&] { return write("P", "no/such/x.bin"); }},
        {0, "gone/x.bin", [&] { return write("P", "gone/x.bin", 1); }},
        {0, "c.fcs", [&] { return writeClusters("", "c.fcs"); }},
        {0, "c.bin", [&] { return writeClusters("C", "c.bin"); }},
        {0, "c.fcs", [&] { return writeClusters("Missing", "c.fcs"); }},
        {0, "c.fcs", [&] { return writeClusters("P", "c.fcs"); }},  // a point set is not a cluster set
        {0, "gone/c.fcs", [&] { return writeClusters("C", "gone/c.fcs"); }},
    };
    const QStringList before = QDir(dir.path()).entryList(QDir::Files);
    for (const auto& [result, file, what] : cases) {
        EXPECT_EQ(what(), result) << file;
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), before) << file;
        if (file.find('/') == std::string::npos) continue;
        EXPECT_NE(log.find("[ERROR]"), std::string::npos) << file;
        EXPECT_EQ(log.find("succesfully"), std::string::npos) << "no success line after a failed write";
    }
    points->setPoints({}, false);
    ASSERT_EQ(write("P", "e.bin"), 1);
    EXPECT_EQ(readAll(path("e.bin")), "");
    data->derivedDataClusters("Empty", true);
    EXPECT_EQ(writeClusters("Empty", "e.fcs"), 1);
    EXPECT_NE(log.find("Clusters exported succesfully.\n"), std::string::npos);
}

TEST_F(DataExport, ClustersAreWrittenOneFilePerClusterAndSampleUnderNamesThatStayInTheFolder) {
    clusters->setClusters({{{1, 0}, {1, 1}}, {{0, 1}, {1, 0}}}, nullptr, {}, nullptr);
    clusters->setClusterName(0, "a");
    clusters->setClusterName(1, "b");
    ASSERT_EQ(writeClusters("C", "out.fcs"), 1);
    FcsLoad a(path("out-a.fcs"));
    ASSERT_EQ(a.code, 0);
    EXPECT_EQ(a.header->numEvents(), 2);
    EXPECT_EQ(a.at(1, 2), 112.0f);
    EXPECT_TRUE(exists(path("out-b.fcs")));

    ASSERT_EQ(writeClusters("C", "per.fcs", true), 1);
    EXPECT_FALSE(exists(path("per-a-s1.fcs"))) << "cluster a has no points of s1";
    FcsLoad b1(path("per-b-s1.fcs"));
    ASSERT_EQ(b1.code, 0);
    EXPECT_EQ(std::make_pair(b1.header->numEvents(), b1.at(0, 0)), std::make_pair(1, 10.0f));
    EXPECT_TRUE(exists(path("per-a-s2.fcs")) && exists(path("per-b-s2.fcs")));

    clusters->setClusters({{{0, 0}}, {{0, 1}}, {{0, 2}}}, nullptr, {}, nullptr);
    for (const auto& [i, name] : {std::pair(0, "../escape"), {1, "same"}, {2, "same"}})
        clusters->setClusterName(i, name);
    ASSERT_EQ(writeClusters("C", "sub.fcs"), 1);
    EXPECT_TRUE(exists(path("sub-.._escape.fcs")));
    EXPECT_FALSE(exists(path("escape.fcs")));
    EXPECT_EQ(FcsLoad(path("sub-same.fcs")).at(0, 0), 10.0f);
    EXPECT_EQ(FcsLoad(path("sub-same-2.fcs")).at(0, 0), 20.0f);
}

TEST_F(DataExport, FcsModeOneWritesOneFilePerSampleWithPointsOfTheSet) {
    points->setPoints({{1, 1}, {0, 2}, {1, 0}}, false);
    ASSERT_EQ(write("P", "bubble.fcs", 1), 0);
    EXPECT_FALSE(exists(path("bubble.fcs"))) << "no combined file beside the per-sample ones";
    FcsLoad s1(path("bubble-s1.fcs"));
    FcsLoad s2(path("bubble-s2.fcs"));
    ASSERT_EQ(std::make_pair(s1.code, s2.code), std::make_pair(0, 0));
    EXPECT_EQ(std::make_pair(s1.header->numEvents(), s1.header->numVariables()), std::make_pair(1, 3));
    EXPECT_EQ(s1.at(0, 2), 22.0f);
    EXPECT_EQ(s2.header->numEvents(), 2);
    EXPECT_EQ(std::make_pair(s2.at(0, 0), s2.at(1, 1)), std::make_pair(110.0f, 101.0f)) << "set order kept";

    points->setPoints({{1, 0}}, false);
    ASSERT_EQ(write("P", "only.fcs", 1), 0);
    EXPECT_FALSE(exists(path("only-s1.fcs"))) << "a sample without points of the set gets no file";
    EXPECT_TRUE(exists(path("only-s2.fcs")));
    EXPECT_EQ(write("P", "gone/x.fcs", 1), -1) << "a file that cannot be written is a failure";
}

// A data file opened by its bare name (no folder) gives the per-sample files
// its name without the extension, as a file opened by its full path does.
TEST_F(DataExport, PerSampleFilesOfAFileOpenedByItsBareNameCarryItsNameWithoutExtension) {
    const Rows rows = {{1, 2, 3}, {4, 5, 6}};
    writeFcs("my.sample.v2.fcs", rows, {"A", "B", "C"});
    fresh();
    WorkingFolder working(dir.path());
    ASSERT_TRUE(working.entered());
    ASSERT_EQ(data->loadFromFile("my.sample.v2.fcs"), 0);
    data->derivedDataPoints("P", true)->setPoints({{0, 1}}, false);
    MCV_DerivedDataClusters* set = data->derivedDataClusters("C", true);
    set->setClusters({{{0, 0}, {0, 1}}}, nullptr, {}, nullptr);
    set->setClusterName(0, "k");
    std::vector<int> markers = {0, 1};
    const struct {
        const char* name;
        std::function<int()> run;
        int written;
        const char* file;
    } cases[] = {
        {"fcs", [&] { return data->writeToFile("P", "bubble.v3.fcs", 1, &markers); }, 0, "bubble.v3-my.sample.v2.fcs"},
        {"bin", [&] { return data->writeToFile("P", "bubble.v3.bin", 1, &markers); }, 1, "bubble.v3-my.sample.v2.bin"},
        {"clusters", [&] { return data->writeClustersToFiles("C", "cut.fcs", true); }, 1, "cut-k-my.sample.v2.fcs"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(logged(c.run), c.written) << log;
        EXPECT_TRUE(exists(path(c.file))) << QDir(dir.path()).entryList(QDir::Files).join(" ").toStdString();
    }
    EXPECT_FALSE(exists(path("bubble.v3-my.sample.v2.fcs.fcs")));
}
