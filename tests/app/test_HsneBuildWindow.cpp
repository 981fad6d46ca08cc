// The main window while an HSNE hierarchy builds: it paints, shows the
// progress and takes no input but the close request, whose Yes stops the
// build and quits; afterwards the status bar says what became of the cache.
//
// The builder's thread is held at the first step of scale 1 (its status
// observer waits) until the window has been looked at, so the checks below
// happen during the build however fast the machine is.
#include "ShellTestSupport.h"
#include "support/CapturedOutput.h"
#include "support/LeftOverTemporaries.h"
#include "support/WidgetFinders.h"
#include "vel/VelTestData.h"

#include "analysis/fc/MCV_HsneFCAnalysis.h"
#include "analysis/hsne/MCV_HsneAnalysis.h"
#include "analysis/hsne/MCV_HsneAnalysisHierarchy.h"
#include "ui/hsne/UI_HierarchySettingsWidget.h"
#include "ui/hsne/UI_HsneSettingsWidget.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QDockWidget>
#include <QLabel>
#include <QMainWindow>
#include <QProgressBar>
#include <QSpinBox>
#include <QStatusBar>

#include <atomic>
#include <chrono>
#include <thread>

#include <sys/stat.h>

namespace {

using Status = MCV_HsneHierarchyBuilder::Status;

// A click on the box's indicator (the boxes have no text beside them).
void clickBox(QCheckBox* box) { QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, box->height() / 2)); }

// Counts its paint events.
class PaintCounter : public QWidget {
public:
    int paints = 0;

protected:
    void paintEvent(QPaintEvent*) override { ++paints; }
};

