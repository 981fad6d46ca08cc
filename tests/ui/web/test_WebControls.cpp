// The web-drawn switch and busy ring in the real engine.
#include "support/Pixels.h"
#include "ui/PageTestSupport.h"
#include "ui/web/UI_MaterialCheckBoxWidget.h"
#include "ui/web/UI_ProgressSpinnerWidget.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QImage>
#include <QOpenGLWidget>
#include <QPainter>
#include <QPixmap>
#include <QScreen>
#include <QTest>
#include <QWebFrame>
#include <QWebPage>
#include <QWindow>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// A red host under the controls: wherever a control draws nothing, red must
// show through.
class WebControls : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        host = new QWidget;
        host->setFixedSize(200, 60);
        QPalette palette = host->palette();
        palette.setColor(QPalette::Window, QColor(255, 0, 0));
        host->setPalette(palette);
        host->setAutoFillBackground(true);
        QColor red(255, 70, 70);
        coloured = new UI_MaterialCheckBoxWidget("Record", host, &red);
        coloured->setChecked(true);  // before the page has loaded
        plain = new UI_MaterialCheckBoxWidget("Darkmode", host, nullptr);
        plain->move(0, 30);
        spinner = new UI_ProgressSpinnerWidget(host);
        spinner->move(100, 10);
        host->show();
        loaded = pagetest::waitForPage(pagetest::webViewOf(coloured)) &&
                 pagetest::waitForPage(pagetest::webViewOf(plain)) && pagetest::waitForPage(spinner);
    }
    static void TearDownTestSuite() { delete host; }
    void SetUp() override { ASSERT_TRUE(loaded); }

    static QString page(UI_MaterialCheckBoxWidget* w, const char* script) {
        return pagetest::js(pagetest::webViewOf(w), script).toString();
    }
    static bool drawnChecked(UI_MaterialCheckBoxWidget* w) {
        return page(w, "document.getElementById('switch').classList.contains('is-checked')") == "true";
    }
    static bool redAt(QPoint p) { return rgbNear(host->grab().toImage().pixel(p), qRgb(255, 0, 0), 25); }

    static inline QWidget* host = nullptr;
    static inline UI_MaterialCheckBoxWidget *coloured = nullptr, *plain = nullptr;
    static inline UI_ProgressSpinnerWidget* spinner = nullptr;
    static inline bool loaded = false;
};

TEST_F(WebControls, SwitchDrawsStateSetAnyTimeSilentlyAndReportsClicks) {
    EXPECT_TRUE(drawnChecked(coloured)) << "set before the page loaded";
    QSignalSpy clicked(plain, &UI_MaterialCheckBoxWidget::clicked);
    QSignalSpy changed(plain, &UI_MaterialCheckBoxWidget::stateChanged);
    plain->setChecked(true);
    EXPECT_TRUE(drawnChecked(plain));
    EXPECT_EQ(clicked.count() + changed.count(), 0) << "setting is silent";
    for (bool expected : {false, true}) {
        QTest::mouseClick(pagetest::webViewOf(plain), Qt::LeftButton, Qt::NoModifier, QPoint(18, 12));
        EXPECT_EQ(plain->isChecked(), expected);
        EXPECT_EQ(drawnChecked(plain), expected);
        EXPECT_EQ(changed.last()[0].toBool(), expected);
    }
    EXPECT_EQ(clicked.count(), 2);
    const char* thumb = "getComputedStyle(document.querySelector('.mdl-switch__thumb')).backgroundColor";
    EXPECT_EQ(page(coloured, thumb), "rgb(255, 70, 70)") << "the given colour when checked";
    EXPECT_NE(page(plain, thumb), "rgb(255, 70, 70)");
    plain->setChecked(false);
}

TEST_F(WebControls, SpinnerRingShowsOverTheHostWithATransparentHoleAndHides) {
    spinner->show();
    EXPECT_TRUE(redAt({100, 10}) && redAt({112, 22})) << "corner and the hole in the middle";
    EXPECT_FALSE(redAt({112, 11})) << "the ring's top";
    spinner->hide();
    EXPECT_TRUE(redAt({112, 11}));
    spinner->show();
}

