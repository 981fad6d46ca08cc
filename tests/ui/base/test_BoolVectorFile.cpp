// The default-marker file: a missing file and an unwritable target are
// reported, never read or written as if they had worked (the marker panel's
// tests read and write real ones).
#include "ui/base/boolVectorFile.h"
#include "ui/base/readMarkerFlags.h"

#include <QDir>
#include <QTemporaryDir>

#include <sys/stat.h>

#include <gtest/gtest.h>

TEST(BoolVectorFile, WhatCannotBeOpenedIsReportedAndChangesNothing) {
    QTemporaryDir dir;
    ASSERT_EQ(::mkfifo(dir.filePath("pipe.txt").toLocal8Bit().constData(), 0600), 0);
    ASSERT_TRUE(QDir(dir.path()).mkdir("folder.txt"));
    // A missing file, a named pipe (whose opening would wait for a writer) and a folder.
    for (const char* name : {"f.txt", "pipe.txt", "folder.txt"}) {
        std::vector<bool> out{true};
        EXPECT_EQ(readMarkerFlags(dir.filePath(name).toStdString(), 1, &out), MarkerFlagsRead::Unreadable) << name;
        EXPECT_EQ(out, std::vector<bool>{true}) << name;
    }
    EXPECT_FALSE(writeBoolVectorToFile(dir.filePath("no/such/folder.txt").toStdString(), {true}));
}
