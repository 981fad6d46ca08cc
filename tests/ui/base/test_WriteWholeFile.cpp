// The interface's file writers over existing files: a failed write leaves
// the old file byte for byte and no temporary; a successful one replaces it
// whole with the exact bytes.
#include "support/FolderSnapshot.h"
#include "support/WriteFailure.h"
#include "ui/base/UI_ModalDialogs.h"
#include "ui/base/UI_Settings.h"
#include "ui/base/boolVectorFile.h"
#include "ui/base/saveTextWithDialog.h"
#include "ui/base/writeWholeFile.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <functional>
#include <map>

namespace {

class WriteWholeFile : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        UI_ModalDialogs::reset();
        UI_ModalDialogs::setScripted(true);
    }
    void TearDown() override {
        UI_ModalDialogs::setScripted(false);
        UI_ModalDialogs::reset();
        UI_Settings::Instance()->remove("exportDefaultFilePath");
    }

    struct Writer {
        const char* what;
        QByteArray bytes;  // what it writes
        bool warns;        // whether a failure is reported in a box
        std::function<bool(const QString&)> write;
    };
    // Each writer writes more than the file-size limit below.
    static std::vector<Writer> writers() {
        const QString text = QString::fromUtf8("Subset,CD3 \xc3\xbc\n") + QString(3000, 'x');
        const std::vector<bool> flags(2000, true);
        return {
            {"writeWholeFile", QByteArray(5000, '\7'), false,
             [](const QString& p) { return writeWholeFile(p, QByteArray(5000, '\7')); }},
            {"default-marker file", QByteArray("1 ").repeated(2000), false,
             [flags](const QString& p) { return writeBoolVectorToFile(p.toStdString(), flags); }},
            {"table through a save dialog", text.toUtf8(), true,
             [text](const QString& p) {
                 UI_ModalDialogs::answerDialog([p](QDialog* d) {
                     static_cast<QFileDialog*>(d)->selectFile(p);
                     d->done(QDialog::Accepted);
                     return static_cast<int>(QDialog::Accepted);
                 });
                 return saveTextWithDialog(nullptr, "csv", "Table files (*.csv)", text);
             }},
        };
    }
    QString folder(const QString& name) {
        EXPECT_TRUE(QDir(dir.path()).mkpath(name));
        return dir.filePath(name);
    }
    QTemporaryDir dir;
};

TEST_F(WriteWholeFile, AFailedWriteLeavesTheOldFileAndNoTemporary) {
    int n = 0;
    for (const Writer& w : writers())
        for (WriteFailure how :
             {WriteFailure::FileSizeLimit, WriteFailure::ReadOnlyFolder, WriteFailure::FolderInTheWay}) {
            SCOPED_TRACE(std::string(w.what) + ", " + writeFailureName(how));
            const QString out = folder("fail" + QString::number(n++));
            const QString target = out + "/keep.txt";
            if (how == WriteFailure::FolderInTheWay) {
                ASSERT_TRUE(QDir(out).mkpath("keep.txt/inside"));
            } else {
                QFile old(target);
                ASSERT_TRUE(old.open(QIODevice::WriteOnly));
                old.write("the good old file");
            }
            const auto before = folderSnapshot(out);
            bool written = true;
            ASSERT_TRUE(underWriteFailure(how, out.toStdString(), 1024, [&] { written = w.write(target); }));
            EXPECT_FALSE(written);
            EXPECT_EQ(folderSnapshot(out), before);
            const auto messages = UI_ModalDialogs::takeMessages();
            ASSERT_EQ(messages.size(), w.warns ? 1u : 0u);
            if (w.warns) {
                EXPECT_EQ(messages[0].text, "Could not write the file " + target + ".");
            }
        }
}

TEST_F(WriteWholeFile, ASuccessfulWriteReplacesTheFileWithTheExactBytesKeepingItsPermissions) {
    int n = 0;
    for (const Writer& w : writers()) {
        SCOPED_TRACE(w.what);
        const QString out = folder("ok" + QString::number(n++));
        const QString target = out + "/keep.txt";
        QFile old(target);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write(QByteArray(100000, 'o'));  // longer than the new file
        old.close();
        ASSERT_TRUE(old.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup));
        ASSERT_TRUE(w.write(target));
        EXPECT_EQ(folderSnapshot(out), (std::map<QString, QByteArray>{{"keep.txt", w.bytes}}));
        EXPECT_EQ(QFile::permissions(target) & 0x7077, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup);
        EXPECT_TRUE(UI_ModalDialogs::takeMessages().empty());
    }
}

}  // namespace
