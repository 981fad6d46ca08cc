// The scatter-plot widget on a real A-tSNE analysis: gestures become
// selections, overlay signals reach the renderer, and exports land where the
// main window's status bar says.
#include "ScatterplotTest.h"
#include "support/FileSizeLimit.h"
#include "support/MarkerLineLayout.h"
#include "support/MarkerListPresses.h"
#include "support/Pixels.h"
#include "support/ReadOnlyFolder.h"
#include "support/WidgetFinders.h"
#include "support/WriteFailure.h"

#include "data/MCV_Settings.h"
#include "ui/base/UI_ModalDialogs.h"
#include "ui/base/UI_Settings.h"
#include "ui/base/freeFilePath.h"
#include "ui/base/safeFileName.h"
#include "ui/datapanels/UI_MarkerSelectionWidget.h"
#include "ui/plot/UI_Colormap2DSelectionWidget.h"
#include "ui/plot/UI_ColormapSelectionWidget.h"
#include "ui/plot/UI_ScreenshotDialog.h"
#include "ui/plot/UI_TsneSettingsSliderWidget.h"
#include "ui/web/UI_DualSliderWidget.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QMainWindow>
#include <QOpenGLContext>
#include <QProgressDialog>
#include <QPushButton>
#include <QSet>
#include <QSignalSpy>
#include <QSpinBox>
#include <QStatusBar>
#include <QTimer>

#include <functional>
#include <optional>

