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
    QApplication app(argc, argv);
#else
    QCoreApplication app(argc, argv);
#endif
    return RUN_ALL_TESTS();
}
