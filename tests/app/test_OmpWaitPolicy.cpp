// The program's entry point gives OpenMP threads that sleep while they wait,
// unless the user chose a policy: read back from the runtime of the program
// itself, which prints its settings (spin count included) when it is loaded.
#include <gtest/gtest.h>

#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QString>

namespace {

struct Start {
    const char* name;
    const char* variable;  // set for the run, or null
    const char* value;
    int loads;          // runtime loads the run shows (2: started again)
    QString spinCount;  // the spin count of the last load
};

}  // namespace

TEST(OmpWaitPolicy, TheProgramStartsWithSleepingThreadsUnlessTheUserChose) {
    const Start starts[] = {
        {"no policy chosen", nullptr, nullptr, 2, "0"},
        {"active chosen", "OMP_WAIT_POLICY", "active", 1, "30000000000"},
        {"a spin count chosen", "GOMP_SPINCOUNT", "1000", 1, "1000"},
    };
    for (const Start& start : starts) {
        SCOPED_TRACE(start.name);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove("OMP_WAIT_POLICY");
        environment.remove("GOMP_SPINCOUNT");
        environment.insert("OMP_DISPLAY_ENV", "verbose");
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        if (start.variable != nullptr) environment.insert(start.variable, start.value);
        QProcess program;
        program.setProcessEnvironment(environment);
        program.setProcessChannelMode(QProcess::SeparateChannels);
        program.start(QLMRN_PROGRAM, QStringList());
        ASSERT_TRUE(program.waitForStarted(10000));
        // The settings are printed before main(); the window then runs until
        // it is ended here.
        const QRegularExpression spin("GOMP_SPINCOUNT = '(\\d+)'");
        QString printed;
        int loads = 0;
        for (int wait = 0; wait < 100 && loads < 2; ++wait) {
            program.waitForReadyRead(200);
            printed += QString::fromLocal8Bit(program.readAllStandardError());
            loads = static_cast<int>(printed.count(spin));
            if (loads == start.loads && wait >= 10) break;
        }
        program.kill();
        program.waitForFinished(10000);
        printed += QString::fromLocal8Bit(program.readAllStandardError());
        QRegularExpressionMatchIterator matches = spin.globalMatch(printed);
        QString last;
        int count = 0;
        while (matches.hasNext()) {
            last = matches.next().captured(1);
            ++count;
        }
        EXPECT_EQ(count, start.loads) << printed.toStdString();
        EXPECT_EQ(last, start.spinCount) << printed.toStdString();
    }
}