class HsneBuildWindow : public ShellTest {
protected:
    // Opens 4 blobs of `perBlob` events in 4 markers and creates the analysis
    // of `action` named "H" (3 scales, 5 iterations, on the CPU).
    void openAndCreate(const char* action, unsigned perBlob = 1500) {
        const veltest::Blobs b = veltest::makeBlobs(4, perBlob, 4, 10.0, 5);
        std::vector<std::vector<float>> rows(b.n);
        for (unsigned i = 0; i < b.n; ++i) rows[i].assign(b.data.begin() + i * 4, b.data.begin() + (i + 1) * 4);
        open({QString::fromStdString(FcsTestFile::floats(rows).write(dir, "blobs.fcs"))});
        UI_ModalDialogs::answerText("H");
        trigger(action);
        ASSERT_FALSE(w().settingsPanels().empty());
        panel = qobject_cast<UI_HierarchySettingsWidget*>(w().settingsPanels().front());
        ASSERT_NE(panel, nullptr);
        if (auto* h = dynamic_cast<MCV_HsneAnalysisHierarchy*>(w().analyses().front())) {
            hsne = h;
            builder = &h->builder();
            h->analysis(0)->setIterations(5);
            static_cast<UI_HsneSettingsWidget*>(panel)->numScalesBox()->setValue(3);
        } else {
            auto* fc = dynamic_cast<MCV_HsneFCAnalysis*>(w().analyses().front());
            ASSERT_NE(fc, nullptr);
            builder = &fc->builder();
            fc->setIterations(5);
            fc->setNumScales(3);
            widgetBeside<QCheckBox>(panel, "GPU Acceleration")->setChecked(false);
        }
        builder->settings().seed = 1;
    }
    // Holds the builder's thread at the first status of scale 1 until
    // `released` is set (at most a minute); `held` is set meanwhile.
    void holdAtScaleOne() {
        builder->setStatusObserver([this](const Status& s) {
            if (held || s.what.rfind("Scale 1 of", 0) != 0) return;
            held = true;
            for (int i = 0; i < 60000 && !released; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        });
    }
    // Runs `look` on the GUI thread once the builder's thread is held and
    // the panel shows where, then releases it.
    void whenHeld(std::function<void()> look) {
        QObject::connect(&poll, &QTimer::timeout, [this, look] {
            if (!held || released || !panel->progressLabel()->text().startsWith("Scale 1 of")) return;
            poll.stop();
            look();
            released = true;
        });
        poll.start(5);
    }
    // The cache files and any temporary left beside them.
    QStringList cacheFiles() {
        return QDir(dir.path()).entryList({"hsne-*"}, QDir::Files | QDir::Dirs) + leftOverTemporaries(dir.path());
    }

    UI_HierarchySettingsWidget* panel = nullptr;
    MCV_HsneAnalysisHierarchy* hsne = nullptr;
    MCV_HsneHierarchyBuilder* builder = nullptr;
    std::atomic<bool> held{false}, released{false};
    QTimer poll;
};

TEST_F(HsneBuildWindow, TheWindowPaintsAndShowsTheBuildWhileNoInputReachesItsWidgets) {
    w().resize(1200, 900);
    showWindow();
    auto* counter = new PaintCounter();
    auto* dock = new QDockWidget(QStringLiteral("Counter"), &w());
    dock->setWidget(counter);
    w().addDockWidget(Qt::BottomDockWidgetArea, dock);
    openAndCreate("actionNewHsneAnalysis");
    QCheckBox* cache = widgetBeside<QCheckBox>(panel, "Cache HSNE Hierarchy");
    QSpinBox* seed = widgetBeside<QSpinBox>(panel, "RNG Seed");
    ASSERT_TRUE(cache && seed && cache->isChecked());
    const int seedShown = seed->value();
    QAction probe(&w());
    probe.setShortcut(QKeySequence("Ctrl+K"));
    w().addAction(&probe);
    int fired = 0;
    QObject::connect(&probe, &QAction::triggered, [&] { ++fired; });

    struct {
        int paintsBefore = -1, paintsAfter = -1;
        bool computeEnabled = true, progressShown = false, cacheChecked = false;
        QString label, statusBar;
        int percent = -1, seed = 0;
    } during;
    holdAtScaleOne();
    whenHeld([&] {
        during.paintsBefore = counter->paints;
        counter->update();
        (void)QTest::qWaitFor([&] { return counter->paints > during.paintsBefore; }, 10000);
        during.paintsAfter = counter->paints;
        during.computeEnabled = panel->computeHsneButton()->isEnabled();
        during.progressShown = panel->progressBox()->isVisible();
        during.label = panel->progressLabel()->text();
        during.percent = panel->progressBar()->value();
        during.statusBar = w().statusBar()->currentMessage();
        // A click, keys and a shortcut, all dropped.
        clickBox(cache);
        QTest::keyClick(seed, Qt::Key_Up);
        QTest::keySequence(&w(), QKeySequence("Ctrl+K"));
        during.cacheChecked = cache->isChecked();
        during.seed = seed->value();
    });
    quietly([&] { QTest::mouseClick(panel->computeHsneButton(), Qt::LeftButton); });

    EXPECT_GT(during.paintsAfter, during.paintsBefore) << "a paint event reached the window during the build";
    EXPECT_FALSE(during.computeEnabled);
    EXPECT_TRUE(during.progressShown);
    EXPECT_EQ(during.label, "Scale 1 of 2: landmarks");
    EXPECT_EQ(during.percent, 0);
    EXPECT_EQ(during.statusBar, "H: Scale 1 of 2: landmarks, 0 %");
    EXPECT_TRUE(during.cacheChecked) << "the click was dropped";
    EXPECT_EQ(during.seed, seedShown) << "the key was dropped";
    EXPECT_EQ(fired, 0) << "the shortcut was dropped";

    // Afterwards: the hierarchy, the panel as before, the status bar empty
    // (the cache was written), and input reaches the widgets again.
    ASSERT_NE(hsne->hierarchy(), nullptr);
    EXPECT_EQ(hsne->hierarchy()->numScales(), 3);
    EXPECT_TRUE(panel->computeHsneButton()->isEnabled());
    EXPECT_FALSE(panel->progressBox()->isVisible());
    EXPECT_EQ(w().statusBar()->currentMessage(), "");
    EXPECT_EQ(cacheFiles().size(), 3);
    clickBox(cache);
    QTest::keySequence(&w(), QKeySequence("Ctrl+K"));
    EXPECT_FALSE(cache->isChecked());
    EXPECT_EQ(fired, 1);
}

// The close request during a build asks the quit question; Yes stops the
// build at its next block and the program ends, leaving no cache file.
TEST_F(HsneBuildWindow, ACloseRequestDuringABuildEndsTheProgramAfterTheConfirmationLeavingNoCache) {
    for (const char* action : {"actionNewHsneAnalysis", "actionNewHsneFCAnalysis"}) {
        SCOPED_TRACE(action);
        window.reset();
        runDeferredDeletes();
        delete MCV_CytometryData::Instance();
        held = released = false;
        poll.disconnect();
        showWindow();
        openAndCreate(action);
        holdAtScaleOne();
        bool asked = false;
        whenHeld([&] {
            sendWindowManagerClose(&w());
            asked = QTest::qWaitFor([&] { return shownBox(w()) != nullptr; }, 5000);
            if (asked)
                QTest::mouseClick(static_cast<QPushButton*>(shownBox(w())->button(QMessageBox::Yes)), Qt::LeftButton);
            else
                builder->stop();
        });
        QPushButton* compute = panel->computeHsneButton();
        QTimer::singleShot(0, compute, [compute] { quietly([&] { QTest::mouseClick(compute, Qt::LeftButton); }); });
        EXPECT_EQ(QApplication::exec(), 0);
        // The closed last window also asked to quit; that request must not end
        // the next event loops.
        QCoreApplication::removePostedEvents(qApp, QEvent::Quit);
        ASSERT_TRUE(asked);
        EXPECT_FALSE(w().isVisible());
        EXPECT_EQ(cacheFiles(), QStringList());
        if (hsne) {
            EXPECT_EQ(hsne->hierarchy(), nullptr);
        } else {
            EXPECT_TRUE(w().analyses().empty()) << "focus and context stopped for good and went";
        }
        hsne = nullptr;
    }
}

// The status bar names the folder and the reason when the cache cannot be
// written, and when a cache exists that the build does not use.
TEST_F(HsneBuildWindow, TheStatusBarSaysWhyTheCacheWasNotWrittenOrNotUsed) {
    showWindow();
    openAndCreate("actionNewHsneAnalysis", 500);
    const std::string folder = dir.path().toStdString() + "/";
    auto compute = [&] {
        quietly([&] { QTest::mouseClick(panel->computeHsneButton(), Qt::LeftButton); });
        return w().statusBar()->currentMessage().toStdString();
    };
    // Folders in the caches' places, which no write replaces.
    for (const char* name :
         {MCV_DerivedDataHierarchy::HierarchyCacheName, MCV_DerivedDataHierarchy::PointBasedCacheName})
        ASSERT_TRUE(QDir().mkpath(dir.filePath(QString(name))));
    EXPECT_EQ(compute(), "HSNE cache not written to " + folder + ": Is a directory.");

    for (const QString& blocker : cacheFiles()) QDir().rmdir(dir.filePath(blocker));
    EXPECT_EQ(compute(), "") << "written";
    EXPECT_EQ(compute(), "") << "loaded";
    // A pipe in place of the hierarchy file neither blocks nor stops Compute.
    const std::string hierarchy = folder + MCV_DerivedDataHierarchy::HierarchyCacheName;
    ASSERT_TRUE(QFile::remove(QString::fromStdString(hierarchy)));
    ASSERT_EQ(mkfifo(hierarchy.c_str(), 0600), 0);
    EXPECT_EQ(compute(), "HSNE cache in " + folder + " not used: " + MCV_DerivedDataHierarchy::HierarchyCacheName +
                             " cannot be read (not a regular file).");
    EXPECT_EQ(compute(), "") << "loaded what the build wrote";
    static_cast<UI_HsneSettingsWidget*>(panel)->numScalesBox()->setValue(2);
    EXPECT_EQ(compute(), "HSNE cache in " + folder +
                             " not used: it was built with other settings (Number of Scales 3, "
                             "not 2).");
}

}  // namespace
