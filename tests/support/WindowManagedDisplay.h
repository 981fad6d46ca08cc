// Tests of what a window manager does to the program's windows (minimise,
// restore) need one running, and the suite's shared Xvfb server must not get
// one: only one can run per display, and it would decorate, place and focus
// the windows of every test running beside. So such a test runs twice. The
// process that ctest starts (on the shared server) starts a private Xvfb on a
// display number that the server picks itself, starts openbox on it, runs the
// same test again in a child process of this binary on that display, takes
// the child's result as its own and stops both servers. In the child
// underWindowManager() is true and the test does its work; the helpers below
// then ask the manager for what a user does with the title bar and the task
// bar, and read back the state it gives the window.
#pragma once

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QTest>
#include <QWidget>
#include <xcb/xcb.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace wmtest {

constexpr const char* kChildVariable = "QLMRN_TEST_UNDER_WINDOW_MANAGER";

inline bool underWindowManager() { return qEnvironmentVariableIsSet(kChildVariable); }

inline xcb_atom_t atom(xcb_connection_t* c, const char* name) {
    xcb_intern_atom_reply_t* r =
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr);
    const xcb_atom_t a = r ? r->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
    std::free(r);
    return a;
}

// Whether a window manager has taken the display: it owns the screen's
// manager selection and has published its check window.
inline bool managed(xcb_connection_t* c) {
    xcb_get_selection_owner_reply_t* owner =
        xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, atom(c, "WM_S0")), nullptr);
    const bool owned = owner && owner->owner != XCB_NONE;
    std::free(owner);
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    xcb_get_property_reply_t* check = xcb_get_property_reply(
        c, xcb_get_property(c, 0, root, atom(c, "_NET_SUPPORTING_WM_CHECK"), XCB_ATOM_WINDOW, 0, 1), nullptr);
    const bool published = check && xcb_get_property_value_length(check) == 4;
    std::free(check);
    return owned && published;
}

