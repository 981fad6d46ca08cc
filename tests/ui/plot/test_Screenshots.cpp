// Screenshots, screenshot series and video recording of the scatter-plot
// widget on a real A-tSNE analysis: Control+P prints into the export folder
// (the home folder without one) under a safe, unique, time-stamped name, the
// print is upright and coloured as on screen, a series writes one image per
// checked marker with the chosen range and background and restores the
// plot, and recorded frames reach the video file upright.
#include "ScatterplotTest.h"
#include "support/Pixels.h"

#include "ui/base/UI_ModalDialogs.h"
#include "ui/base/UI_Settings.h"
#include "ui/base/freeFilePath.h"
#include "ui/base/safeFileName.h"
#include "ui/datapanels/UI_MarkerSelectionWidget.h"
#include "ui/datapanels/UI_SampleSelectionWidget.h"
#include "ui/plot/UI_ScreenshotDialog.h"
#include "ui/plot/UI_TsneSettingsSliderWidget.h"
#include "ui/web/UI_DualSliderWidget.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

#include <QCheckBox>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPushButton>
#include <QRegularExpression>
#include <QSet>

namespace {

using namespace viewtest;

constexpr int kPrint = 4096;
const QRgb kWhite = qRgb(255, 255, 255);

QStringList pngsIn(const QString& folder) { return QDir(folder).entryList({"*.png"}, QDir::Files, QDir::Name); }

// The time stamp of a screenshot file name "<name>_<stamp>.png", or empty.
QString stampOf(const QString& file) {
    return QRegularExpression("_(\\d\\d(_\\d\\d){5}_\\d\\d\\d)\\.png$").match(file).captured(1);
}

// Centroid of the pixels that differ from `background`, in [0, 1]^2, y from the top.
QPointF centroidOf(const QImage& image, QRgb background) {
    double sx = 0, sy = 0, n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (!rgbNear(image.pixel(x, y), background, 0)) {
                sx += x + 0.5;
                sy += y + 0.5;
                ++n;
            }
    return n > 0 ? QPointF(sx / n / image.width(), sy / n / image.height()) : QPointF(-1, -1);
}

// The first picture of a video file as RGB rows, top row first, or a null image.
QImage firstVideoFrame(const QString& path) {
    QImage out;
    AVFormatContext* format = nullptr;
    if (avformat_open_input(&format, path.toUtf8().constData(), nullptr, nullptr) < 0) return out;
    const int stream = avformat_find_stream_info(format, nullptr) >= 0
                           ? av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0)
                           : -1;
    const AVCodec* codec = stream >= 0 ? avcodec_find_decoder(format->streams[stream]->codecpar->codec_id) : nullptr;
    AVCodecContext* decoder = codec ? avcodec_alloc_context3(codec) : nullptr;
    if (decoder && avcodec_parameters_to_context(decoder, format->streams[stream]->codecpar) >= 0 &&
        avcodec_open2(decoder, codec, nullptr) >= 0) {
        AVPacket* packet = av_packet_alloc();
        AVFrame* frame = av_frame_alloc();
        bool got = false;
        while (!got && av_read_frame(format, packet) >= 0) {
            if (packet->stream_index == stream && avcodec_send_packet(decoder, packet) >= 0)
                got = avcodec_receive_frame(decoder, frame) == 0;
            av_packet_unref(packet);
        }
        if (!got && avcodec_send_packet(decoder, nullptr) >= 0) got = avcodec_receive_frame(decoder, frame) == 0;
        if (got) {
            out = QImage(frame->width, frame->height, QImage::Format_RGB888);
            SwsContext* rgb =
                sws_getContext(frame->width, frame->height, static_cast<AVPixelFormat>(frame->format), frame->width,
                               frame->height, AV_PIX_FMT_RGB24, SWS_BILINEAR, nullptr, nullptr, nullptr);
            uint8_t* planes[1] = {out.bits()};
            int strides[1] = {static_cast<int>(out.bytesPerLine())};
            sws_scale(rgb, frame->data, frame->linesize, 0, frame->height, planes, strides);
            sws_freeContext(rgb);
        }
        av_frame_free(&frame);
        av_packet_free(&packet);
    }
    avcodec_free_context(&decoder);
    avformat_close_input(&format);
    return out;
}

