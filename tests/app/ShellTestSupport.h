#pragma once

// Shell test helpers: an analysis and a panel that record what the window
// does to them, scripted dialog answers, and a fixture that opens files
// through the real "Open File(s) ...".

#include "OverlayButton.h"
#include "data/FcsTestFile.h"

#include "analysis/MCV_Analysis.h"
#include "analysis/applicationSurfaceFormat.h"
#include "app/MainWindow.h"
#include "app/UI_AnalysisSelectionDialog.h"
#include "app/UI_Interface.h"
#include "data/MCV_CytometryData.h"
#include "data/MCV_Settings.h"
#include "ui/base/UI_DockableWidget.h"
#include "ui/base/UI_ModalDialogs.h"
#include "ui/base/UI_SettingsWidget.h"
#include "ui/datapanels/UI_MarkerSelectionWidget.h"
#include "ui/plot/UI_ScatterplotWidget.h"
#include "ui/plot/UI_TsneSettingsSliderWidget.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QGridLayout>
#include <QTimer>
#include <QMessageBox>
#include <QLineEdit>
#include <QInputDialog>
#include <QListView>
#include <QStringListModel>
#include <QFileDialog>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QWindow>
#include <gtest/gtest.h>
#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <set>
#include <string>

// An analysis recording its destruction by address, with a settable type
// code and running state.
class TestAnalysis : public MCV_Analysis {
public:
    static std::set<const void*>& destroyed() {
        static std::set<const void*> set;
        return set;
    }

    TestAnalysis(int type, const std::string& name, MCV_UiInterface* ui = nullptr) {
        m_type = type;
        init(ui, name);
        destroyed().erase(this);
    }
    ~TestAnalysis() override { destroyed().insert(this); }

    MCV_DerivedDataClusters* updateClusters(std::vector<std::vector<unsigned>>*, std::string) override {
        return nullptr;
    }
    bool isRunning() const override { return running; }

    // Ends as the iterating analyses do, reporting readyForDeletion last;
    // returns whether the object was still alive after that call.
    bool finishMarkedForDeletion() {
        running = false;
        const void* self = this;
        m_ui->readyForDeletion(this);
        return destroyed().count(self) == 0;
    }

    bool running = false;
};

// A settings panel counting the shell's calls, with a marker panel bound to
// its analysis as the real panels have.
class TestPanel : public UI_SettingsWidget {
public:
    TestPanel(QWidget* parent, MCV_Analysis* analysis) : UI_SettingsWidget(parent, analysis) {
        m_markerSelectionWidget = new UI_MarkerSelectionWidget(this, 2);
        m_markerSelectionWidget->refreshWidget(analysis, false);
    }
    void newDataAdded() override { ++newData; }
    UI_MarkerSelectionWidget* markers() const { return m_markerSelectionWidget; }
    int newData = 0;
};

inline void runDeferredDeletes() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
}

// A left-button drag sent to the window, so the press grabs the mouse.
inline void drag(QWidget* target, QPoint from, QPoint to) {
    QWindow* window = target->window()->windowHandle();
    const QPoint a = target->mapTo(target->window(), from), b = target->mapTo(target->window(), to);
    QTest::mousePress(window, Qt::LeftButton, {}, a);
    QTest::mouseMove(window, (a + b) / 2);
    QTest::mouseMove(window, b);
    QTest::mouseRelease(window, Qt::LeftButton, {}, b);
}

// The window-system's close request, as an X client sends it.
inline void sendWindowManagerClose(QWidget* window) {
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    ASSERT_FALSE(xcb_connection_has_error(c));
    auto atom = [c](const char* name) {
        xcb_intern_atom_reply_t* r =
            xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr);
        const xcb_atom_t a = r ? r->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
        std::free(r);
        return a;
    };
    xcb_client_message_event_t ev{};
    ev.response_type = XCB_CLIENT_MESSAGE;
    ev.format = 32;
    ev.window = static_cast<xcb_window_t>(window->winId());
    ev.type = atom("WM_PROTOCOLS");
    ev.data.data32[0] = atom("WM_DELETE_WINDOW");
    ev.data.data32[1] = XCB_CURRENT_TIME;
    // Checked, so the server has handled the request before we disconnect.
    const xcb_void_cookie_t sent =
        xcb_send_event_checked(c, 0, ev.window, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&ev));
    std::free(xcb_request_check(c, sent));
    xcb_disconnect(c);
}

// The visible message box of the window (the quit question), or null.
inline QMessageBox* shownBox(MainWindow& w) {
    for (QMessageBox* b : w.findChildren<QMessageBox*>())
        if (b->isVisible()) return b;
    return nullptr;
}

struct ScriptedDialogs {
    ScriptedDialogs() {
        UI_ModalDialogs::reset();
        UI_ModalDialogs::setScripted(true);
    }
    ~ScriptedDialogs() {
        UI_ModalDialogs::reset();
        UI_ModalDialogs::setScripted(false);
    }
};

