#include "DerivedDataFixture.h"

#include "data/MCV_Messages.h"
#include "support/WorkingFolder.h"

#include <cmath>

namespace {

class DataSet : public DerivedDataTest {
protected:
    // A float file with `events` rows; value of event e, variable v is 100 e + v.
    std::string file(const std::string& name, int events, std::vector<std::string> markers = {"CD3", "CD4"}) {
        Rows rows(static_cast<size_t>(events));
        for (int e = 0; e < events; ++e)
            for (size_t v = 0; v < markers.size(); ++v) rows[size_t(e)].push_back(100.0f * e + static_cast<float>(v));
        return writeFcs(name, rows, markers);
    }
};

}  // namespace

TEST_F(DataSet, CombinedHeaderMergesCountsKeywordsAndNames) {
    EXPECT_EQ(data->loadFromFile(file("a.fcs", 3)), 0);
    // Other counts, keywords, labels and ranges are no warning.
    FcsTestFile b = FcsTestFile::floats({{1, 2}});
    for (const auto& [key, value] :
         {std::pair("$P1S", "CD3"), {"$P2S", "CD4"}, {"$P1N", "Other"}, {"$P2R", "1024"}, {"$CYT", "Cyto B"}})
        b.set(key, value);
    EXPECT_EQ(data->loadFromFile(b.write(dir, "b.fcs")), 0);
    MCV_FcsHeader* c = data->combinedHeader();
    EXPECT_EQ(c->numEvents(), -1) << "counts are not added up";
    EXPECT_EQ(c->fileName() + c->cytometry() + c->variableName(1), "multiple filesmultipleCD4");

    // Only the second of three differs in a name: both later loads warn,
    // because the combined variable now reads "- multiple -".
    fresh();
    EXPECT_EQ(data->loadFromFile(file("c.fcs", 2)), 0);
    EXPECT_EQ(data->loadFromFile(file("d.fcs", 2, {"CD3", "CD8"})), MCV_LoadCode::DifferentMarkerNames);
    EXPECT_EQ(data->loadFromFile(file("e.fcs", 2)), MCV_LoadCode::DifferentMarkerNames);
    c = data->combinedHeader();
    EXPECT_EQ(c->variable(1)->label + (*c->markerList(0))[1], "- multiple -- multiple -");
    EXPECT_EQ(std::make_pair(c->numEvents(), data->numFiles()), std::make_pair(2, 3));
}

TEST_F(DataSet, TheSameFileTwiceIsTwoRecordsAndRefusedFilesLeaveEverythingAsItWas) {
    const std::string a = file("a.fcs", 3);
    EXPECT_EQ(data->loadFromFile(a), 0);
    EXPECT_EQ(data->loadFromFile(a), 0);
    EXPECT_EQ(data->sampleTags(), a + ": 0\n" + a + ": 1\n");
    EXPECT_FLOAT_EQ(data->rawData(1)[2 * 2 + 1], 201.0f);
    const std::string before = data->combinedHeader()->printHeader(), tags = data->sampleTags();
    EXPECT_EQ(data->loadFromFile(file("c.fcs", 3, {"CD3", "CD4", "CD8"})), MCV_LoadCode::DifferentMarkerSets);
    EXPECT_EQ(data->loadFromFile(path("missing.fcs")), MCV_LoadCode::CannotOpen);
    FcsTestFile::writeBytes(path("junk.fcs"), "FCS3.1    garbage");
    EXPECT_GT(data->loadFromFile(path("junk.fcs")), 0);
    std::vector<std::string> none, images = {path("a.tif")};
    EXPECT_EQ(data->loadFromFiles(&none), MCV_LoadCode::NoMatrix);
    EXPECT_EQ(data->loadFromFiles(&images), MCV_LoadCode::CannotOpen);
    EXPECT_EQ(data->numFiles(), 2);
    EXPECT_EQ(data->sampleTags(), tags);
    EXPECT_EQ(data->combinedHeader()->printHeader(), before);
    EXPECT_EQ(MCV_loadMessage(9999), "Unknown Error.");
}