// Mean absolute channel difference of two images of the same size.
double meanDifference(const QImage& a, const QImage& b) {
    double sum = 0;
    for (int r = 0; r < a.height(); ++r)
        for (int c = 0; c < a.width(); ++c) {
            const QRgb p = a.pixel(c, r), q = b.pixel(c, r);
            sum += std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) + std::abs(qBlue(p) - qBlue(q));
        }
    return sum / (3.0 * a.width() * a.height());
}

class ScreenshotTest : public ScatterplotTest {
protected:
    void SetUp() override {
        ScatterplotTest::SetUp();
        if (HasFatalFailure()) return;
        ASSERT_TRUE(out.isValid());
        UI_ModalDialogs::reset();
        UI_ModalDialogs::setScripted(true);
        UI_Settings::Instance()->setValue("exportDefaultFilePath", out.path());
        UI_Settings::Instance()->sync();
        names = *MCV_CytometryData::Instance()->combinedHeader()->markerList(0);
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
        return QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot, QDir::Name);
    }

    QTemporaryDir out;
    std::vector<std::string> names;
    int videoW = 0, videoH = 0;
};

TEST(SafeFileName, ReplacesSeparatorsForbiddenAndControlCharactersAndNamesThatAreNoFileName) {
    const std::pair<QString, QString> cases[] = {
        {"CD3/CD4", "CD3_CD4"},
        {"a\\b:c*d?e\"f<g>h|i", "a_b_c_d_e_f_g_h_i"},
        {QString("tab\there\nnew") + QChar(0x7f), "tab_here_new_"},
        // Everything else is kept, including spaces, dots and letters beyond ASCII.
        {QString::fromUtf8("CD45 RA.ß–1"), QString::fromUtf8("CD45 RA.ß–1")},
        {"", "_"},
        {".", "_"},
        {"..", "_"},
        {"../x", ".._x"},
    };
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

struct ControlPCase {
    const char* name;
    bool exportFolder;   // else the home folder
    const char* marker;  // the name given to marker 1, null for no names
    int shown;           // the marker shown
    const char* prefix;
};

class ControlPFolder : public ScreenshotTest, public ::testing::WithParamInterface<ControlPCase> {};

TEST_P(ControlPFolder, PrintsOneTimeStampedFileUnderASafeNameIntoTheRightFolderOnly) {
    const ControlPCase& c = GetParam();
    if (c.marker) {
        names[1] = c.marker;
        widget->setMarkers(names);
    }
    widget->setMarker(c.shown);
    QTemporaryDir home;
    const QByteArray savedHome = qgetenv("HOME");
    qputenv("HOME", home.path().toUtf8());
    if (!c.exportFolder) UI_Settings::Instance()->remove("exportDefaultFilePath");
    const QStringList rootBefore = pngsIn("/");
    const QString before = QDateTime::currentDateTime().toString("yy_MM_dd_HH_mm_ss_zzz");
    QTest::keyClick(widget.get(), Qt::Key_P, Qt::ControlModifier);
    const QString after = QDateTime::currentDateTime().toString("yy_MM_dd_HH_mm_ss_zzz");
    qputenv("HOME", savedHome);

    const QString folder = c.exportFolder ? out.path() : home.path();
    const QStringList written = entriesIn(folder);
    ASSERT_EQ(written.size(), 1) << written.join(" ").toStdString();
    EXPECT_TRUE(written[0].startsWith(c.prefix)) << written[0].toStdString();
    const QString stamp = stampOf(written[0]);
    EXPECT_FALSE(stamp.isEmpty()) << written[0].toStdString();
    EXPECT_LE(before, stamp);
    EXPECT_GE(after, stamp);
    EXPECT_TRUE(QFileInfo(QDir(folder).filePath(written[0])).isFile());
    EXPECT_TRUE(entriesIn(c.exportFolder ? home.path() : out.path()).isEmpty());
    EXPECT_EQ(pngsIn("/"), rootBefore);
}

INSTANTIATE_TEST_SUITE_P(
    Screenshots, ControlPFolder,
    ::testing::Values(ControlPCase{"SampleColoursIntoTheExportFolder", true, "M2", -1, "sampleTag_"},
                      ControlPCase{"WithoutNamesOrExportFolderIntoHome", false, nullptr, 0, "screenshot_"},
                      ControlPCase{"SeparatorsInTheNameStayInTheFolder", true, "CD3/CD4:x", 1, "CD3_CD4_x_"}),
    [](const testing::TestParamInfo<ControlPCase>& p) { return std::string(p.param.name); });

TEST_F(ScreenshotTest, PrintIsUprightInSampleColoursWhereTheScreenShowsThePointsAndIsLogged) {
    widget->setMarkers(names);
    widget->pointOpacityChanged(1.0f);
    widget->setMarker(-1);
    const QImage screen = frame();
    static QStringList logged;
    logged.clear();
    QtMessageHandler previous =
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString& text) { logged.append(text); });
    QTest::keyClick(widget.get(), Qt::Key_P, Qt::ControlModifier);
    qInstallMessageHandler(previous);
    const QStringList files = pngsIn(out.path());
    ASSERT_EQ(files.size(), 1);
    const QString path = QDir(out.path()).filePath(files[0]);
    EXPECT_EQ(logged.filter("Screenshot Saved to").filter(path).size(), 1) << logged.join("|").toStdString();

    const QImage image = QImage(path).convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(image.size(), QSize(kPrint, kPrint));
    for (QPoint corner : {QPoint(0, 0), QPoint(kPrint - 1, kPrint - 1)})
        EXPECT_TRUE(rgbNear(image.pixel(corner), kWhite, 0));
    // Every point is where the plot shows it (y upwards in the plot, top row
    // first in the file) in its sample's colour, and the image is not
    // symmetric enough for a flipped one to pass.
    const std::vector<unsigned char> bytes = *widget->samplePanel()->sampleColors();
    ASSERT_GE(bytes.size(), 6u);
    const QRgb sample[2] = {qRgb(bytes[0], bytes[1], bytes[2]), qRgb(bytes[3], bytes[4], bytes[5])};
    ASSERT_FALSE(rgbNear(sample[0], sample[1], 2));
    int inSample[2] = {0, 0}, mirroredEmpty = 0;
    for (int p = 0; p < kPoints; ++p) {
        const QRgb at = image.pixel(inImage(p, kPrint));
        for (int s : {0, 1}) inSample[s] += rgbNear(at, sample[s], 2);
        mirroredEmpty += rgbNear(image.pixel(inImage(p, kPrint, true)), kWhite, 0);
    }
    EXPECT_EQ(inSample[0] + inSample[1], kPoints);
    EXPECT_GT(inSample[0], kPoints / 4);
    EXPECT_GT(inSample[1], kPoints / 4);
    EXPECT_GT(mirroredEmpty, 0);
    const QPointF onScreen = centroidOf(screen, qRgb(252, 252, 252));
    const QPointF printed = centroidOf(image.scaled(kSize, kSize, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                                           .convertToFormat(QImage::Format_RGB32),
                                       kWhite);
    EXPECT_NEAR(onScreen.x(), printed.x(), 0.02);
    EXPECT_NEAR(onScreen.y(), printed.y(), 0.02);
}

