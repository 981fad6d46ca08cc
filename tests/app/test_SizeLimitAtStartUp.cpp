// A write past the user's file-size limit (ulimit -f) is a failed write, not
// the end of the program: the program's start-up ignores SIGXFSZ. Seen in the
// program itself, and in a program that starts as the program does
// (programs/writeUnderSizeLimit.cpp) and then writes with every kind of writer
// under a small limit.
#include "data/FcsTestFile.h"
#include "support/LeftOverTemporaries.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

std::string contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

// The program as started: once start-up is through, SIGXFSZ is ignored.
TEST(SizeLimitAtStartUp, TheProgramIgnoresTheSignalOfTheSizeLimit) {
    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    environment.insert("HOME", home.path());
    environment.insert("XDG_CONFIG_HOME", home.path());
    QProcess program;
    program.setProcessEnvironment(environment);
    program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    program.start(QLMRN_PROGRAM, QStringList());
    ASSERT_TRUE(program.waitForStarted(10000));
    const QString status = QString("/proc/%1/status").arg(program.processId());
    const unsigned long long bit = 1ull << (SIGXFSZ - 1);
    bool ignored = false;
    // Read until the start-up has ignored the signal, or the program ended;
    // the deadline only bounds a failure.
    QElapsedTimer waited;
    waited.start();
    while (!ignored && program.state() == QProcess::Running && waited.elapsed() < 60000) {
        QFile file(status);
        if (file.open(QIODevice::ReadOnly))
            for (const QByteArray& line : file.readAll().split('\n'))
                if (line.startsWith("SigIgn:")) ignored = (line.mid(7).trimmed().toULongLong(nullptr, 16) & bit) != 0;
        if (!ignored) program.waitForFinished(20);
    }
    const bool running = program.state() == QProcess::Running;
    program.kill();
    program.waitForFinished(10000);
    EXPECT_TRUE(running) << "the program ended during its start-up";
    EXPECT_TRUE(ignored);
}

// Started as the program starts, a process under a file-size limit survives
// writes past it with each kind of writer: the FCS and binary exports, the
// text writer of tables and images, a cache and a video. Each reports "File
// too large", keeps the old file and leaves no temporary.
TEST(SizeLimitAtStartUp, AWritePastTheLimitFailsAndTheProcessGoesOn) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    std::vector<std::vector<float>> rows;
    for (int e = 0; e < 1000; ++e) rows.push_back({float(e), float(2 * e), float(3 * e)});
    FcsTestFile::floats(rows).write(dir, "in.fcs");
    const std::string folder = dir.path().toStdString();
    const std::vector<std::string> files = {"old.fcs", "old.bin", "old.csv", "old.hsne", "old.mp4"};
    for (const std::string& file : files) std::ofstream(folder + "/" + file, std::ios::binary) << "old";

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    QProcess program;
    program.setProcessEnvironment(environment);
    program.setProcessChannelMode(QProcess::SeparateChannels);
    // Handed over as a shell under "ulimit -f" hands it: the signal at its
    // default, which ends the process.
    const auto handler = std::signal(SIGXFSZ, SIG_DFL);
    program.start(QLMRN_WRITE_UNDER_SIZE_LIMIT, {dir.path(), QString::number(4096)});
    std::signal(SIGXFSZ, handler);
    ASSERT_TRUE(program.waitForStarted(10000));
    ASSERT_TRUE(program.waitForFinished(120000));
    const QString out = QString::fromLocal8Bit(program.readAllStandardOutput());
    const QString errors = QString::fromLocal8Bit(program.readAllStandardError());
    QStringList report;
    for (const QString& line : out.split('\n'))
        if (line.startsWith("= ")) report << line.mid(2);

    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit) << "ended by a signal" << errors.toStdString();
    EXPECT_EQ(program.exitCode(), 0);
    EXPECT_EQ(report.join('\n').toStdString(),
              "FCS export: failed, File too large\n"
              "binary export: failed, File too large\n"
              "text writer: failed, File too large\n"
              "cache: failed, File too large\n"
              "video: failed, File too large")
        << out.toStdString() << errors.toStdString();
    for (const std::string& file : files) EXPECT_TRUE(contents(folder + "/" + file) == "old") << file << " changed";
    EXPECT_TRUE(leftOverTemporaries(dir.path()).isEmpty()) << leftOverTemporaries(dir.path()).join(' ').toStdString();
}