namespace {

using namespace viewtest;

const QRgb kBackground = qRgb(252, 252, 252);

class ScatterplotWidgetTest : public ScatterplotTest {
protected:
    void mouse(QEvent::Type type, QPoint pos, Qt::MouseButton button, Qt::MouseButtons buttons,
               Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        sendMouse(widget.get(), type, pos, button, buttons, modifiers);
    }
    std::vector<int> selected() { return widget->selectionIdxs() ? *widget->selectionIdxs() : std::vector<int>(); }
    bool selectedHas(int p) {
        const std::vector<int> s = selected();
        return std::find(s.begin(), s.end(), p) != s.end();
    }
};

TEST_F(ScatterplotWidgetTest, RectanglesReplaceAddOrSubtractByModifierAndAltReportsOnlyTheRelease) {
    struct Case {
        const char* name;
        Qt::Key start;  // Ctrl+A selects all, Ctrl+D nothing
        Qt::KeyboardModifiers modifiers;
        bool aroundPoint0;  // else around everything
        bool hasPoint0, all;
        int signalsAfterMove;
    };
    const Case cases[] = {
        {"plain replaces", Qt::Key_A, Qt::NoModifier, true, true, false, 1},
        {"control adds", Qt::Key_A, Qt::ControlModifier, true, true, true, 1},
        {"shift subtracts", Qt::Key_A, Qt::ShiftModifier, true, false, false, 1},
        {"alt is quiet while moving", Qt::Key_D, Qt::AltModifier, false, true, true, 0},
    };
    for (const Case& c : cases) {
        QTest::keyClick(widget.get(), c.start, Qt::ControlModifier);
        QSignalSpy updated(widget.get(), &UI_ScatterplotWidget::selectionUpdated);
        const QRect r = c.aroundPoint0 ? QRect(inImage(0) - QPoint(3, 3), inImage(0) + QPoint(3, 3))
                                       : QRect(QPoint(2, 2), QPoint(kSize - 2, kSize - 2));
        mouse(QEvent::MouseButtonPress, r.topLeft(), Qt::LeftButton, Qt::LeftButton, c.modifiers);
        mouse(QEvent::MouseMove, r.bottomRight(), Qt::NoButton, Qt::LeftButton, c.modifiers);
        EXPECT_EQ(updated.count(), c.signalsAfterMove) << c.name;
        mouse(QEvent::MouseButtonRelease, r.bottomRight(), Qt::LeftButton, Qt::NoButton, c.modifiers);
        EXPECT_EQ(updated.count(), c.signalsAfterMove + 1) << c.name;
        EXPECT_EQ(selectedHas(0), c.hasPoint0) << c.name;
        EXPECT_EQ(selected().size() == size_t(kPoints), c.all) << c.name;
    }
}

TEST_F(ScatterplotWidgetTest, ClickPicksTheDensityClusterUnderThePointer) {
    emit widget->settingsPanel()->computeMSOnceSignal();
    ASSERT_FALSE(widget->pointRenderer()->meanShiftClustersName().empty());
    QSignalSpy updated(widget.get(), &UI_ScatterplotWidget::selectionUpdated);
    const QPoint p0 = inImage(0);
    // Press and release one pixel apart: a click.
    mouse(QEvent::MouseButtonPress, p0, Qt::LeftButton, Qt::LeftButton);
    mouse(QEvent::MouseButtonRelease, p0 + QPoint(1, 1), Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(updated.count(), 1);
    EXPECT_TRUE(selectedHas(0));
    EXPECT_EQ(widget->pointRenderer()->numSelectedClusters(), 1);
}

TEST_F(ScatterplotWidgetTest, RightPressAndOpenMenuNeverSelect) {
    QSignalSpy right(widget.get(), &UI_ScatterplotWidget::rightClick);
    QTest::keyClick(widget.get(), Qt::Key_A, Qt::ControlModifier);
    QSignalSpy updated(widget.get(), &UI_ScatterplotWidget::selectionUpdated);
    sendDrag(widget.get(), {2, 2}, {kSize - 2, kSize - 2}, Qt::NoModifier, Qt::RightButton);
    EXPECT_EQ(right.count(), 1);
    EXPECT_EQ(updated.count(), 0);
    // While a menu is open a left drag only ends the menu state.
    widget->menuShown();
    sendDrag(widget.get(), {2, 2}, {30, 30});
    EXPECT_EQ(updated.count(), 0);
    EXPECT_EQ(selected().size(), size_t(kPoints));
    sendDrag(widget.get(), {2, 2}, {30, 30});
    EXPECT_EQ(updated.count(), 2);
}

TEST_F(ScatterplotWidgetTest, MarkerChoiceSetsPickersRangesAndBounds) {
    auto* panel = widget->settingsPanel();
    auto range = [&](size_t m) { return (*widget->pointRenderer()->markerRanges())[m]; };
    emit panel->parentSetMarker(-5);
    EXPECT_EQ(widget->currentMarker(), -2);
    emit panel->parentSetMarker(4);
    emit panel->parentSetMarkerSpan(0.5f, 1.5f);
    EXPECT_EQ(range(4), std::make_pair(0.5f, 1.5f));
    widget->setLowerMarkerBoundary(0.25f);
    widget->setUpperMarkerBoundary(1.75f);
    EXPECT_EQ(range(4), std::make_pair(0.25f, 1.75f));
    // A marker beyond the ranges (names from elsewhere) writes nothing.
    emit panel->parentSetMarker(variables + 3);
    emit panel->parentSetMarkerSpan(7.0f, 8.0f);
    EXPECT_EQ(widget->pointRenderer()->markerRanges()->size(), static_cast<size_t>(variables));
    EXPECT_EQ(range(4), std::make_pair(0.25f, 1.75f));
}

TEST_F(ScatterplotWidgetTest, PanelAndPickerSignalsReachTheRenderer) {
    auto* panel = widget->settingsPanel();
    MCV_PointRenderer* r = widget->pointRenderer();
    emit widget->colormapSelection()->colormapSelected(3);
    emit widget->colormapSelection()->discreteSelected(true);
    emit widget->colormap2DSelection()->colormapSelected(1);
    EXPECT_EQ(std::make_tuple(r->activeColormap(1), r->activeColormapDiscrete(1), r->activeColormap(2)),
              std::make_tuple(3, true, 1));
    // Density mode: the picker then shows the density colormap.
    emit panel->parentSetMode(1);
    EXPECT_EQ(widget->colormapSelection()->activeColormap(), r->activeColormap(1));
    emit panel->parentSetMode(0);
    EXPECT_EQ(widget->colormapSelection()->activeColormap(), 3);
    emit panel->parentSetDarkMode(true);
    EXPECT_TRUE(rgbNear(frame().pixel(1, 1), qRgb(50, 50, 50), 0));
    emit panel->parentSetDarkMode(false);
    emit panel->parentSetpointHaloSize(0.0f);
    emit panel->parentSetpointSize(0.005f);
    const int small = countNear(frame(), kBackground, 0);
    emit panel->parentSetpointSize(0.03f);
    EXPECT_LT(countNear(frame(), kBackground, 0), small);
}

// A plot that has drawn ends with its OpenGL context: on its own, with its
// window, or after it moved into another window, which gives it a new context
// (the old one's end reaches the plot while it is whole). The base destructor
// announces the context's end when the plot's own slots must no longer run;
// the sanitizer build stops on such a call. A moved plot draws as before.
TEST_F(ScatterplotWidgetTest, APlotThatDrewGoesWithItsContextAloneWithItsWindowOrAfterAMove) {
    enum class End { Alone, WithItsWindow, AfterAMove };
    for (End end : {End::Alone, End::WithItsWindow, End::AfterAMove}) {
        SCOPED_TRACE(static_cast<int>(end));
        auto first = std::make_unique<QWidget>();
        auto second = std::make_unique<QWidget>();
        auto* plot = new UI_ScatterplotWidget(tsne.get(), end == End::Alone ? nullptr : first.get());
        QWidget* window = end == End::Alone ? plot : first.get();
        plot->resize(kSize, kSize);
        window->resize(kSize, kSize);
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
        plot->grabFramebuffer();
        ASSERT_NE(plot->pointRenderer(), nullptr);
        plot->setLocalData(variables);
        const int background = countNear(plot->grabFramebuffer().convertToFormat(QImage::Format_RGB32), kBackground, 0);
        ASSERT_LT(background, kSize * kSize);

        if (end == End::AfterAMove) {
            QSignalSpy oldGone(plot->context(), &QOpenGLContext::aboutToBeDestroyed);
            plot->setParent(second.get());
            second->resize(kSize, kSize);
            second->show();
            plot->show();
            ASSERT_TRUE(QTest::qWaitForWindowExposed(second.get()));
            const QImage moved = plot->grabFramebuffer().convertToFormat(QImage::Format_RGB32);
            EXPECT_EQ(oldGone.size(), 1);
            EXPECT_EQ(countNear(moved, kBackground, 0), background);
        }
        QSignalSpy gone(plot->context(), &QOpenGLContext::aboutToBeDestroyed);
        if (end == End::Alone)
            delete plot;
        else if (end == End::WithItsWindow)
            first.reset();
        else
            second.reset();
        EXPECT_EQ(gone.size(), 1);
    }
}

TEST(ScatterplotWidgetNoRenderer, DataOperationsWaitForTheRenderer) {
    viewtest::useProgramFormat();
    MCV_TsneAnalysis tsne;
    UI_ScatterplotWidget widget(&tsne, nullptr);  // never shown: no GL yet
    widget.setLocalData(3);
    widget.copyLocalData();
    widget.copyLocalVertexData();
    widget.setSelection(nullptr, false);
    widget.setMsGrid(64);
    widget.updatePixelRatio();
    widget.setMarkers({"A", "B"});
    EXPECT_EQ(widget.pointRenderer(), nullptr);
    EXPECT_EQ(widget.selectionIdxs(), nullptr);
}

constexpr int kPrint = 4096;

// The luma plane of the first picture of a video file, top row first, or a null image.
QImage firstVideoLuma(const QString& path) {
    QImage out;
    AVFormatContext* format = nullptr;
    if (avformat_open_input(&format, path.toUtf8().constData(), nullptr, nullptr) < 0) return out;
    avformat_find_stream_info(format, nullptr);
    const AVCodec* codec = nullptr;
    const int stream = av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, &codec, 0);
    AVCodecContext* decoder = avcodec_alloc_context3(codec);
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    bool got = false;
    if (stream >= 0 && avcodec_parameters_to_context(decoder, format->streams[stream]->codecpar) >= 0 &&
        avcodec_open2(decoder, codec, nullptr) >= 0) {
        while (!got && av_read_frame(format, packet) >= 0) {
            if (packet->stream_index == stream) avcodec_send_packet(decoder, packet);
            av_packet_unref(packet);
            got = avcodec_receive_frame(decoder, frame) == 0;
        }
        if (!got && avcodec_send_packet(decoder, nullptr) >= 0) got = avcodec_receive_frame(decoder, frame) == 0;
    }
    if (got) {
        out = QImage(frame->width, frame->height, QImage::Format_Grayscale8);
        for (int y = 0; y < frame->height; ++y)
            std::copy_n(frame->data[0] + y * frame->linesize[0], frame->width, out.scanLine(y));
    }
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&decoder);
    avformat_close_input(&format);
    return out;
}