TEST_F(ScreenshotTest, FailedWriteWarnsAndReportsNothing) {
    static QStringList warnings;
    warnings.clear();
    QtMessageHandler previous =
        qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& text) {
            if (type == QtWarningMsg) warnings.append(text);
        });
    const QString missing = QDir(out.path()).filePath("no/such/folder");
    const QString path = widget->saveScreenshot(missing, true);
    qInstallMessageHandler(previous);
    EXPECT_TRUE(path.isEmpty());
    EXPECT_EQ(warnings.filter(missing).size(), 1) << warnings.join("|").toStdString();
    EXPECT_TRUE(UI_ModalDialogs::takeMessages().empty());
}

TEST_F(ScreenshotTest, SeriesWritesSampleAndCheckedMarkersAndRestoresThePlot) {
    widget->setMarkers(names);
    widget->pointOpacityChanged(1.0f);
    widget->setMarker(2);
    const QImage before = frame();
    const QString folder = QDir(out.path()).filePath("series");
    ASSERT_TRUE(QDir().mkpath(folder));
    UI_ModalDialogs::answerDirectory(folder);
    UI_ModalDialogs::answerColor(QColor(10, 200, 30));
    UI_ModalDialogs::answerDialog([](QDialog* d) {
        auto* dialog = qobject_cast<UI_ScreenshotDialog*>(d);
        const std::vector<QCheckBox*>& boxes = dialog->markerSelection()->checkBoxes();
        for (size_t i = 0; i < boxes.size(); ++i) boxes[i]->setChecked(i == 1 || i == 3);
        dialog->markerSelection()->sampleBox()->setChecked(true);
        dialog->findChild<QCheckBox*>("overrideRanges")->click();
        dialog->rangeSlider()->setValues(15.0f, 20.0f);
        for (const char* button : {"folderButton", "backgroundColorButton", "capture"})
            dialog->findChild<QPushButton*>(button)->click();
        return dialog->result();
    });
    emit widget->settingsPanel()->screenshotButtonPressed();
    EXPECT_EQ(UI_ModalDialogs::unanswered(), 0);

    // The Sample image first, then the markers in order.
    const QStringList files = pngsIn(folder);
    ASSERT_EQ(files.size(), 3) << files.join(" ").toStdString();
    EXPECT_TRUE(files[0].startsWith("M2_") && files[1].startsWith("M4_") && files[2].startsWith("sampleTag_"));
    EXPECT_LE(stampOf(files[2]), stampOf(files[0]));
    EXPECT_LE(stampOf(files[0]), stampOf(files[1]));
    EXPECT_TRUE(pngsIn(out.path()).isEmpty());
    for (const QString& file : files) {
        const QImage image = QImage(QDir(folder).filePath(file)).convertToFormat(QImage::Format_RGB32);
        ASSERT_EQ(image.size(), QSize(kPrint, kPrint));
        EXPECT_TRUE(rgbNear(image.pixel(0, 0), qRgb(10, 200, 30), 0)) << file.toStdString();
        if (!file.startsWith("M2_")) continue;
        // The range 15..20 puts every value at one end of the colormap: the
        // points of the blob high in M2 at the top, all others at the bottom.
        QSet<QRgb> colours;
        for (int p = 0; p < kPoints; ++p) colours.insert(image.pixel(inImage(p, kPrint)) & 0xffffff);
        EXPECT_EQ(colours.size(), 2);
    }
    EXPECT_EQ(widget->currentMarker(), 2);
    EXPECT_EQ(frame(), before);
}

