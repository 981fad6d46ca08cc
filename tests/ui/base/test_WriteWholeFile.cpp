// The interface's file writers over existing files: a failed write leaves
// the old file byte for byte and no temporary; a successful one replaces it
// whole with the exact bytes.
#include "support/FolderSnapshot.h"
#include "support/PipeWatchdog.h"
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

#include <sys/stat.h>
#include <unistd.h>

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
                const QString why =
                    how == WriteFailure::FileSizeLimit
                        ? "writing failed (File too large); the existing file is unchanged"
                    : how == WriteFailure::ReadOnlyFolder
                        ? "the folder " + out +
                              " cannot take the new file (Permission denied); the existing file is unchanged"
                        : "it is a folder";
                EXPECT_EQ(messages[0].text, "Could not write the file " + target + ": " + why + ".");
            }
        }
}

// A named pipe or a device in the file's place is refused at once, never
// opened: opening a pipe for writing would wait for a reader for ever.
TEST_F(WriteWholeFile, APipeOrDeviceIsRefusedWithoutWaiting) {
    int n = 0;
    for (const Writer& w : writers())
        for (const bool pipe : {true, false}) {
            SCOPED_TRACE(std::string(w.what) + (pipe ? ", a named pipe" : ", a link to a device"));
            const QString out = folder("special" + QString::number(n++));
            const QString target = out + "/keep.txt";
            const std::string local = target.toStdString();
            ASSERT_EQ(pipe ? ::mkfifo(local.c_str(), 0600) : ::symlink("/dev/null", local.c_str()), 0);
            bool written = true;
            size_t throughPipe = 0;
            {
                PipeWatchdog watchdog(pipe ? local : local + ".none");
                written = w.write(target);
                throughPipe = watchdog.bytesRead();
            }
            EXPECT_FALSE(written);
            EXPECT_EQ(throughPipe, 0u);
            struct stat status {};
            ASSERT_EQ(::lstat(local.c_str(), &status), 0);
            EXPECT_TRUE(pipe ? S_ISFIFO(status.st_mode) : S_ISLNK(status.st_mode));
            const auto messages = UI_ModalDialogs::takeMessages();
            ASSERT_EQ(messages.size(), w.warns ? 1u : 0u);
            if (w.warns) {
                EXPECT_EQ(messages[0].text,
                          "Could not write the file " + target + ": " +
                              (pipe ? "it is a named pipe, not a regular file"
                                    : "it links to /dev/null, which is a device, not a regular file") +
                              ".");
            }
        }
    struct stat status {};
    ASSERT_EQ(::stat("/dev/null", &status), 0);
    EXPECT_TRUE(S_ISCHR(status.st_mode));
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
