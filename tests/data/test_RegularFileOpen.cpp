#include "data/MCV_RegularFileOpen.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <string>

// Every reader opens through this: what is at the path decides, and nothing
// but a regular file is ever opened (a pipe without a writer would block).
TEST(RegularFileOpen, OpensOnlyRegularFilesAndSaysWhatIsThereInstead) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string root = dir.path().toStdString();
    const std::string file = root + "/data.fcs";
    std::ofstream(file, std::ios::binary) << "0123456789";
    ASSERT_EQ(::mkfifo((root + "/pipe").c_str(), 0600), 0);
    ASSERT_EQ(::mkdir((root + "/folder").c_str(), 0700), 0);
    ASSERT_EQ(::symlink(file.c_str(), (root + "/link").c_str()), 0);
    ASSERT_EQ(::symlink((root + "/pipe").c_str(), (root + "/link-to-pipe").c_str()), 0);

    struct Case {
        std::string path;
        bool open;
        std::uint64_t size;
        bool missing, notRegular;
        std::string error;
    } cases[] = {
        {file, true, 10, false, false, ""},
        {root + "/link", true, 10, false, false, ""},
        {root + "/none", false, 0, true, false, "No such file or directory"},
        {root + "/pipe", false, 0, false, true, "it is a named pipe, not a file"},
        {root + "/link-to-pipe", false, 0, false, true, "it is a named pipe, not a file"},
        {root + "/folder", false, 0, false, true, "it is a folder, not a file"},
        {"/dev/null", false, 0, false, true, "it is a device, not a file"},
    };
    for (const Case& c : cases) {
        const MCV_RegularFileOpen opened(c.path);
        EXPECT_EQ(opened.isOpen(), c.open) << c.path;
        EXPECT_EQ(opened.size(), c.size) << c.path;
        EXPECT_EQ(opened.missing(), c.missing) << c.path;
        EXPECT_EQ(opened.notRegular(), c.notRegular) << c.path;
        EXPECT_EQ(opened.error(), c.error) << c.path;
        if (c.open) {
            char bytes[4] = {};
            ASSERT_EQ(::pread(opened.fd(), bytes, 4, 6), 4) << "a blocking descriptor that reads the file";
            EXPECT_EQ(std::string(bytes, 4), "6789");
        }
    }
}