// Answers the next analysis chooser with `row` (-1: cancel), after noting the
// names it offers in `offered` and running `meanwhile` (which may change the
// analyses while the chooser is open).
inline void answerChooser(int row, QStringList* offered, std::function<void()> meanwhile = nullptr) {
    UI_ModalDialogs::answerDialog([row, offered, meanwhile](QDialog* d) {
        auto* chooser = static_cast<UI_AnalysisSelectionDialog*>(d);
        *offered = static_cast<QStringListModel*>(chooser->listView()->model())->stringList();
        if (meanwhile) meanwhile();
        if (row < 0) return int(QDialog::Rejected);
        chooser->listView()->setCurrentIndex(chooser->listView()->model()->index(row, 0));
        return int(QDialog::Accepted);
    });
}

// An analysis of `type` registered with its own view dock and settings panel.
struct Built {
    TestAnalysis* analysis;
    QPointer<UI_DockableWidget> view;
    QPointer<TestPanel> panel;
};

inline Built build(MainWindow& w, int type, const QString& name) {
    Built b{new TestAnalysis(type, name.toStdString(), w.bridge()), new UI_DockableWidget(&w), nullptr};
    b.view->setWindowTitle(name);
    w.addDockWidget(Qt::RightDockWidgetArea, b.view);
    b.panel = new TestPanel(&w, b.analysis);
    w.addAnalysis(b.analysis);
    w.addView(b.view, b.analysis);
    w.addSettingsPanel(b.panel, b.analysis, name);
    return b;
}

// A main window (made on first use) over a fresh data set, files in a
// temporary folder and scripted dialogs.
// While it lives, the file question and the name prompt open as real
// dialogs: the file dialog chooses `file`, the prompt goes to `answer`, which
// accepts or rejects it; a message box is noted and closed. The questions
// after the prompt are scripted again.
class RealDialogs {
public:
    RealDialogs(const QString& file, std::function<void(QInputDialog*)> answer) {
        UI_ModalDialogs::setScripted(false);
        QObject::connect(&m_poll, &QTimer::timeout, [this, file, answer] {
            for (QWidget* top : QApplication::topLevelWidgets()) {
                if (!top->isVisible() || !top->isModal()) continue;
                if (auto* files = qobject_cast<QFileDialog*>(top)) {
                    // Typed, as selectFile leaves a focused name field alone.
                    files->findChild<QLineEdit*>("fileNameEdit")->setText(file);
                    QMetaObject::invokeMethod(files, "accept");
                    return;
                }
                if (auto* prompt = qobject_cast<QInputDialog*>(top)) {
                    m_poll.stop();
                    UI_ModalDialogs::setScripted(true);
                    answer(prompt);
                    return;
                }
                if (auto* box = qobject_cast<QMessageBox*>(top)) {
                    boxes << box->text();
                    box->done(0);
                    return;
                }
            }
        });
        m_poll.start(10);
    }
    ~RealDialogs() { UI_ModalDialogs::setScripted(true); }

    // The texts of the message boxes shown meanwhile (closed at once).
    QStringList boxes;

private:
    QTimer m_poll;
};

class ShellTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        delete MCV_CytometryData::Instance();
        MCV_Settings::Instance()->setDefaultMarkers({});
    }
    void TearDown() override {
        window.reset();
        runDeferredDeletes();
        delete MCV_CytometryData::Instance();
        MCV_Settings::Instance()->setDefaultMarkers({});
    }

    MainWindow& w() {
        if (!window) window = std::make_unique<MainWindow>();
        return *window;
    }
    // The window shown and active, for tests that type its shortcuts.
    void showWindow() {
        w().show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&w()));
        QApplication::setActiveWindow(&w());
    }
    // The window at `size` with the application's OpenGL format, shown and
    // active, for tests that draw plots.
    void showPlotWindow(QSize size) {
        setApplicationSurfaceFormat();
        w().resize(size);
        showWindow();
    }
    void trigger(const char* action) { w().findChild<QAction*>(action)->trigger(); }
    // A float file of `events` rows and `variables` columns: value 10 * (e + 1) + v.
    QString makeFile(const QString& name, int events, int variables, const char* firstName = nullptr) {
        std::vector<std::vector<float>> rows(static_cast<size_t>(events));
        for (int e = 0; e < events; ++e)
            for (int v = 0; v < variables; ++v) rows[static_cast<size_t>(e)].push_back(10.0f * (e + 1) + v);
        FcsTestFile f = FcsTestFile::floats(rows);
        f.set("$CYT", "<b>Cyto</b> & co");
        if (firstName) f.set("$P1N", firstName);
        return QString::fromStdString(f.write(dir, name.toStdString()));
    }
    // Triggers "Open File(s) ..." answering `files` and, in the import dialog,
    // `dialog` (default: OK at once).
    void open(const QStringList& files, std::function<int(QDialog*)> dialog = nullptr) {
        UI_ModalDialogs::answerFiles(files);
        UI_ModalDialogs::answerDialog(dialog ? dialog : [](QDialog* d) {
            d->done(0);
            return 0;
        });
        trigger("actionOpenFile");
    }
    // Opens `files` with "Start A-tSNE", whose name prompt takes the next
    // queued text.
    void openAndStartTsne(const QStringList& files) {
        open(files, [](QDialog* d) {
            d->findChild<QPushButton*>("importButton2")->click();
            return d->result();
        });
    }

    QTemporaryDir dir;
    ScriptedDialogs dialogs;
    std::unique_ptr<MainWindow> window;
};
