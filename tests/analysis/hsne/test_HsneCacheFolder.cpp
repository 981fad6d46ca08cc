// The HSNE caches land in the data's own folder, whatever the file is called
// and however it was opened, never in the working folder.
#include "HsneAnalysisTest.h"
#include "support/WorkingFolder.h"

#include <QFile>

namespace {

class HsneCacheFolder : public HsneAnalysisTest {
protected:
    void SetUp() override {
        HsneAnalysisTest::SetUp();
        const QDir top(dir.path());
        ASSERT_TRUE(top.mkpath("run7") && top.mkpath("run.1") && top.mkpath("elsewhere"));
    }
    // Blobs in markers M1..M3 written to `file` below the folder.
    void writeData(const std::string& file) {
        const veltest::Blobs blobs = veltest::makeBlobs(3, 150, 3, 10.0, 7);
        std::vector<std::vector<float>> rows;
        for (unsigned j = 0; j < blobs.n; ++j)
            rows.emplace_back(blobs.data.begin() + j * 3, blobs.data.begin() + (j + 1) * 3);
        FcsTestFile f = FcsTestFile::floats(rows);
        for (int d = 1; d <= 3; ++d) f.set("$P" + std::to_string(d) + "S", "M" + std::to_string(d));
        FcsTestFile::writeBytes(dir.filePath(QString::fromStdString(file)).toStdString(), f.bytes());
    }
    // A fresh data set of the file at `opened` (relative to `from`, below the
    // folder), then a cached hierarchy built from the folder "elsewhere".
    std::string build(const std::string& opened, const char* from) {
        hsne.reset();
        levels.clear();
        delete MCV_CytometryData::Instance();
        data = MCV_CytometryData::Instance();
        data->init(&dataUi);
        {
            WorkingFolder working(dir.filePath(from));
            EXPECT_TRUE(working.entered());
            EXPECT_EQ(data->loadFromFile(opened), 0);
        }
        data->initAllDerviedDataPointer();
        data->addDimensions({"QLMRN_HsneDataX", "QLMRN_HsneDataY"}, 0.f);
        makeHsne(3, 10, true);
        WorkingFolder elsewhere(dir.filePath("elsewhere"));
        EXPECT_TRUE(elsewhere.entered());
        return capturedStdout([&] { hsne->initHSNE(); });
    }
    QStringList cachesIn(const char* folder) {
        return QDir(dir.filePath(folder)).entryList({"hsne-*"}, QDir::Files, QDir::Name);
    }
};

TEST_F(HsneCacheFolder, LandBesideTheFileWhateverItsNameAndHoweverItWasOpened) {
    const QStringList all = {MCV_DerivedDataHierarchy::HierarchyCacheName,
                             MCV_DerivedDataHierarchy::ParametersCacheName,
                             MCV_DerivedDataHierarchy::PointBasedCacheName};
    const struct {
        const char* file;    // below the folder
        const char* opened;  // as loaded
        const char* from;    // the working folder when it was loaded
        const char* folder;  // where the caches belong
    } cases[] = {
        {"run7/sample", nullptr, "elsewhere", "run7"},
        {"run7/sample", "sample", "run7", "run7"},
        {"run.1/sample", "run.1/sample", ".", "run.1"},
        {"run.1/s.v2.fcs", "s.v2.fcs", "run.1", "run.1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.file) + " opened as " + (c.opened ? c.opened : "its full path"));
        for (const char* folder : {"run7", "run.1", "elsewhere", "."})
            for (const QString& f : cachesIn(folder)) QFile::remove(dir.filePath(folder) + "/" + f);
        writeData(c.file);
        const std::string full = dir.filePath(c.file).toStdString();
        const std::string first = build(c.opened ? c.opened : full, c.from);
        EXPECT_NE(first.find("Caching HSNE results.\n"), std::string::npos) << first;
        EXPECT_EQ(cachesIn(c.folder), all);
        for (const char* other : {"elsewhere", "."}) EXPECT_TRUE(cachesIn(other).isEmpty()) << other;

        // The same file opened by its full path takes the cache.
        const std::string again = build(full, "elsewhere");
        const std::string loading = "Loading " + dir.filePath(c.folder).toStdString() + "/" +
                                    MCV_DerivedDataHierarchy::HierarchyCacheName + "\n";
        EXPECT_NE(again.find(loading), std::string::npos) << again;
        EXPECT_EQ(again.find("Caching HSNE results."), std::string::npos) << again;
    }
}

}  // namespace