TEST_F(ScreenshotTest, SeriesWithNothingCheckedOrCancelledWritesNothing) {
    widget->setMarkers(names);
    widget->setMarker(1);
    const QImage before = frame();
    UI_ModalDialogs::answerDialog([](QDialog* d) {
        auto* dialog = qobject_cast<UI_ScreenshotDialog*>(d);
        for (QCheckBox* box : dialog->markerSelection()->checkBoxes()) box->setChecked(false);
        dialog->markerSelection()->sampleBox()->setChecked(false);
        dialog->findChild<QPushButton*>("capture")->click();
        return dialog->result();
    });
    widget->takeScreenshotSeries();
    UI_ModalDialogs::answerDialog([](QDialog* d) {
        d->findChild<QPushButton*>("cancelImages")->click();
        return d->result();
    });
    widget->takeScreenshotSeries();
    EXPECT_EQ(UI_ModalDialogs::unanswered(), 0);
    EXPECT_TRUE(entriesIn(out.path()).isEmpty());
    EXPECT_EQ(widget->currentMarker(), 1);
    EXPECT_EQ(frame(), before);
}

TEST_F(ScreenshotTest, RecordingCollectsFramesThatTheDialogSavesAsVideo) {
    ASSERT_TRUE(recorded().empty());
    // The slider panel's record switch reaches the widget.
    emit widget->settingsPanel()->parentSetRecording(true);
    EXPECT_TRUE(widget->isRecording());
    frame();
    frame();
    emit widget->settingsPanel()->parentSetRecording(false);
    EXPECT_FALSE(widget->isRecording());
    const size_t count = recorded().size();
    EXPECT_GE(count, 2u);
    frame();
    EXPECT_EQ(recorded().size(), count);
    ASSERT_EQ(recorded()[0].size(), static_cast<size_t>(videoW) * static_cast<size_t>(videoH) * 3);
    // A video may be saved from the export dialog, which stays open; the
    // recording stays for another video.
    const QString file = QDir(out.path()).filePath("clip.mp4");
    UI_ModalDialogs::answerSaveFile(file);
    UI_ModalDialogs::answerDialog([](QDialog* d) {
        d->findChild<QPushButton*>("saveVideo")->click();
        d->findChild<QPushButton*>("cancelVideo")->click();
        return d->result();
    });
    widget->takeScreenshotSeries();
    EXPECT_GT(QFileInfo(file).size(), 0);
    EXPECT_TRUE(UI_ModalDialogs::takeMessages().empty());
    EXPECT_TRUE(pngsIn(out.path()).isEmpty());
    EXPECT_EQ(recorded().size(), count);
}