// Mean distance of a luma plane from the luma the encoder derives from `rgb`.
double lumaDistance(const QImage& luma, const QImage& rgb) {
    double sum = 0;
    for (int r = 0; r < luma.height(); ++r)
        for (int c = 0; c < luma.width(); ++c) {
            const QRgb p = rgb.pixel(c, r);
            const double y = 16 + (65.481 * qRed(p) + 128.553 * qGreen(p) + 24.966 * qBlue(p)) / 255;
            sum += std::abs(luma.constScanLine(r)[c] - y);
        }
    return sum / (luma.width() * luma.height());
}

class ScreenshotTest : public ScatterplotTest {
protected:
    void SetUp() override {
        ScatterplotTest::SetUp();
        if (HasFatalFailure()) return;
        ASSERT_TRUE(out.isValid());
        widget->setFixedSize(kSize, kSize);
        window.setCentralWidget(widget.get());
        window.statusBar();
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        QApplication::setActiveWindow(&window);
        // The new parent gives the widget a new GL context: the data again.
        widget->grabFramebuffer();
        widget->setLocalData(variables);
        widget->setMarkers(*MCV_CytometryData::Instance()->combinedHeader()->markerList(0));
        UI_ModalDialogs::reset();
        UI_ModalDialogs::setScripted(true);
        UI_Settings::Instance()->setValue("exportDefaultFilePath", out.path());
        UI_Settings::Instance()->sync();
    }
    void TearDown() override {
        UI_ModalDialogs::setScripted(false);
        UI_ModalDialogs::reset();
        UI_Settings::Instance()->remove("exportDefaultFilePath");
        ScatterplotTest::TearDown();
    }
    std::vector<std::vector<unsigned char>>& recorded() { return *widget->pointRenderer()->video(videoW, videoH); }
    void record(int frames) {
        widget->setRecording(true);
        for (int i = 0; i < frames; ++i) frame();
        widget->setRecording(false);
    }
    QStringList entriesIn(const QString& folder) {
        return QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name);
    }
    QString status() { return window.statusBar()->currentMessage(); }

    QTemporaryDir out;
    QMainWindow window;
    int videoW = 0, videoH = 0;
};

// A plot that has no renderer yet (its dock not shown or laid out when the
// analysis reports) takes the analysis' data when it makes one: positions bit
// for bit, one range per marker, and every point drawn.
TEST_F(ScatterplotWidgetTest, DataGivenBeforeTheRendererArriveWithIt) {
    for (const bool inHiddenParent : {false, true}) {
        QWidget parent;
        auto* late = new UI_ScatterplotWidget(tsne.get(), inHiddenParent ? &parent : nullptr);
        std::unique_ptr<UI_ScatterplotWidget> owned(inHiddenParent ? nullptr : late);
        late->setLocalData(variables);
        ASSERT_EQ(late->pointRenderer(), nullptr) << inHiddenParent;
        QWidget* shown = inHiddenParent ? &parent : static_cast<QWidget*>(late);
        shown->resize(kSize, kSize);
        late->resize(kSize, kSize);
        shown->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(shown)) << inHiddenParent;
        const QImage image = late->grabFramebuffer().convertToFormat(QImage::Format_RGB32);
        ASSERT_NE(late->pointRenderer(), nullptr) << inHiddenParent;
        EXPECT_EQ(late->pointRenderer()->positions(), *tsne->output()) << inHiddenParent;
        EXPECT_EQ(late->pointRenderer()->markerRanges()->size(), static_cast<size_t>(variables)) << inHiddenParent;
        int background = 0;
        for (int p = 0; p < kPoints; ++p) background += image.pixel(inImage(p)) == image.pixel(QPoint(0, 0));
        EXPECT_EQ(background, 0) << inHiddenParent << ": every point drawn";
    }
}