// The folder is the file's own whatever its name; a relative path's folder is
// the one it named when it was opened, also after the working folder changed;
// the short name loses folder and extension however the file was opened.
TEST_F(DataSet, EveryFileHasItsOwnFolderAndAShortNameWithoutFolderOrExtension) {
    const QDir top(dir.path());
    ASSERT_TRUE(top.mkpath("run7") && top.mkpath("run.1") && top.mkpath("elsewhere"));
    const std::string real = top.canonicalPath().toStdString() + "/";
    const struct {
        const char* opened;  // as loaded: absolute below the folder, or relative to `from`
        const char* from;    // working folder below the folder; null: `opened` is made absolute
        std::string folder;
        const char* shortName;
    } cases[] = {
        {"run7/sample", nullptr, path("run7") + "/", "sample"},
        {"run.1/sample", nullptr, path("run.1") + "/", "sample"},
        {"run.1/s1.FCS", nullptr, path("run.1") + "/", "s1"},
        {"my.sample.v2.fcs", ".", real, "my.sample.v2"},
        {"sample", "run7", real + "run7/", "sample"},
        {"run.1/x.v2.fcs", ".", real + "run.1/", "x.v2"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.opened);
        fresh();
        const std::string below = c.from ? std::string(c.from) + "/" + c.opened : c.opened;
        FcsTestFile::writeBytes(path(below), FcsTestFile::floats({{1, 2}}).bytes());
        const std::string opened = c.from ? c.opened : path(c.opened);
        {
            WorkingFolder working(top.filePath(c.from ? c.from : "."));
            ASSERT_TRUE(working.entered());
            ASSERT_EQ(data->loadFromFile(opened), 0);
        }
        WorkingFolder elsewhere(top.filePath("elsewhere"));
        ASSERT_TRUE(elsewhere.entered());
        EXPECT_EQ(data->filePath(), c.folder);
        EXPECT_EQ(data->fileFolder(0), c.folder);
        EXPECT_EQ(data->fileName(0, true), c.shortName);
        EXPECT_EQ(data->fileName(0, false), opened) << "the path stays as it was opened";
    }
    EXPECT_EQ(data->fileFolder(1), "");
    fresh();
    EXPECT_EQ(data->filePath(), "") << "no file, no folder";
}

TEST_F(DataSet, AddedVariablesKeepTheOldValuesAndAnnounceOnce) {
    for (int f = 0; f < 3; ++f) EXPECT_EQ(data->loadFromFile(file("f" + std::to_string(f), 3 - f)), 0);
    data->addDimensions(std::vector<std::string>{}, 0.0f);
    EXPECT_EQ(ui.count("dimensionsAdded"), 0) << "an empty name list announces nothing";
    data->addDimensions({"QLMRN_ST"}, -1.0f);
    data->addDimensions({"X", "Y"}, 0.0f);
    EXPECT_EQ(ui.count("dimensionsAdded"), 2);
    for (int f = 0; f < 3; ++f) {
        ASSERT_EQ(data->header(f)->numVariables(), 5);
        for (int e = 0; e < data->header(f)->numEvents(); ++e)
            EXPECT_EQ(std::vector<float>(data->rawData(f) + e * 5, data->rawData(f) + e * 5 + 5),
                      (std::vector<float>{100.0f * e, 100.0f * e + 1, float(f), 0, 0}))
                << "the sample tag is the file index";
    }
    EXPECT_EQ((*data->header(1)->markerList(1))[4], "Y");

    // Given values: event e of every file reads entry e; too few for the
    // largest file are refused, not read past the end.
    data->addDimensions({"Z"}, std::vector<std::vector<float>>{{7, 8, 9}});
    EXPECT_FLOAT_EQ(data->rawData(0)[2 * 6 + 5], 9.0f);
    EXPECT_FLOAT_EQ(data->rawData(2)[5], 7.0f);
    data->addDimensions({"W"}, std::vector<std::vector<float>>{{1, 2}});
    EXPECT_EQ(data->combinedHeader()->numVariables(), 6);
    EXPECT_EQ(ui.count("dimensionsAdded"), 3);
}

TEST_F(DataSet, TransformsReachOnlyListedVariablesAndStandardiseAcrossFiles) {
    EXPECT_EQ(data->loadFromFile(FcsTestFile::floats({{1, 5, -10}, {2, 5, 0}}).write(dir, "a.fcs")), 0);
    EXPECT_EQ(data->loadFromFile(FcsTestFile::floats({{3, 5, 0}, {6, 5, 0}}).write(dir, "b.fcs")), 0);
    data->applyArcSinTransform(0, {true, true, true});  // a cofactor of 0 is refused
    data->applyArcSinTransform(5, {false, true});
    EXPECT_EQ(std::vector<float>(data->rawData(0), data->rawData(0) + 3),
              (std::vector<float>{1, std::asinh(1.0f), -10}));
    data->applyMeanNormalization({true, true});
    // Values 1, 2, 3, 6: mean 3, population deviation sqrt(3.5).
    const float sd = std::sqrt(3.5f);
    EXPECT_NEAR(data->rawData(0)[0], -2.0f / sd, 1e-6);
    EXPECT_NEAR(data->rawData(1)[3], 3.0f / sd, 1e-6);
    EXPECT_FLOAT_EQ(data->rawData(1)[4], 0.0f) << "a constant variable becomes 0, not NaN";
    EXPECT_EQ(data->rawData(0)[2], -10.0f);
}