// The ring's dark quarter, over the red host: where it lies as the ring turns.
TEST_F(WebControls, SpinnerTurnsOnlyWhenAdvancedAQuarterPerThreeSteps) {
    spinner->show();
    auto dark = [](QPoint p) { return !redAt(p) && qBlue(host->grab().toImage().pixel(p)) > 180; };
    const QPoint top(112, 11), right(122, 22), bottom(112, 32), left(102, 22);
    struct Turn {
        int steps;
        QPoint darkAt, lightAt;
    };
    EXPECT_EQ(spinner->angle(), 0);
    QTest::qWait(200);
    EXPECT_TRUE(dark(top) && !dark(right)) << "no turning on its own";
    for (const Turn& t : {Turn{3, right, top}, Turn{3, bottom, right}, Turn{3, left, bottom}, Turn{3, top, left}}) {
        for (int s = 0; s < t.steps; ++s) spinner->advance();
        EXPECT_TRUE(dark(t.darkAt)) << spinner->angle();
        EXPECT_FALSE(dark(t.lightAt)) << spinner->angle();
    }
    EXPECT_EQ(spinner->angle(), 0) << "twelve steps of 30 degrees";
}

// Runs the event loop until it has nothing left to do now: every posted event
// delivered (the repaints asked for among them), every due timer run, every
// event the window system has sent handled. False when that never comes.
bool settle() {
    QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
    for (int pass = 0; pass < 10000; ++pass) {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
        if (!dispatcher->hasPendingEvents()) return true;
    }
    return false;
}

// The page itself drawing the ring at `degrees`, the way the widget draws it:
// the reference for what the widget shows.
QImage pageDrawn(UI_ProgressSpinnerWidget* ring, int degrees) {
    pagetest::js(ring, QString("setAngle(%1)").arg(degrees));
    QImage image(ring->size() * ring->devicePixelRatioF(), QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ring->devicePixelRatioF());
    image.fill(Qt::transparent);
    QPainter painter(&image);
    ring->page()->mainFrame()->render(&painter, QRegion(ring->rect()));
    return image;
}

QImage widgetDrawn(UI_ProgressSpinnerWidget* ring) {
    QImage image(ring->size() * ring->devicePixelRatioF(), QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ring->devicePixelRatioF());
    image.fill(Qt::transparent);
    ring->render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    return image;
}

// Every angle shows what the page draws at that angle, the first time (drawn
// by the page) and on later turns (the kept picture), also when the ring was
// turned before its page had loaded.
TEST(SpinnerPictures, EveryAngleShowsWhatThePageDrawsThereOnEveryTurn) {
    QWidget host;
    host.resize(80, 40);
    auto* early = new UI_ProgressSpinnerWidget(&host);
    for (int s = 0; s < 5; ++s) early->advance();  // before its page has loaded
    auto* ring = new UI_ProgressSpinnerWidget(&host);
    ring->move(40, 0);
    host.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&host));
    ASSERT_TRUE(pagetest::waitForPage(early) && pagetest::waitForPage(ring));
    ASSERT_TRUE(settle());
    ASSERT_EQ(early->angle(), 150);
    {
        const QImage shown = widgetDrawn(early);
        EXPECT_EQ(shown, pageDrawn(early, 150)) << "the angle given before the page loaded";
    }
    std::vector<std::vector<QImage>> turns(3);
    for (std::vector<QImage>& shown : turns) {
        for (int s = 0; s < UI_ProgressSpinnerWidget::kTurns; ++s) {
            ring->advance();
            shown.push_back(widgetDrawn(ring));
        }
        EXPECT_EQ(ring->angle(), 0);
    }
    std::vector<QImage> reference;
    for (int s = 1; s <= UI_ProgressSpinnerWidget::kTurns; ++s)
        reference.push_back(pageDrawn(ring, (s * UI_ProgressSpinnerWidget::kStep) % 360));
    for (size_t t = 0; t < turns.size(); ++t)
        for (size_t s = 0; s < reference.size(); ++s) {
            EXPECT_FALSE(reference[s].isNull());
            EXPECT_EQ(turns[t][s], reference[s]) << "turn " << t << ", step " << s;
        }
    EXPECT_NE(reference[0], reference[2]) << "the pictures differ from angle to angle";
}