TEST(SafeFileName, ReplacesSeparatorsForbiddenAndControlCharactersAndNamesThatAreNoFileName) {
    const std::pair<QString, QString> cases[] = {{"CD3/CD4", "CD3_CD4"},
                                                 {"a\\b:c*d?e\"f<g>h|i", "a_b_c_d_e_f_g_h_i"},
                                                 {QString("tab\there\nnew") + QChar(0x7f), "tab_here_new_"},
                                                 {QString::fromUtf8("CD45 RA.ß–1"), QString::fromUtf8("CD45 RA.ß–1")},
                                                 {"", "_"},
                                                 {".", "_"},
                                                 {"..", "_"},
                                                 {"../x", ".._x"}};
    for (const auto& [in, expected] : cases) EXPECT_EQ(safeFileName(in), expected) << in.toStdString();
}

TEST(FreeFilePath, ATakenNameGetsTheFirstFreeNumber) {
    QTemporaryDir dir;
    const QString stem = QDir(dir.path()).filePath("M1_26_12_06_10_00_00_000");
    EXPECT_EQ(freeFilePath(stem, ".png"), stem + ".png");
    for (const char* taken : {".png", "_1.png", "_3.png"}) {
        QFile f(stem + taken);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    EXPECT_EQ(freeFilePath(stem, ".png"), stem + "_2.png");
    EXPECT_EQ(freeFilePath(stem, ".mp4"), stem + ".mp4");
}

TEST_F(ScreenshotTest, ControlPAnywhereInThePlotPrintsOneStampedFileAndReportsWhereOrWhyItFailed) {
    QComboBox* panelCombo = widget->settingsPanel()->findChild<QComboBox*>();
    QTemporaryDir home;
    const QByteArray savedHome = qgetenv("HOME");
    qputenv("HOME", home.path().toUtf8());
    widget->setMarker(0);
    // (focus, export folder (none: the home folder), folder written into (none: the write fails))
    const std::tuple<QWidget*, QString, QString> cases[] = {{panelCombo, out.path(), out.path()},
                                                            {widget.get(), "", home.path()},
                                                            {widget.get(), out.filePath("no/such/folder"), ""}};
    for (const auto& [focus, exportFolder, folder] : cases) {
        UI_Settings::Instance()->setValue("exportDefaultFilePath", exportFolder);
        window.statusBar()->clearMessage();
        focus->setFocus();
        QTest::keyClick(focus, Qt::Key_P, Qt::ControlModifier);
        if (folder.isEmpty()) {
            EXPECT_TRUE(status().startsWith("Screenshot not saved: " + exportFolder + "/M1_"))
                << status().toStdString();
            EXPECT_TRUE(status().endsWith(".png was not written: the folder " + exportFolder + " does not exist"))
                << status().toStdString();
            continue;
        }
        const QStringList written = entriesIn(folder);
        ASSERT_EQ(written.size(), 1) << written.join(" ").toStdString();
        // "<marker>_<time stamp>.png"
        EXPECT_TRUE(written[0].startsWith("M1_") && written[0].endsWith(".png") &&
                    QDateTime::fromString(written[0].mid(3, 21), "yy_MM_dd_HH_mm_ss_zzz").isValid())
            << written[0].toStdString();
        EXPECT_EQ(status(), "Screenshot saved to " + QDir(folder).filePath(written[0]));
    }
    qputenv("HOME", savedHome);
    EXPECT_EQ(entriesIn(out.path()).size(), 1);
    EXPECT_TRUE(UI_ModalDialogs::takeMessages().empty());
}

// A disk that fills up while the image is written, early or at its last
// bytes: no file, and the status bar says why.
TEST_F(ScreenshotTest, AScreenshotCutShortLeavesNoFile) {
    widget->setMarker(0);
    UI_Settings::Instance()->setValue("exportDefaultFilePath", out.path());
    widget->setFocus();
    QTest::keyClick(widget.get(), Qt::Key_P, Qt::ControlModifier);
    const QStringList first = entriesIn(out.path());
    ASSERT_EQ(first.size(), 1);
    const qint64 size = QFileInfo(out.filePath(first[0])).size();
    ASSERT_TRUE(QFile::remove(out.filePath(first[0])));
    for (const qint64 limitBytes : {qint64(100), size - 5}) {
        SCOPED_TRACE(limitBytes);
        window.statusBar()->clearMessage();
        {
            FileSizeLimit limit(static_cast<rlim_t>(limitBytes));
            ASSERT_TRUE(limit.ok());
            QTest::keyClick(widget.get(), Qt::Key_P, Qt::ControlModifier);
        }
        EXPECT_EQ(entriesIn(out.path()), QStringList{});
        EXPECT_TRUE(status().startsWith("Screenshot not saved: " + out.path() + "/M1_")) << status().toStdString();
        EXPECT_TRUE(status().endsWith(".png was not written: writing failed (File too large)"))
            << status().toStdString();
    }
}

// A series whose images cannot be written says so, with the reason of the
// first image that failed, where a success says how many were saved.
TEST_F(ScreenshotTest, ASeriesThatFailsSaysWhyInTheStatusBar) {
    const QString folder = QDir(out.path()).filePath("series");
    ASSERT_TRUE(QDir().mkpath(folder));
    // {read-only folder (else a full disk), reason}
    const std::pair<bool, QString> cases[] = {
        {false, "writing failed (File too large)"},
        {true, "the folder " + folder + " cannot take the new file (Permission denied)"}};
    for (const auto& [readOnlyFolder, reason] : cases) {
        SCOPED_TRACE(reason.toStdString());
        UI_ModalDialogs::answerDirectory(folder);
        UI_ModalDialogs::answerDialog([](QDialog* d) {
            auto* dialog = qobject_cast<UI_ScreenshotDialog*>(d);
            const std::vector<QCheckBox*>& boxes = dialog->markerSelection()->checkBoxes();
            for (size_t i = 0; i < boxes.size(); ++i) boxes[i]->setChecked(i == 0 || i == 2);
            dialog->markerSelection()->sampleBox()->setChecked(false);
            for (const char* button : {"folderButton", "capture"}) dialog->findChild<QPushButton*>(button)->click();
            return dialog->result();
        });
        window.statusBar()->clearMessage();
        if (readOnlyFolder) {
            ReadOnlyFolder readOnly(folder.toStdString());
            ASSERT_TRUE(readOnly.ok());
            emit widget->settingsPanel()->screenshotButtonPressed();
        } else {
            FileSizeLimit limit(100);
            ASSERT_TRUE(limit.ok());
            emit widget->settingsPanel()->screenshotButtonPressed();
        }
        EXPECT_EQ(entriesIn(folder), QStringList{});
        const QString expected = QString("Image export failed: 0 of 2 images saved to %1; %1/M1_").arg(folder);
        EXPECT_TRUE(status().startsWith(expected)) << status().toStdString();
        EXPECT_TRUE(status().endsWith(".png was not written: " + reason)) << status().toStdString();
        for (const QString& f : entriesIn(folder)) QFile::remove(QDir(folder).filePath(f));
    }
}

TEST_F(ScreenshotTest, SeriesWritesTheCheckedImagesInTheChosenRangeAndBackgroundAndRestoresThePlot) {
    widget->pointOpacityChanged(1.0f);
    widget->setMarker(2);
    const QImage before = frame();
    const QString folder = QDir(out.path()).filePath("series");
    ASSERT_TRUE(QDir().mkpath(folder));
    // A second, cancelled question keeps the first answer.
    UI_ModalDialogs::answerDirectory(folder);
    UI_ModalDialogs::answerColor(QColor(10, 200, 30));
    UI_ModalDialogs::answerColor(QColor());
    UI_ModalDialogs::answerDialog([](QDialog* d) {
        auto* dialog = qobject_cast<UI_ScreenshotDialog*>(d);
        const std::vector<QCheckBox*>& boxes = dialog->markerSelection()->checkBoxes();
        for (size_t i = 0; i < boxes.size(); ++i) boxes[i]->setChecked(i == 1 || i == 3);
        dialog->markerSelection()->sampleBox()->setChecked(true);
        dialog->findChild<QCheckBox*>("overrideRanges")->click();
        dialog->rangeSlider()->setValues(15.0f, 20.0f);
        for (const char* button :
             {"folderButton", "folderButton", "backgroundColorButton", "backgroundColorButton", "capture"})
            dialog->findChild<QPushButton*>(button)->click();
        return dialog->result();
    });
    emit widget->settingsPanel()->screenshotButtonPressed();
    const QStringList files = entriesIn(folder);
    ASSERT_EQ(files.size(), 3) << files.join(" ").toStdString();
    EXPECT_TRUE(files[0].startsWith("M2_") && files[1].startsWith("M4_") && files[2].startsWith("sampleTag_"));
    const QRgb background = qRgb(10, 200, 30);
    for (const QString& file : files) {
        const QImage image = QImage(QDir(folder).filePath(file)).convertToFormat(QImage::Format_RGB32);
        ASSERT_EQ(image.size(), QSize(kPrint, kPrint));
        // Upright (the layout is not symmetric enough for a flipped image to
        // pass); 15..20 puts every M2 value at one end of the colormap.
        QSet<QRgb> colours;
        int mirroredEmpty = 0;
        for (int p = 0; p < kPoints; ++p) {
            colours.insert(image.pixel(inImage(p, kPrint)));
            mirroredEmpty += image.pixel(inImage(p, kPrint, true)) == background;
        }
        EXPECT_EQ(image.pixel(0, 0), background) << file.toStdString();
        EXPECT_FALSE(colours.contains(background)) << file.toStdString();
        EXPECT_GT(mirroredEmpty, 0) << file.toStdString();
        EXPECT_TRUE(!file.startsWith("M2_") || colours.size() == 2) << colours.size();
    }
    EXPECT_EQ(status(), "3 images saved to " + folder);
    EXPECT_EQ(UI_Settings::Instance()->value("exportDefaultFilePath").toString(), out.path())
        << "a choice, not a store";
    EXPECT_EQ(widget->currentMarker(), 2);
    EXPECT_EQ(frame(), before);
}

TEST_F(ScreenshotTest, CancelStopsASeriesKeepingWhatWasWritten) {
    UI_ModalDialogs::answerDialog([](QDialog* d) {
        auto* dialog = qobject_cast<UI_ScreenshotDialog*>(d);
        for (QCheckBox* box : dialog->markerSelection()->checkBoxes()) box->setChecked(true);
        dialog->markerSelection()->sampleBox()->setChecked(false);
        dialog->findChild<QPushButton*>("capture")->click();
        return dialog->result();
    });
    // Presses Cancel as soon as the progress shows the first image written.
    int cancelledAt = -1;
    std::function<void()> watch = [&] {
        QProgressDialog* progress = widget->findChild<QProgressDialog*>();
        if (progress && progress->isVisible() && progress->value() >= 1) {
            cancelledAt = progress->value();
            progress->findChild<QPushButton*>()->click();
        } else {
            QTimer::singleShot(0, watch);
        }
    };
    QTimer::singleShot(0, watch);
    emit widget->settingsPanel()->screenshotButtonPressed();

    ASSERT_GE(cancelledAt, 1);
    ASSERT_LT(cancelledAt, variables);
    const QStringList written = entriesIn(out.path());
    EXPECT_EQ(written.size(), cancelledAt) << written.join(" ").toStdString();
    EXPECT_EQ(
        status(),
        QString("Image export stopped: %1 of %2 images saved to %3").arg(cancelledAt).arg(variables).arg(out.path()));
}

// The density clusters found on the plot, and the ones the user picked among
// them, are the plot's own: a series prints the markers' colours over the
// same positions and leaves both as they were (the cluster export and the
// picked selection still work on them).
TEST_F(ScreenshotTest, ASeriesLeavesThePlotsDensityClustersAsTheyWere) {
    widget->pointOpacityChanged(1.0f);
    widget->setMarker(2);
    // {what, pick a cluster with a click before the series}
    const std::pair<const char*, bool> cases[] = {{"clusters found", false}, {"one of them picked", true}};
    for (const auto& [what, pick] : cases) {
        SCOPED_TRACE(what);
        emit widget->settingsPanel()->computeMSOnceSignal();
        const std::string clusters = widget->pointRenderer()->meanShiftClustersName();
        ASSERT_FALSE(clusters.empty());
        if (pick) {
            const QPoint p0 = inImage(0);
            sendMouse(widget.get(), QEvent::MouseButtonPress, p0, Qt::LeftButton, Qt::LeftButton);
            sendMouse(widget.get(), QEvent::MouseButtonRelease, p0, Qt::LeftButton, Qt::NoButton);
        }
        const int picked = widget->pointRenderer()->numSelectedClusters();
        ASSERT_EQ(picked, pick ? 1 : 0);
        auto selection = [this] { return widget->selectionIdxs() ? *widget->selectionIdxs() : std::vector<int>(); };
        const std::vector<int> selected = selection();
        const QImage before = frame();
        const QString folder = QDir(out.path()).filePath(pick ? "picked" : "found");
        ASSERT_TRUE(QDir().mkpath(folder));
        UI_ModalDialogs::answerDirectory(folder);
        UI_ModalDialogs::answerDialog([](QDialog* d) {
            auto* dialog = qobject_cast<UI_ScreenshotDialog*>(d);
            const std::vector<QCheckBox*>& boxes = dialog->markerSelection()->checkBoxes();
            for (size_t i = 0; i < boxes.size(); ++i) boxes[i]->setChecked(i == 1);
            dialog->markerSelection()->sampleBox()->setChecked(false);
            for (const char* button : {"folderButton", "capture"}) dialog->findChild<QPushButton*>(button)->click();
            return dialog->result();
        });
        emit widget->settingsPanel()->screenshotButtonPressed();
        EXPECT_EQ(entriesIn(folder).size(), 1);
        EXPECT_EQ(widget->pointRenderer()->meanShiftClustersName(), clusters);
        EXPECT_EQ(widget->pointRenderer()->numSelectedClusters(), picked);
        EXPECT_EQ(selection(), selected);
        EXPECT_EQ(frame(), before);
    }
}

TEST_F(ScreenshotTest, PanelSwitchRecordsKeepAddsClearStartsAnewAndTheDialogSavesTheVideo) {
    emit widget->settingsPanel()->parentSetRecording(true);
    frame();
    frame();
    emit widget->settingsPanel()->parentSetRecording(false);
    const size_t first = recorded().size();
    EXPECT_GE(first, 2u);
    // Restarting asks: "Keep" and no answer keep the frames, "Clear" drops them.
    UI_ModalDialogs::answerQuestion(false);
    record(1);
    const size_t kept = recorded().size();
    EXPECT_GT(kept, first);
    record(0);
    EXPECT_EQ(recorded().size(), kept);
    UI_ModalDialogs::answerQuestion(true);
    record(1);
    EXPECT_LT(recorded().size(), kept);
    EXPECT_EQ(UI_ModalDialogs::takeMessages().size(), 3u);
    widget->setRecording(false);
    EXPECT_TRUE(UI_ModalDialogs::takeMessages().empty());

    // The dialog stays open after a video; the recording stays for another. A
    // cancelled question emits nothing.
    const size_t count = recorded().size();
    const QString file = QDir(out.path()).filePath("clip.mp4");
    UI_ModalDialogs::answerSaveFile(file);
    QList<QList<QVariant>> saved;
    UI_ModalDialogs::answerDialog([&saved](QDialog* d) {
        QSignalSpy spy(qobject_cast<UI_ScreenshotDialog*>(d), &UI_ScreenshotDialog::saveVideo);
        d->findChild<QSpinBox*>("bitrate")->setValue(4500);
        d->findChild<QSpinBox*>("fps")->setValue(12);
        for (const char* button : {"saveVideo", "saveVideo", "cancelVideo"})
            d->findChild<QPushButton*>(button)->click();
        saved = spy;
        return d->result();
    });
    widget->takeScreenshotSeries();
    EXPECT_EQ(saved, (QList<QList<QVariant>>{{file, 4500, 12}}));
    EXPECT_EQ(UI_ModalDialogs::lastDirectory(), out.path());
    EXPECT_GT(QFileInfo(file).size(), 0);
    EXPECT_EQ(status(), "Video saved to " + file);
    EXPECT_TRUE(UI_ModalDialogs::takeMessages().empty());
    EXPECT_EQ(entriesIn(out.path()), QStringList{"clip.mp4"});
    EXPECT_EQ(recorded().size(), count);
}

// "Save Video ..." before anything was recorded, and after a recording that
// was cleared: a box says there is nothing to save, no file is asked for and
// none is written; once frames are there the same button asks for the file.
TEST_F(ScreenshotTest, SaveVideoWithNothingRecordedSaysSoAndAsksForNoFile) {
    const QString file = QDir(out.path()).filePath("clip.mp4");
    auto pressSaveVideo = [&] {
        UI_ModalDialogs::answerSaveFile(file);
        int emitted = -1;
        UI_ModalDialogs::answerDialog([&](QDialog* d) {
            QSignalSpy saved(qobject_cast<UI_ScreenshotDialog*>(d), &UI_ScreenshotDialog::saveVideo);
            d->findChild<QPushButton*>("saveVideo")->click();
            emitted = saved.count();
            d->findChild<QPushButton*>("cancelVideo")->click();
            return d->result();
        });
        widget->takeScreenshotSeries();
        return emitted;
    };
    // {frames recorded before, then cleared}
    for (const auto& [frames, cleared] : {std::pair(0, false), std::pair(2, true)}) {
        SCOPED_TRACE(frames);
        record(frames);
        if (cleared) {
            UI_ModalDialogs::answerQuestion(true);  // "Clear"
            widget->setRecording(true);
            widget->setRecording(false);
            UI_ModalDialogs::takeMessages();
        }
        ASSERT_TRUE(recorded().empty());
        EXPECT_EQ(pressSaveVideo(), 0);
        const std::vector<UI_ModalDialogs::Message> boxes = UI_ModalDialogs::takeMessages();
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].title, "Video Export");
        EXPECT_TRUE(boxes[0].text.startsWith("Nothing has been recorded")) << boxes[0].text.toStdString();
        EXPECT_EQ(UI_ModalDialogs::unanswered(), 0);
        EXPECT_FALSE(QFileInfo::exists(file));
        EXPECT_EQ(status(), "");
        UI_ModalDialogs::reset();
        UI_ModalDialogs::setScripted(true);
    }
    record(2);
    EXPECT_EQ(pressSaveVideo(), 1);
    EXPECT_TRUE(UI_ModalDialogs::takeMessages().empty());
    EXPECT_GT(QFileInfo(file).size(), 0);
}