// A private Xvfb with openbox managing it, stopped (both, by their process
// ids) on destruction.
class ManagedDisplay {
public:
    ManagedDisplay() {
        int fds[2];
        if (pipe(fds) != 0) {
            m_error = "no pipe";
            return;
        }
        const std::string fd = std::to_string(fds[1]);
        std::vector<std::string> args = {"Xvfb",         "-displayfd", fd,    "-screen", "0",
                                         "1600x1000x24", "-nolisten",  "tcp", "-noreset"};
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addclose(&actions, fds[0]);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        const int spawned = posix_spawnp(&m_server, "Xvfb", &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        close(fds[1]);
        if (spawned != 0) {
            close(fds[0]);
            m_server = 0;
            m_error = "Xvfb could not be started";
            return;
        }
        // The server writes its display number once it accepts clients.
        std::string number;
        pollfd p{fds[0], POLLIN, 0};
        char ch = 0;
        while (poll(&p, 1, 20000) > 0 && read(fds[0], &ch, 1) == 1 && ch != '\n') number += ch;
        close(fds[0]);
        if (number.empty()) {
            m_error = "Xvfb gave no display number";
            return;
        }
        m_display = QString(":%1").arg(QString::fromStdString(number));

        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("DISPLAY", m_display);
        m_manager.setProcessEnvironment(environment);
        m_manager.setStandardOutputFile(QProcess::nullDevice());
        m_manager.setStandardErrorFile(QProcess::nullDevice());
        m_manager.start("openbox", {"--sm-disable"});
        if (!m_manager.waitForStarted(10000)) {
            m_error = "openbox could not be started (scripts/setup.sh installs it)";
            return;
        }
        xcb_connection_t* c = xcb_connect(m_display.toLocal8Bit().constData(), nullptr);
        bool ready = false;
        for (int wait = 0; !xcb_connection_has_error(c) && wait < 1000 && !ready; ++wait) {
            ready = managed(c);
            if (!ready) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        xcb_disconnect(c);
        if (!ready) m_error = "openbox did not take the display";
    }
    ~ManagedDisplay() {
        if (m_manager.state() != QProcess::NotRunning) {
            m_manager.terminate();
            if (!m_manager.waitForFinished(5000)) m_manager.kill();
            m_manager.waitForFinished(5000);
        }
        if (m_server > 0) {
            kill(m_server, SIGTERM);
            int status = 0;
            for (int wait = 0; wait < 500 && waitpid(m_server, &status, WNOHANG) == 0; ++wait)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            if (waitpid(m_server, &status, WNOHANG) == 0) {
                kill(m_server, SIGKILL);
                waitpid(m_server, &status, 0);
            }
        }
    }
    ManagedDisplay(const ManagedDisplay&) = delete;
    ManagedDisplay& operator=(const ManagedDisplay&) = delete;

    // Empty when the display is up and managed.
    const std::string& error() const { return m_error; }
    const QString& display() const { return m_display; }

private:
    pid_t m_server = 0;
    QProcess m_manager;
    QString m_display;
    std::string m_error;
};

// Runs the current test again in a child on a private managed display; its
// failures become this test's. Call it (and return) when
// underWindowManager() is false.
inline void runCurrentTestUnderWindowManager() {
    const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
    const QString name = QString("%1.%2").arg(test->test_suite_name(), test->name());
    ManagedDisplay display;
    ASSERT_EQ(display.error(), "");
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("DISPLAY", display.display());
    environment.remove("XAUTHORITY");
    environment.insert(kChildVariable, "1");
    QProcess child;
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QCoreApplication::applicationFilePath(), {"--gtest_filter=" + name});
    ASSERT_TRUE(child.waitForStarted(10000));
    const bool finished = child.waitForFinished(300000);
    if (!finished) {
        child.kill();
        child.waitForFinished(5000);
    }
    const QString output = QString::fromLocal8Bit(child.readAll());
    EXPECT_TRUE(finished) << "the run on " << display.display().toStdString() << " did not end";
    EXPECT_EQ(child.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(child.exitCode(), 0);
    EXPECT_TRUE(output.contains("[  PASSED  ] 1 test")) << "the run did not pass";
    if (testing::Test::HasFailure()) std::cout << output.toStdString() << std::flush;
}

// ---- In the child: the user's requests, made through the window manager ----

struct Connection {
    Connection() : c(xcb_connect(nullptr, nullptr)) {}
    ~Connection() { xcb_disconnect(c); }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;
    xcb_window_t root() const { return xcb_setup_roots_iterator(xcb_get_setup(c)).data->root; }
    xcb_connection_t* c;
};

// A request for the window manager about `window` (null: the screen), as
// pagers and task bars send it.
inline void askManager(QWidget* window, const char* type, uint32_t first) {
    Connection x;
    xcb_client_message_event_t ev{};
    ev.response_type = XCB_CLIENT_MESSAGE;
    ev.format = 32;
    ev.window = window ? static_cast<xcb_window_t>(window->winId()) : x.root();
    ev.type = atom(x.c, type);
    ev.data.data32[0] = first;
    ev.data.data32[1] = XCB_CURRENT_TIME;
    const xcb_void_cookie_t sent = xcb_send_event_checked(
        x.c, 0, x.root(), XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
        reinterpret_cast<const char*>(&ev));
    std::free(xcb_request_check(x.c, sent));
}

// What the manager says of `window` (ICCCM WM_STATE): 1 normal, 3 iconic,
// 0 unmanaged.
inline uint32_t managerState(QWidget* window) {
    Connection x;
    const xcb_atom_t wmState = atom(x.c, "WM_STATE");
    xcb_get_property_reply_t* r = xcb_get_property_reply(
        x.c, xcb_get_property(x.c, 0, static_cast<xcb_window_t>(window->winId()), wmState, wmState, 0, 2), nullptr);
    uint32_t state = 0;
    if (r && xcb_get_property_value_length(r) >= 4) std::memcpy(&state, xcb_get_property_value(r), 4);
    std::free(r);
    return state;
}

constexpr uint32_t kNormal = 1, kIconic = 3;

// The title bar's minimise button: the client asks to be iconified.
inline void minimiseThroughManager(QWidget* window) { askManager(window, "WM_CHANGE_STATE", kIconic); }

// A task bar entry clicked: the window is activated (source 2: a pager).
inline void restoreThroughManager(QWidget* window) { askManager(window, "_NET_ACTIVE_WINDOW", 2); }

// A pager's desktop switch.
inline void showDesktop(uint32_t desktop) { askManager(nullptr, "_NET_CURRENT_DESKTOP", desktop); }

inline bool waitForManagerState(QWidget* window, uint32_t state) {
    return QTest::qWaitFor([&] { return managerState(window) == state; }, 10000);
}

}  // namespace wmtest