// Counts what the window system sends a window and the widgets in it of its
// own accord: exposes, pointer crossings and moves, focus and activation
// changes, moves, resizes. Each may repaint the window whatever its widgets
// ask for, and tests beside this one open, close and activate windows on the
// same display. Paints count as what they are, not as a cause.
class WindowSystemEvents : public QObject {
public:
    explicit WindowSystemEvents(QWidget* watched) : window(watched) { qApp->installEventFilter(this); }
    ~WindowSystemEvents() override { qApp->removeEventFilter(this); }
    int count = 0;
    bool eventFilter(QObject* object, QEvent* event) override {
        if (!event->spontaneous() || event->type() == QEvent::Paint || event->type() == QEvent::UpdateRequest)
            return false;
        auto* widget = qobject_cast<QWidget*>(object);
        if (object == window->windowHandle() || widget == window || (widget && window->isAncestorOf(widget))) ++count;
        return false;
    }

private:
    QWidget* window;
};

// Over an OpenGL plot every repaint of the window composes it: the ring adds
// no composition of its own, shown and idle or advanced with the host's.
TEST(SpinnerOverOpenGL, ComposesOnlyWithItsHost) {
    QOpenGLWidget plot;
    plot.resize(300, 200);
    auto* ring = new UI_ProgressSpinnerWidget(&plot);
    ring->move(270, 170);
    // In the screen's far corner, where windows of tests beside this one
    // seldom open (an expose they cause is told apart below).
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    plot.move(screen.right() - plot.width() - 10, screen.bottom() - plot.height() - 10);
    int compositions = 0;
    QObject::connect(&plot, &QOpenGLWidget::frameSwapped, [&compositions] { ++compositions; });
    plot.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&plot));
    ASSERT_TRUE(pagetest::waitForPage(ring));
    ASSERT_TRUE(QTest::qWaitFor([&] { return compositions > 0; }, 10000)) << "the window's first frame";
    ASSERT_TRUE(settle());
    WindowSystemEvents window(&plot);
    struct Step {
        bool shown;
        int frames;  // host repaints, each after an advance when shown
    };
    for (const Step& s : {Step{true, 0}, Step{true, 5}, Step{false, 0}, Step{false, 3}, Step{true, 4}}) {
        SCOPED_TRACE((s.shown ? "shown, " : "hidden, ") + std::to_string(s.frames) + " frames");
        // The repaint of a change of the ring's visibility comes first, before
        // anything is counted.
        if (ring->isVisible() != s.shown) {
            compositions = 0;
            ring->setVisible(s.shown);
            ASSERT_TRUE(QTest::qWaitFor([&] { return compositions > 0; }, 10000)) << "the change's repaint";
            ASSERT_TRUE(settle());
        }
        // A count during which the window system sent the window anything is
        // made again: only the ring and its host may repaint it meanwhile.
        int attempts = 0;
        do {
            ASSERT_LT(attempts++, 50) << "the window system kept sending the window events";
            compositions = 0;
            window.count = 0;
            for (int f = 0; f < s.frames; ++f) {
                if (s.shown) ring->advance();
                plot.update();
                ASSERT_TRUE(QTest::qWaitFor([&] { return compositions > f; }, 10000)) << "frame " << f;
                ASSERT_TRUE(settle());
            }
            // Nothing is left to do: a repaint that comes now is one the ring
            // asked for by itself (a timer of its own).
            QTest::qWait(150);
            ASSERT_TRUE(settle());
        } while (window.count > 0);
        EXPECT_EQ(compositions, s.frames);
    }
}

}  // namespace
