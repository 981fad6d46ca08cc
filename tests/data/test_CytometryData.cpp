// The process-wide data set: merging headers of several files, refusing files
// that do not fit, sample tags, added variables and the in-place transforms.
#include "FcsTestFile.h"

#include "data/MCV_CytometryData.h"
#include "data/MCV_FcsHeader.h"
#include "data/MCV_Messages.h"
#include "data/MCV_UiInterface.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cmath>

namespace {

// Counts the callbacks the data set makes; the interface is ours, not Qt's.
struct RecordingUi : MCV_UiInterface {
    int dimensions = 0;
    void dimensionsAdded() override { ++dimensions; }
    void analysisInitialized(void*) override {}
    void analysisUpdated(void*) override {}
    void analysisFinished(void*) override {}
    void readyForDeletion(void*) override {}
    void newDerivedDataAdded() override {}
    void dataRefreshed(void*) override {}
    void selectionRefreshed(void*) override {}
    void highlightRefreshed(void*) override {}
    void spadeTreeRefreshed(void*) override {}
    void analysesRemoved(std::vector<std::string>*) override {}
};

class DataSet : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        delete MCV_CytometryData::Instance();
        data = MCV_CytometryData::Instance();
        data->init(&ui);
    }
    void TearDown() override { delete MCV_CytometryData::Instance(); }

    // A float file with `events` rows; value of event e, variable v is 100 e + v.
    std::string file(const std::string& name, int events, std::vector<std::string> markers = {"CD3", "CD4"},
                     const std::string& cytometer = "Cyto A") {
        std::vector<std::vector<float>> rows;
        for (int e = 0; e < events; ++e) {
            rows.emplace_back();
            for (size_t v = 0; v < markers.size(); ++v) rows.back().push_back(100.0f * e + static_cast<float>(v));
        }
        FcsTestFile f = FcsTestFile::floats(rows);
        for (size_t v = 0; v < markers.size(); ++v) f.set("$P" + std::to_string(v + 1) + "S", markers[v]);
        f.set("$CYT", cytometer);
        return f.write(dir, name);
    }

    QTemporaryDir dir;
    RecordingUi ui;
    MCV_CytometryData* data = nullptr;
};

}  // namespace

TEST_F(DataSet, SameFileTwiceGivesTwoRecordsAndKeepsTheName) {
    const std::string a = file("a.fcs", 3);
    EXPECT_EQ(data->loadFromFile(a), 0);
    EXPECT_EQ(data->loadFromFile(a), 0);
    EXPECT_EQ(data->numFiles(), 2);
    EXPECT_EQ(data->combinedHeader()->fileName(), a);
    EXPECT_EQ(data->sampleTags(), a + ": 0\n" + a + ": 1\n");
    EXPECT_FLOAT_EQ(data->rawData(1)[2 * 2 + 1], 201.0f);
}

TEST_F(DataSet, CombinedHeaderMergesCountsKeywordsAndNames) {
    EXPECT_EQ(data->loadFromFile(file("a.fcs", 3)), 0);
    EXPECT_EQ(data->loadFromFile(file("b.fcs", 4, {"CD3", "CD4"}, "Cyto B")), 0)
        << "different event counts and keywords are not a warning";
    MCV_FcsHeader* c = data->combinedHeader();
    EXPECT_EQ(c->numEvents(), -1) << "counts are not added up";
    EXPECT_EQ(c->fileName(), "multiple files");
    EXPECT_EQ(c->cytometry(), "multiple");
    EXPECT_EQ(c->fcsVersion(), "FCS3.1");
    EXPECT_NE(c->printHeader().find("different numbers of Events\n"), std::string::npos);

    // Only the second of three differs in a name: both later loads warn,
    // because the combined variable now reads "- multiple -".
    delete MCV_CytometryData::Instance();
    data = MCV_CytometryData::Instance();
    data->init(&ui);
    EXPECT_EQ(data->loadFromFile(file("c.fcs", 2)), 0);
    EXPECT_EQ(data->loadFromFile(file("d.fcs", 2, {"CD3", "CD8"})), -1);
    EXPECT_EQ(data->loadFromFile(file("e.fcs", 2)), -1);
    EXPECT_EQ(data->numFiles(), 3);
    c = data->combinedHeader();
    EXPECT_EQ(c->variableName(0), "CD3");
    EXPECT_EQ(c->variableName(1), "- multiple -");
    EXPECT_EQ(c->variable(1)->label, "- multiple -");
    EXPECT_EQ(c->variable(1)->bits, 0);
    EXPECT_EQ((*c->markerList(0))[1], "- multiple -");
    EXPECT_EQ(c->numEvents(), 2);
    EXPECT_EQ(MCV_loadMessage(-1).rfind("Warning code 1:", 0), 0u);
}

