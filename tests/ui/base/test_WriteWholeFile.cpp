// The interface's file writers over existing files: a failed write leaves
// the old file byte for byte and no temporary; a successful one replaces it
// whole with the exact bytes.
#include "support/FileSizeLimit.h"
#include "support/ReadOnlyFolder.h"
#include "ui/base/UI_ModalDialogs.h"
#include "ui/base/UI_Settings.h"
#include "ui/base/boolVectorFile.h"
#include "ui/base/saveTextWithDialog.h"
#include "ui/base/writeWholeFile.h"

#include <QDir>
#include <QDirIterator>
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
    // Every entry under `folder`, hidden ones too, with its bytes.
    static std::map<QString, QByteArray> snapshot(const QString& folder) {
        std::map<QString, QByteArray> out;
        QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString p = it.next();
            QFile f(p);
            out[QDir(folder).relativeFilePath(p)] = it.fileInfo().isDir()         ? QByteArray("<dir>")
                                                    : f.open(QIODevice::ReadOnly) ? f.readAll()
                                                                                  : QByteArray("<unreadable>");
        }
        return out;
    }
    QString folder(const QString& name) {
        EXPECT_TRUE(QDir(dir.path()).mkpath(name));
        return dir.filePath(name);
    }
    QTemporaryDir dir;
};

TEST_F(WriteWholeFile, AFailedWriteLeavesTheOldFileAndNoTemporary) {
    enum class Failure { FileSizeLimit, ReadOnlyFolder, FolderInTheWay };
    const std::pair<Failure, const char*> failures[] = {
        {Failure::FileSizeLimit, "file-size limit"},
        {Failure::ReadOnlyFolder, "read-only folder"},
        {Failure::FolderInTheWay, "a folder in the way"},
    };
    int n = 0;
    for (const Writer& w : writers())
        for (const auto& [failure, how] : failures) {
            SCOPED_TRACE(std::string(w.what) + ", " + how);
            const QString out = folder("fail" + QString::number(n++));
            const QString target = out + "/keep.txt";
            if (failure == Failure::FolderInTheWay) {
                ASSERT_TRUE(QDir(out).mkpath("keep.txt/inside"));
            } else {
                QFile old(target);
                ASSERT_TRUE(old.open(QIODevice::WriteOnly));
                old.write("the good old file");
            }
            const auto before = snapshot(out);
            bool written = true;
            if (failure == Failure::FileSizeLimit) {
                FileSizeLimit limit(1024);
                ASSERT_TRUE(limit.ok());
                written = w.write(target);
            } else if (failure == Failure::ReadOnlyFolder) {
                ReadOnlyFolder readOnly(out.toStdString());
                ASSERT_TRUE(readOnly.ok());
                written = w.write(target);
            } else {
                written = w.write(target);
            }
            EXPECT_FALSE(written);
            EXPECT_EQ(snapshot(out), before);
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
        EXPECT_EQ(snapshot(out), (std::map<QString, QByteArray>{{"keep.txt", w.bytes}}));
        EXPECT_EQ(QFile::permissions(target) & 0x7077, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup);
        EXPECT_TRUE(UI_ModalDialogs::takeMessages().empty());
    }
}

}  // namespace
