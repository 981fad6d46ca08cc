// The default-marker file: a missing file and an unwritable target are
// reported, never read or written as if they had worked.
#include "ui/base/boolVectorFile.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fstream>

TEST(BoolVectorFile, ReadsUntilTheFirstNonNumberAndReportsWhatCannotBeOpened) {
    QTemporaryDir dir;
    const std::string path = dir.filePath("f.txt").toStdString();
    std::vector<bool> out{true};
    EXPECT_FALSE(readBoolVectorFromFile(path, &out));
    EXPECT_EQ(out, std::vector<bool>{true}) << "unchanged when the file cannot be opened";
    std::ofstream(path) << "1 0 2 x 1";
    EXPECT_TRUE(readBoolVectorFromFile(path, &out));
    EXPECT_EQ(out, (std::vector<bool>{true, false, true}));
    EXPECT_FALSE(writeBoolVectorToFile(dir.filePath("no/such/folder.txt").toStdString(), {true}));
}