TEST_F(DataSet, DifferingLabelOrRangeAloneIsNoWarning) {
    EXPECT_EQ(data->loadFromFile(file("a.fcs", 2)), 0);
    FcsTestFile f = FcsTestFile::floats({{1, 2}});
    f.set("$P1S", "CD3");
    f.set("$P2S", "CD4");
    f.set("$P1N", "Other channel");
    f.set("$P2R", "1024");
    EXPECT_EQ(data->loadFromFile(f.write(dir, "b.fcs")), 0);
    EXPECT_EQ(data->combinedHeader()->variableName(1), "CD4");
}

TEST_F(DataSet, RefusedFilesLeaveEverythingAsItWas) {
    EXPECT_EQ(data->loadFromFile(file("a.fcs", 3)), 0);
    EXPECT_EQ(data->loadFromFile(file("b.fcs", 3)), 0);
    const std::string before = data->combinedHeader()->printHeader();
    const std::string tags = data->sampleTags();

    EXPECT_EQ(data->loadFromFile(file("c.fcs", 3, {"CD3", "CD4", "CD8"})), MCV_LoadCode::DifferentMarkerSets);
    EXPECT_EQ(data->loadFromFile(dir.filePath("missing.fcs").toStdString()), MCV_LoadCode::CannotOpen);
    FcsTestFile::writeBytes(dir.filePath("junk.fcs").toStdString(), "FCS3.1    garbage");
    EXPECT_GT(data->loadFromFile(dir.filePath("junk.fcs").toStdString()), 0);

    EXPECT_EQ(data->numFiles(), 2);
    EXPECT_EQ(data->sampleTags(), tags);
    EXPECT_EQ(data->combinedHeader()->printHeader(), before);
    EXPECT_EQ(MCV_loadMessage(MCV_LoadCode::DifferentMarkerSets), "Error code 5: Files contain different marker sets.");
    EXPECT_EQ(MCV_loadMessage(6), "Error code 6: Could not find startbyte for data in short or textheader.");
    EXPECT_EQ(MCV_loadMessage(9999), "Unknown Error.");
}

TEST_F(DataSet, FileNamesAndFolder) {
    const std::string a = file("s1.fcs", 1);
    EXPECT_EQ(data->loadFromFile(a), 0);
    EXPECT_EQ(data->fileName(0, false), a);
    EXPECT_EQ(data->fileName(0, true), "s1");
    EXPECT_EQ(data->filePath(), dir.path().toStdString() + "/");

    // Paths without a folder or an extension.
    const QString cwd = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(dir.path()));
    FcsTestFile::writeBytes("noext", FcsTestFile::floats({{1, 2}}).bytes());
    EXPECT_EQ(data->loadFromFile("noext"), -1) << "loaded, with other marker names than s1.fcs";
    QDir::setCurrent(cwd);
    EXPECT_EQ(data->fileName(1, true), "noext");
    const std::string noDot = dir.filePath("plain").toStdString();
    FcsTestFile::writeBytes(noDot, FcsTestFile::floats({{1, 2}}).bytes());
    delete MCV_CytometryData::Instance();
    data = MCV_CytometryData::Instance();
    EXPECT_EQ(data->loadFromFile(noDot), 0);
    EXPECT_EQ(data->fileName(0, true), noDot);
    EXPECT_EQ(data->filePath(), "") << "a first path without '.' has no folder";
}