TEST_F(ScreenshotTest, VideoNeedsFramesAFailedWriteWarnsAndFramesReachTheFileUpright) {
    const QString file = QDir(out.path()).filePath("upright.mp4");
    widget->saveVideo(file, 20000, 25);
    EXPECT_FALSE(QFileInfo::exists(file));
    EXPECT_EQ(UI_ModalDialogs::takeMessages().size(), 1u) << "nothing recorded, and the box says so";
    widget->pointSizeChanged(0.05f);
    widget->pointOpacityChanged(1.0f);
    widget->setMarker(0);
    record(1);
    ASSERT_FALSE(recorded().empty());
    // A target that cannot be written: the box names the file and the reason.
    QFile(QDir(out.path()).filePath("plain")).open(QIODevice::WriteOnly);
    const struct {
        QString target;
        QString reason;
    } unwritable[] = {
        {QDir(out.path()).filePath("missing/folder/clip.mp4"), "does not exist"},
        {QDir(out.path()).filePath("plain/clip.mp4"), "is a regular file, not a folder"},
    };
    for (const auto& u : unwritable) {
        widget->saveVideo(u.target, 1000, 25);
        const std::vector<UI_ModalDialogs::Message> messages = UI_ModalDialogs::takeMessages();
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_TRUE(messages[0].text.startsWith("The video could not be written to " + u.target + ": "))
            << messages[0].text.toStdString();
        EXPECT_TRUE(messages[0].text.contains(u.reason)) << messages[0].text.toStdString();
    }

    const std::vector<unsigned char> raw = recorded()[0];
    const QImage bottomUp =
        QImage(raw.data(), videoW, videoH, videoW * 3, QImage::Format_RGB888).convertToFormat(QImage::Format_RGB32);
    widget->saveVideo(file, 20000, 25);
    ASSERT_TRUE(UI_ModalDialogs::takeMessages().empty());
    const QImage decoded = firstVideoLuma(file);
    ASSERT_EQ(decoded.size(), QSize(videoW, videoH));
    // Lossy, but far closer to the upright frame than to the one as recorded.
    const double toUpright = lumaDistance(decoded, bottomUp.mirrored(false, true));
    EXPECT_LT(toUpright, 4.0);
    EXPECT_GT(lumaDistance(decoded, bottomUp), 2.0 * toUpright);
}