TEST_F(ScreenshotTest, KeepAddsToTheRecordingAndClearStartsAnew) {
    record(2);
    const size_t first = recorded().size();
    ASSERT_GE(first, 2u);
    UI_ModalDialogs::answerQuestion(false);  // "Keep"
    widget->setRecording(true);
    const std::vector<UI_ModalDialogs::Message> asked = UI_ModalDialogs::takeMessages();
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].icon, QMessageBox::Question);
    EXPECT_EQ(recorded().size(), first);
    frame();
    widget->setRecording(false);
    const size_t kept = recorded().size();
    EXPECT_GT(kept, first);
    // Closing the question without an answer keeps the frames too.
    widget->setRecording(true);
    EXPECT_EQ(recorded().size(), kept);
    widget->setRecording(false);
    EXPECT_EQ(UI_ModalDialogs::unanswered(), 1);

    UI_ModalDialogs::answerQuestion(true);  // "Clear"
    widget->setRecording(true);
    EXPECT_TRUE(recorded().empty());
    frame();
    widget->setRecording(false);
    EXPECT_GE(recorded().size(), 1u);
    EXPECT_LT(recorded().size(), kept);
    // Turning recording off never asks.
    UI_ModalDialogs::takeMessages();
    widget->setRecording(false);
    EXPECT_TRUE(UI_ModalDialogs::takeMessages().empty());
}

TEST_F(ScreenshotTest, SaveVideoWithoutFramesWritesNothingAndAFailedWriteWarns) {
    const QString file = QDir(out.path()).filePath("empty.mp4");
    widget->saveVideo(file, 1000, 25);
    EXPECT_FALSE(QFileInfo::exists(file));
    EXPECT_TRUE(UI_ModalDialogs::takeMessages().empty());
    record(1);
    const QString unwritable = QDir(out.path()).filePath("missing/folder/clip.mp4");
    widget->saveVideo(unwritable, 1000, 25);
    const std::vector<UI_ModalDialogs::Message> messages = UI_ModalDialogs::takeMessages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].icon, QMessageBox::Warning);
    EXPECT_TRUE(messages[0].text.contains(unwritable)) << messages[0].text.toStdString();
    EXPECT_FALSE(QFileInfo::exists(unwritable));
    EXPECT_FALSE(recorded().empty());
}

TEST_F(ScreenshotTest, VideoFramesReachTheFileUpright) {
    widget->pointSizeChanged(0.05f);
    widget->pointOpacityChanged(1.0f);
    widget->setMarkers(names);
    widget->setMarker(0);
    record(1);
    ASSERT_FALSE(recorded().empty());
    const std::vector<unsigned char> raw = recorded()[0];
    const QImage bottomUp =
        QImage(raw.data(), videoW, videoH, videoW * 3, QImage::Format_RGB888).convertToFormat(QImage::Format_RGB32);
    const QString file = QDir(out.path()).filePath("upright.mp4");
    widget->saveVideo(file, 20000, 25);
    ASSERT_TRUE(UI_ModalDialogs::takeMessages().empty());
    const QImage decoded = firstVideoFrame(file).convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(decoded.size(), QSize(videoW, videoH));
    // Lossy, but far closer to the upright frame than to the one as recorded.
    const double toUpright = meanDifference(decoded, bottomUp.mirrored(false, true));
    EXPECT_LT(toUpright, 4.0);
    EXPECT_GT(meanDifference(decoded, bottomUp), 2.0 * toUpright);
}

}  // namespace
