// The default-marker file: a missing file and an unwritable target are
// reported, never read or written as if they had worked (the marker panel's
// tests read and write real ones).
#include "ui/base/boolVectorFile.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

TEST(BoolVectorFile, WhatCannotBeOpenedIsReportedAndChangesNothing) {
    QTemporaryDir dir;
    std::vector<bool> out{true};
    EXPECT_FALSE(readBoolVectorFromFile(dir.filePath("f.txt").toStdString(), &out));
    EXPECT_EQ(out, std::vector<bool>{true});
    EXPECT_FALSE(writeBoolVectorToFile(dir.filePath("no/such/folder.txt").toStdString(), {true}));
}
