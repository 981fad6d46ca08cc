// The density caches land beside their file, whatever it is called and
// however it was opened, never in the working folder.
#include "SpadeAnalysisTest.h"
#include "support/WorkingFolder.h"

namespace {

using SpadeCacheFolder = SpadeAnalysisTest;

TEST_F(SpadeCacheFolder, LandBesideTheFileHoweverItWasOpened) {
    const QDir top(dir.path());
    ASSERT_TRUE(top.mkpath("run7") && top.mkpath("elsewhere"));
    const QStringList suffixes = {"_checksum.txt", "_densities.raw", "_parameters.txt"};
    const struct {
        const char* file;    // below the folder
        const char* opened;  // as loaded, relative to `from`
        const char* from;
        const char* base;  // of the caches, below the folder
    } cases[] = {
        {"run7/sample", "sample", "run7", "run7/sample"},
        {"run7/s.v2.fcs", "s.v2.fcs", "run7", "run7/s.v2"},
        {"run7/sample", "run7/sample", ".", "run7/sample"},
        {"run7/sample", "../run7/sample", "elsewhere", "run7/sample"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.opened);
        for (const char* folder : {"run7", "elsewhere", "."}) {
            QDir d(top.filePath(folder));
            for (const QString& f : d.entryList({"*_checksum.txt", "*_densities.raw", "*_parameters.txt"})) d.remove(f);
        }
        fresh();
        const std::string full = write(c.file, blobRows(2, 40, 3, 5));
        {
            WorkingFolder working(top.filePath(c.from));
            ASSERT_TRUE(working.entered());
            load({c.opened});
        }
        WorkingFolder elsewhere(top.filePath("elsewhere"));
        ASSERT_TRUE(elsewhere.entered());
        makeSpade();
        run();
        for (const QString& suffix : suffixes)
            EXPECT_TRUE(QFile::exists(top.filePath(c.base + suffix))) << c.base << suffix.toStdString();
        EXPECT_TRUE(QDir().entryList({"*_checksum.txt", "*_densities.raw", "*_parameters.txt"}).isEmpty());

        // The same file opened by its full path finds them.
        fresh();
        load({full});
        makeSpade();
        const std::string again = run();
        EXPECT_TRUE(contains(again, " succes.\n")) << again;
    }
}

}  // namespace