TEST_F(DataSet, AddedVariablesKeepTheOldValuesAndAnnounceOnce) {
    EXPECT_EQ(data->loadFromFile(file("a.fcs", 2)), 0);
    EXPECT_EQ(data->loadFromFile(file("b.fcs", 3)), 0);
    EXPECT_EQ(data->loadFromFile(file("c.fcs", 1)), 0);

    data->addDimensions(std::vector<std::string>{}, 0.0f);
    EXPECT_EQ(ui.dimensions, 0) << "an empty name list announces nothing";

    data->addDimensions({"QLMRN_ST"}, -1.0f);
    data->addDimensions({"X", "Y"}, 0.0f);
    EXPECT_EQ(ui.dimensions, 2);
    for (int f = 0; f < 3; ++f) {
        MCV_FcsHeader* h = data->header(f);
        ASSERT_EQ(h->numVariables(), 5);
        for (int e = 0; e < h->numEvents(); ++e) {
            const float* row = data->rawData(f) + e * 5;
            EXPECT_FLOAT_EQ(row[0], 100.0f * e);
            EXPECT_FLOAT_EQ(row[1], 100.0f * e + 1);
            EXPECT_FLOAT_EQ(row[2], static_cast<float>(f)) << "the sample tag is the file index";
            EXPECT_FLOAT_EQ(row[3], 0.0f);
            EXPECT_FLOAT_EQ(row[4], 0.0f);
        }
    }
    MCV_FcsHeader* c = data->combinedHeader();
    ASSERT_EQ(c->numVariables(), 5);
    EXPECT_EQ(c->variableIdx("QLMRN_ST"), 2);
    EXPECT_EQ(c->variable(2)->bits, 32);
    EXPECT_EQ(c->markerList(0)->size(), 5u);
    EXPECT_EQ((*data->header(1)->markerList(1))[4], "Y");

    // Given values: event e of every file reads entry e.
    data->addDimensions({"Z"}, std::vector<std::vector<float>>{{7, 8, 9}});
    EXPECT_FLOAT_EQ(data->rawData(1)[2 * 6 + 5], 9.0f);
    EXPECT_FLOAT_EQ(data->rawData(2)[5], 7.0f);
    EXPECT_FLOAT_EQ(data->rawData(1)[2 * 6 + 1], 201.0f);

    // Too few values for the largest file is refused, not read past the end.
    data->addDimensions({"W"}, std::vector<std::vector<float>>{{1, 2}});
    EXPECT_EQ(c->numVariables(), 6);
    EXPECT_EQ(ui.dimensions, 3);
}

TEST_F(DataSet, ArcSinTransformOnlyTouchesChosenVariables) {
    FcsTestFile f = FcsTestFile::floats({{5.0f, 5.0f, -10.0f}, {0.0f, 50.0f, 1e6f}});
    EXPECT_EQ(data->loadFromFile(f.write(dir, "a.fcs")), 0);
    data->applyArcSinTransform(5, {true, false, true});
    const float* m = data->rawData(0);
    EXPECT_FLOAT_EQ(m[0], std::asinh(1.0f));
    EXPECT_FLOAT_EQ(m[1], 5.0f);
    EXPECT_FLOAT_EQ(m[2], std::asinh(-2.0f));
    EXPECT_FLOAT_EQ(m[3], 0.0f);
    EXPECT_FLOAT_EQ(m[4], 50.0f);
    EXPECT_FLOAT_EQ(m[5], std::asinh(2e5f));

    // A short marker list and a cofactor of 0 are refused without harm.
    data->applyArcSinTransform(0, {true, true, true});
    data->applyArcSinTransform(5, {false, true});
    EXPECT_FLOAT_EQ(m[1], std::asinh(1.0f));
    EXPECT_FLOAT_EQ(m[2], std::asinh(-2.0f));
    EXPECT_TRUE(std::isfinite(m[0]));
}

TEST_F(DataSet, MeanNormalisationStandardisesAcrossFiles) {
    EXPECT_EQ(data->loadFromFile(FcsTestFile::floats({{1, 3}, {2, 3}}).write(dir, "a.fcs")), 0);
    EXPECT_EQ(data->loadFromFile(FcsTestFile::floats({{3, 3}, {6, 3}}).write(dir, "b.fcs")), 0);
    data->applyMeanNormalization({true, true});
    // Values 1, 2, 3, 6: mean 3, population deviation sqrt(3.5).
    const float sd = std::sqrt(3.5f);
    EXPECT_NEAR(data->rawData(0)[0], -2.0f / sd, 1e-6);
    EXPECT_NEAR(data->rawData(1)[2], 3.0f / sd, 1e-6);
    EXPECT_FLOAT_EQ(data->rawData(1)[3], 0.0f) << "a constant variable becomes 0, not NaN";
}

TEST_F(DataSet, DestroyingTheInstanceGivesAFreshOne) {
    EXPECT_EQ(data->loadFromFile(file("a.fcs", 1)), 0);
    delete MCV_CytometryData::Instance();
    MCV_CytometryData* fresh = MCV_CytometryData::Instance();
    EXPECT_EQ(fresh->numFiles(), 0);
    EXPECT_EQ(fresh->combinedHeader(), nullptr);
    EXPECT_EQ(fresh->sampleTags(), "");
    std::vector<std::string> none;
    EXPECT_EQ(fresh->loadFromFiles(&none), MCV_LoadCode::NoMatrix);
    std::vector<std::string> images = {"a.tif"};
    EXPECT_EQ(fresh->loadFromFiles(&images), MCV_LoadCode::NoMatrix) << "image stacks are not read yet";
    EXPECT_EQ(fresh->numFiles(), 0);
}
