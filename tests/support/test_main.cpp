// Entry point of the Qt test binaries: sets up the application identity that
// production sets in main(), points the settings store at a private folder and
// runs GoogleTest. Listing tests never creates an application object, so test
// discovery works without a display.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTemporaryDir>
#include <memory>

#if QLMRN_TEST_GUI
#include <QApplication>
#include <QByteArray>

#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

// Under heavy parallel load the one shared Xvfb server now and then refuses a
// new client for a moment, and the QApplication then ends the process with a
// fatal message before any test has run. The process starts itself again (a
// few times, after a growing pause) instead of failing: this retries exactly
// that failure and nothing else.
std::vector<char*> originalArguments;
QtMessageHandler defaultHandler = nullptr;

void restartOnRefusedDisplay(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (type == QtFatalMsg && message.contains(QLatin1String("no Qt platform plugin could be initialized"))) {
        const int attempt = qEnvironmentVariableIntValue("QLMRN_TEST_DISPLAY_ATTEMPT") + 1;
        if (attempt <= 5) {
            qputenv("QLMRN_TEST_DISPLAY_ATTEMPT", QByteArray::number(attempt));
            std::this_thread::sleep_for(std::chrono::milliseconds(200 * attempt));
            execv("/proc/self/exe", originalArguments.data());
        }
    }
    defaultHandler(type, context, message);
}

}  // namespace
#endif

int main(int argc, char** argv) {
#if QLMRN_TEST_GUI
    // GoogleTest takes its flags out of argv; a restart needs them all.
    for (int i = 0; i < argc; ++i) originalArguments.push_back(strdup(argv[i]));
    originalArguments.push_back(nullptr);
#endif
    ::testing::InitGoogleTest(&argc, argv);
    if (::testing::GTEST_FLAG(list_tests)) return RUN_ALL_TESTS();

    // Tests never touch the user's real settings.
    QTemporaryDir configDir;
    qputenv("XDG_CONFIG_HOME", configDir.path().toUtf8());

    QCoreApplication::setOrganizationName("Merrowfield");
    QCoreApplication::setOrganizationDomain("merrowfield.org");
    QCoreApplication::setApplicationName("Quillmaren");
#if QLMRN_TEST_GUI
    defaultHandler = qInstallMessageHandler(restartOnRefusedDisplay);
    std::unique_ptr<QApplication> app = std::make_unique<QApplication>(argc, argv);
    qInstallMessageHandler(defaultHandler);
#else
    QCoreApplication app(argc, argv);
#endif
    return RUN_ALL_TESTS();
}