// The export dialog has no main window around it: what its marker list's
// "Set Default" and "Load Selection" did, or why not, shows on the list's own
// status line in the open dialog (a refused selection in its box as well).
// The line's room is there from the start: a message moves no control of the
// dialog, lies in the list's layout, whole, over no check box or button; one
// too long for the room is shortened in its middle, whole in the tool tip.
TEST_F(ScreenshotTest, TheDialogsMarkerListSaysInTheDialogWhatItsButtonsDid) {
    const QString defaults = dir.filePath("QLMRN_DefaultMarkers.txt");
    const QString notWritten = "Could not write the default marker states to " + defaults + ": ";
    const QString selection = out.filePath("selection.txt");
    FcsTestFile::writeBytes(selection.toStdString(), "0 1 1 0 1 ");
    const QString wrong = out.filePath("wrong.txt");
    FcsTestFile::writeBytes(wrong.toStdString(), "1 ");
    const QString deep = deepSelectionFile(QDir(out.path()), "0 1 1 0 1 ");
    const auto setDefault = [this](std::optional<WriteFailure> how) { return pressSetDefault(dir.path(), how); };
    const auto load = pressLoadSelection;
    const struct {
        const char* name;
        std::function<void(UI_MarkerSelectionWidget*)> press;
        QString shown;   // the message's start
        QString reason;  // in the message
        size_t boxes;
        const char* written;
        bool shortened;  // the line shows the message shortened
    } cases[] = {
        {"Set Default", setDefault(std::nullopt),
         "Saved the default marker states to " + defaults +
             ". They are applied when files are opened from this folder.",
         "", 0, "1 1 1 1 1 ", false},
        {"Set Default into a read-only folder", setDefault(WriteFailure::ReadOnlyFolder), notWritten,
         "Permission denied", 0, "<missing>", false},
        {"Set Default onto a full disk", setDefault(WriteFailure::FileSizeLimit), notWritten, "File too large", 0,
         "<missing>", false},
        {"Set Default onto a folder", setDefault(WriteFailure::FolderInTheWay), notWritten, "a folder", 0, "<missing>",
         false},
        {"Load Selection", load(selection),
         "Loaded the marker selection from " + selection + ". New analyses start with it.", "", 0, "<missing>", false},
        {"Load Selection of a file for other data", load(wrong),
         wrong + " holds 1 flag for 5 markers. The marker selection is unchanged.", "", 1, "<missing>", false},
        {"Load Selection from a deep folder", load(deep),
         "Loaded the marker selection from " + deep + ". New analyses start with it.", "", 0, "<missing>", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(defaults);
        MCV_Settings::Instance()->setDefaultMarkers({});
        QString shown, whole;
        bool hiddenBefore = false, inView = false;
        std::string fault = "not pressed";
        std::vector<QRect> before, after;
        UI_ModalDialogs::answerDialog([&](QDialog* d) {
            d->show();
            EXPECT_TRUE(QTest::qWaitForWindowExposed(d));
            UI_MarkerSelectionWidget* list = qobject_cast<UI_ScreenshotDialog*>(d)->markerSelection();
            auto* line = d->findChild<QLabel*>("markerStatus");
            EXPECT_EQ(line, list->statusLine());
            // The list's controls and those of the dialog below it.
            auto controls = [&] {
                std::vector<QWidget*> all = markerListControls(list);
                for (const char* name : {"rangeSlider", "overrideRanges", "backgroundColorButton", "folder",
                                         "folderButton", "cancelImages", "capture"})
                    all.push_back(d->findChild<QWidget*>(name));
                return all;
            };
            before = placesIn(d, controls());
            hiddenBefore = line && line->isHidden();
            c.press(list);
            QCoreApplication::processEvents();  // the dialog lays the line out
            after = placesIn(d, controls());
            shown = line ? line->text() : QString();
            whole = line ? line->toolTip() : QString();
            inView = line && line->isVisible() && QRect(line->mapTo(d, QPoint()), line->size()).intersects(d->rect()) &&
                     line->visibleRegion() == QRegion(line->rect());
            fault = markerLineFault(list);
            d->reject();
            return int(QDialog::Rejected);
        });
        emit widget->settingsPanel()->screenshotButtonPressed();
        EXPECT_TRUE(hiddenBefore) << "hidden while empty";
        EXPECT_TRUE(inView) << "shown whole in the dialog";
        EXPECT_EQ(fault, "");
        EXPECT_EQ(after, before) << "the message moved a control";
        EXPECT_TRUE(whole.startsWith(c.shown)) << whole.toStdString();
        EXPECT_TRUE(whole.contains(c.reason)) << whole.toStdString();
        EXPECT_TRUE(shown.startsWith(c.shown.left(20))) << shown.toStdString();
        EXPECT_EQ(shown.contains(QChar(0x2026)), c.shortened) << shown.toStdString();
        if (!c.shortened) {
            EXPECT_EQ(shown, whole);
        }
        EXPECT_EQ(UI_ModalDialogs::takeMessages().size(), c.boxes);
        QFile written(defaults);
        EXPECT_EQ(written.open(QIODevice::ReadOnly) ? written.readAll().toStdString() : "<missing>", c.written);
    }
    QFile::remove(defaults);
    MCV_Settings::Instance()->setDefaultMarkers({});
}

}  // namespace
