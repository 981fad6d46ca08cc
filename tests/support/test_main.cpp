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
#include <xcb/xcb.h>

#include <chrono>
#include <thread>

namespace {

// Under heavy parallel load the one shared Xvfb server now and then refuses a
// new client for a moment, and a QApplication made then aborts before any
// test runs. Wait (a few seconds at most) until the server takes a connection.
void waitForDisplay() {
    if (qEnvironmentVariableIsEmpty("DISPLAY")) return;
    for (int attempt = 1; attempt <= 12; ++attempt) {
        xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
        const bool connected = xcb_connection_has_error(connection) == 0;
        xcb_disconnect(connection);
        if (connected) return;
        std::this_thread::sleep_for(std::chrono::milliseconds(100 * attempt));
    }
}

}  // namespace
#endif

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (::testing::GTEST_FLAG(list_tests)) return RUN_ALL_TESTS();

    // Tests never touch the user's real settings.
    QTemporaryDir configDir;
    qputenv("XDG_CONFIG_HOME", configDir.path().toUtf8());

    QCoreApplication::setOrganizationName("Merrowfield");
    QCoreApplication::setOrganizationDomain("merrowfield.org");
    QCoreApplication::setApplicationName("Quillmaren");
#if QLMRN_TEST_GUI
    waitForDisplay();
    QApplication app(argc, argv);
#else
    QCoreApplication app(argc, argv);
#endif
    return RUN_ALL_TESTS();
}
