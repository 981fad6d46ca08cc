// Screenshots, screenshot series and video recording of the scatter-plot
// widget on a real A-tSNE analysis: Control+P prints into the export folder
// (the home folder without one) under a safe, unique, time-stamped name, the
// print is upright and coloured as on screen, a series writes one image per
// checked marker with the chosen range and background and restores the
// plot, and recorded frames reach the video file upright.
#include "ScatterplotTest.h"

#include "ui/web/UI_DualSliderWidget.h"
#include "ui/datapanels/UI_MarkerSelectionWidget.h"
#include "ui/base/UI_ModalDialogs.h"
#include "ui/datapanels/UI_SampleSelectionWidget.h"
#include "ui/plot/UI_ScreenshotDialog.h"
#include "ui/base/UI_Settings.h"
#include "ui/plot/UI_TsneSettingsSliderWidget.h"
#include "ui/base/freeFilePath.h"
#include "ui/base/safeFileName.h"

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

#include <cstdlib>

namespace {

using namespace viewtest;

constexpr int kPrint = 4096;
const char* kStampFormat = "yy_MM_dd_HH_mm_ss_zzz";

QStringList pngsIn(const QString& folder) { return QDir(folder).entryList({"*.png"}, QDir::Files, QDir::Name); }

// The time stamp of a screenshot file name "<name>_<stamp>.png".
QString stampOf(const QString& file) {
    const QRegularExpression re("_(\\d\\d_\\d\\d_\\d\\d_\\d\\d_\\d\\d_\\d\\d_\\d\\d\\d)\\.png$");
    return re.match(file).captured(1);
}

bool near(QRgb a, QRgb b, int tolerance) {
    return std::abs(qRed(a) - qRed(b)) <= tolerance && std::abs(qGreen(a) - qGreen(b)) <= tolerance &&
           std::abs(qBlue(a) - qBlue(b)) <= tolerance;
}

// Centroid of the pixels that differ from `background`, in [0, 1]^2 of the
// image, y from the top.
QPointF centroidOf(const QImage& image, QRgb background) {
    double sx = 0, sy = 0, n = 0;
    for (int y = 0; y < image.height(); ++y) {
        const QRgb* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x)
            if ((line[x] & 0xffffff) != (background & 0xffffff)) {
                sx += x + 0.5;
                sy += y + 0.5;
                ++n;
            }
    }
    return n > 0 ? QPointF(sx / n / image.width(), sy / n / image.height()) : QPointF(-1, -1);
}

// The first picture of a video file as RGB rows, top row first.
QImage firstVideoFrame(const QString& path) {
    QImage out;
    AVFormatContext* format = nullptr;
    if (avformat_open_input(&format, path.toUtf8().constData(), nullptr, nullptr) < 0) return out;
    if (avformat_find_stream_info(format, nullptr) >= 0) {
        const int stream = av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
        if (stream >= 0) {
            const AVCodecParameters* parameters = format->streams[stream]->codecpar;
            const AVCodec* codec = avcodec_find_decoder(parameters->codec_id);
            AVCodecContext* decoder = codec ? avcodec_alloc_context3(codec) : nullptr;
            if (decoder && avcodec_parameters_to_context(decoder, parameters) >= 0 &&
                avcodec_open2(decoder, codec, nullptr) >= 0) {
                AVPacket* packet = av_packet_alloc();
                AVFrame* frame = av_frame_alloc();
                bool got = false;
                auto receive = [&]() {
                    if (!got && avcodec_receive_frame(decoder, frame) == 0) got = true;
                };
                while (!got && av_read_frame(format, packet) >= 0) {
                    if (packet->stream_index == stream && avcodec_send_packet(decoder, packet) >= 0) receive();
                    av_packet_unref(packet);
                }
                if (!got && avcodec_send_packet(decoder, nullptr) >= 0) receive();
                if (got) {
                    out = QImage(frame->width, frame->height, QImage::Format_RGB888);
                    SwsContext* rgb = sws_getContext(
                        frame->width, frame->height, static_cast<AVPixelFormat>(frame->format), frame->width,
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
        }
    }
    avformat_close_input(&format);
    return out;
}

// Mean absolute difference of two RGB images of the same size.
double meanDifference(const QImage& a, const QImage& b) {
    const QImage x = a.convertToFormat(QImage::Format_RGB32);
    const QImage y = b.convertToFormat(QImage::Format_RGB32);
    double sum = 0;
    for (int r = 0; r < x.height(); ++r)
        for (int c = 0; c < x.width(); ++c) {
            const QRgb p = x.pixel(c, r), q = y.pixel(c, r);
            sum += std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) + std::abs(qBlue(p) - qBlue(q));
        }
    return sum / (3.0 * x.width() * x.height());
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

    // Position of point p in [0, 1]^2 of the plot square, y upwards.
    QPointF normalised(int p) const {
        const std::vector<float>& y = *tsne->output();
        const auto [lo, hi] = plotRange(y);
        auto at = [&, lo = lo, hi = hi](int axis) {
            return (y[static_cast<size_t>(2 * p + axis)] - lo) / (hi - lo) * 0.8 + 0.1;
        };
        return {at(0), at(1)};
    }
    // Pixel of point p in a square image of side `side`, y from the top.
    QPoint inImage(int p, int side, bool mirrored = false) const {
        const QPointF n = normalised(p);
        const double y = mirrored ? n.y() : 1.0 - n.y();
        return {static_cast<int>(n.x() * side), static_cast<int>(y * side)};
    }
    std::vector<std::vector<unsigned char>>& recorded() {
        int w = 0, h = 0;
        return *widget->pointRenderer()->video(w, h);
    }
    void record(int frames) {
        widget->setRecording(true);
        for (int i = 0; i < frames; ++i) frame();
        widget->setRecording(false);
    }

    QTemporaryDir out;
    std::vector<std::string> names;
};

TEST(SafeFileName, ReplacesSeparatorsForbiddenAndControlCharacters) {
    EXPECT_EQ(safeFileName("CD3/CD4"), "CD3_CD4");
    EXPECT_EQ(safeFileName("a\\b:c*d?e\"f<g>h|i"), "a_b_c_d_e_f_g_h_i");
    EXPECT_EQ(safeFileName(QString("tab\there\nnew") + QChar(0x7f)), "tab_here_new_");
    // Everything else is kept, including spaces, dots and letters beyond ASCII.
    EXPECT_EQ(safeFileName(QString::fromUtf8("CD45 RA.ß–1")), QString::fromUtf8("CD45 RA.ß–1"));
    // Names that are no file name at all.
    EXPECT_EQ(safeFileName(""), "_");
    EXPECT_EQ(safeFileName("."), "_");
    EXPECT_EQ(safeFileName(".."), "_");
    EXPECT_EQ(safeFileName("../x"), ".._x");
}

TEST_F(ScreenshotTest, ControlPPrintsAnUprightImageInSampleColoursIntoTheExportFolder) {
    widget->setMarkers(names);
    widget->pointOpacityChanged(1.0f);
    widget->setMarker(-1);
    const QImage screen = frame();

    static QStringList logged;
    logged.clear();
    QtMessageHandler previous =
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString& text) { logged.append(text); });
    const QString before = QDateTime::currentDateTime().toString(kStampFormat);
    QTest::keyClick(widget.get(), Qt::Key_P, Qt::ControlModifier);
    const QString after = QDateTime::currentDateTime().toString(kStampFormat);
    qInstallMessageHandler(previous);

    const QStringList files = pngsIn(out.path());
    ASSERT_EQ(files.size(), 1) << files.join(" ").toStdString();
    EXPECT_TRUE(QRegularExpression("^sampleTag_\\d\\d(_\\d\\d){5}_\\d\\d\\d\\.png$").match(files[0]).hasMatch())
        << files[0].toStdString();
    const QString stamp = stampOf(files[0]);
    EXPECT_LE(before, stamp);
    EXPECT_GE(after, stamp);
    const QString path = QDir(out.path()).filePath(files[0]);
    EXPECT_EQ(logged.filter("Screenshot Saved to").size(), 1) << logged.join("|").toStdString();
    EXPECT_EQ(logged.filter(path).size(), 1);

    const QImage image = QImage(path).convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(image.size(), QSize(kPrint, kPrint));
    const QRgb white = qRgb(255, 255, 255);
    for (QPoint corner : {QPoint(0, 0), QPoint(kPrint - 1, 0), QPoint(0, kPrint - 1), QPoint(kPrint - 1, kPrint - 1)})
        EXPECT_EQ(image.pixel(corner) & 0xffffff, white & 0xffffff);

    // Every point is where the plot shows it (y upwards in the plot, top row
    // first in the file), and the image is not symmetric enough for a flipped
    // one to pass.
    const std::vector<unsigned char> bytes = *widget->samplePanel()->sampleColors();
    ASSERT_GE(bytes.size(), 6u);
    const QRgb sample1 = qRgb(bytes[0], bytes[1], bytes[2]);
    const QRgb sample2 = qRgb(bytes[3], bytes[4], bytes[5]);
    ASSERT_FALSE(near(sample1, sample2, 2));
    int inSample1 = 0, inSample2 = 0, mirroredEmpty = 0;
    for (int p = 0; p < kPoints; ++p) {
        const QRgb at = image.pixel(inImage(p, kPrint));
        EXPECT_NE(at & 0xffffff, white & 0xffffff) << "point " << p;
        inSample1 += near(at, sample1, 2);
        inSample2 += near(at, sample2, 2);
        mirroredEmpty += (image.pixel(inImage(p, kPrint, true)) & 0xffffff) == (white & 0xffffff);
    }
    // Opaque points show their sample's colour; both samples are there.
    EXPECT_EQ(inSample1 + inSample2, kPoints);
    EXPECT_GT(inSample1, kPoints / 4);
    EXPECT_GT(inSample2, kPoints / 4);
    EXPECT_GT(mirroredEmpty, 0);

    // The point cloud sits where the screen shows it.
    const QPointF onScreen = centroidOf(screen, qRgb(252, 252, 252));
    const QPointF printed = centroidOf(image.scaled(kSize, kSize, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                                           .convertToFormat(QImage::Format_RGB32),
                                       white);
    EXPECT_NEAR(onScreen.x(), printed.x(), 0.02);
    EXPECT_NEAR(onScreen.y(), printed.y(), 0.02);
}

TEST_F(ScreenshotTest, ControlPWithoutExportFolderWritesToTheHomeFolder) {
    UI_Settings::Instance()->remove("exportDefaultFilePath");
    UI_Settings::Instance()->sync();
    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());
    const QByteArray savedHome = qgetenv("HOME");
    qputenv("HOME", home.path().toUtf8());
    const QStringList rootBefore = pngsIn("/");
    QTest::keyClick(widget.get(), Qt::Key_P, Qt::ControlModifier);
    const QStringList written = pngsIn(home.path());
    const QStringList rootAfter = pngsIn("/");
    if (savedHome.isNull())
        qunsetenv("HOME");
    else
        qputenv("HOME", savedHome);

    // Without marker names the image is a plain "screenshot".
    ASSERT_EQ(written.size(), 1);
    EXPECT_TRUE(written[0].startsWith("screenshot_")) << written[0].toStdString();
    EXPECT_EQ(rootAfter, rootBefore);
    EXPECT_TRUE(pngsIn(out.path()).isEmpty());
}

TEST_F(ScreenshotTest, MarkerNamesWithSeparatorsStayInTheChosenFolder) {
    std::vector<std::string> unsafe = names;
    unsafe[1] = "CD3/CD4:x";
    widget->setMarkers(unsafe);
    widget->setMarker(1);
    QTest::keyClick(widget.get(), Qt::Key_P, Qt::ControlModifier);
    const QStringList entries = QDir(out.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
    ASSERT_EQ(entries.size(), 1) << entries.join(" ").toStdString();
    EXPECT_TRUE(entries[0].startsWith("CD3_CD4_x_")) << entries[0].toStdString();
    EXPECT_TRUE(QFileInfo(QDir(out.path()).filePath(entries[0])).isFile());
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
    ASSERT_EQ(warnings.filter(missing).size(), 1) << warnings.join("|").toStdString();
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
    bool asked = false;
    UI_ModalDialogs::answerDialog([&asked](QDialog* d) {
        asked = true;
        auto* dialog = qobject_cast<UI_ScreenshotDialog*>(d);
        if (!dialog) return int(QDialog::Rejected);
        const std::vector<QCheckBox*>& boxes = dialog->markerSelection()->checkBoxes();
        for (size_t i = 0; i < boxes.size(); ++i) boxes[i]->setChecked(i == 1 || i == 3);
        dialog->markerSelection()->sampleBox()->setChecked(true);
        dialog->findChild<QCheckBox*>("overrideRanges")->click();
        dialog->rangeSlider()->setValues(15.0f, 20.0f);
        dialog->findChild<QPushButton*>("folderButton")->click();
        dialog->findChild<QPushButton*>("backgroundColorButton")->click();
        dialog->findChild<QPushButton*>("capture")->click();
        return dialog->result();
    });
    emit widget->settingsPanel()->screenshotButtonPressed();
    ASSERT_TRUE(asked);
    EXPECT_EQ(UI_ModalDialogs::unanswered(), 0);

    // The Sample image first, then the markers in order.
    const QStringList files = pngsIn(folder);
    ASSERT_EQ(files.size(), 3) << files.join(" ").toStdString();
    EXPECT_TRUE(files[0].startsWith("M2_"));
    EXPECT_TRUE(files[1].startsWith("M4_"));
    EXPECT_TRUE(files[2].startsWith("sampleTag_"));
    EXPECT_LE(stampOf(files[2]), stampOf(files[0]));
    EXPECT_LE(stampOf(files[0]), stampOf(files[1]));
    EXPECT_TRUE(pngsIn(out.path()).isEmpty());

    const QRgb green = qRgb(10, 200, 30);
    for (const QString& file : files) {
        const QImage image = QImage(QDir(folder).filePath(file)).convertToFormat(QImage::Format_RGB32);
        ASSERT_EQ(image.size(), QSize(kPrint, kPrint));
        EXPECT_EQ(image.pixel(0, 0) & 0xffffff, green & 0xffffff) << file.toStdString();
        EXPECT_EQ(image.pixel(kPrint - 1, kPrint - 1) & 0xffffff, green & 0xffffff) << file.toStdString();
        if (!file.startsWith("M2_")) continue;
        // The range 15..20 puts every value at one end of the colormap: the
        // points of the blob high in M2 at the top, all others at the bottom.
        QSet<QRgb> colours;
        for (int p = 0; p < kPoints; ++p) colours.insert(image.pixel(inImage(p, kPrint)) & 0xffffff);
        EXPECT_EQ(colours.size(), 2);
    }

    // The widget and the renderer show marker 2 again.
    EXPECT_EQ(widget->currentMarker(), 2);
    EXPECT_EQ(frame(), before);
}

TEST_F(ScreenshotTest, SeriesWithNothingCheckedOrCancelledWritesNothing) {
    widget->setMarkers(names);
    widget->setMarker(1);
    const QImage before = frame();
    UI_ModalDialogs::answerDialog([](QDialog* d) {
        auto* dialog = qobject_cast<UI_ScreenshotDialog*>(d);
        if (!dialog) return int(QDialog::Rejected);
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
    EXPECT_TRUE(QDir(out.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).isEmpty());
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
    int w = 0, h = 0;
    widget->pointRenderer()->video(w, h);
    ASSERT_EQ(recorded()[0].size(), static_cast<size_t>(w) * static_cast<size_t>(h) * 3);

    // A video may be saved from the export dialog, which stays open.
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
    // The recording stays for another video.
    EXPECT_EQ(recorded().size(), count);
}

TEST_F(ScreenshotTest, KeepAddsToTheRecordingAndClearStartsAnew) {
    record(2);
    const size_t first = recorded().size();
    ASSERT_GE(first, 2u);

    UI_ModalDialogs::answerQuestion(false);  // "Keep"
    widget->setRecording(true);
    std::vector<UI_ModalDialogs::Message> asked = UI_ModalDialogs::takeMessages();
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].icon, QMessageBox::Question);
    EXPECT_EQ(asked[0].text, "Do you want to start a new video recording?");
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
    EXPECT_EQ(messages[0].title, "Video Export");
    EXPECT_EQ(messages[0].text, "The video could not be written to " + unwritable + ".");
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
    int w = 0, h = 0;
    widget->pointRenderer()->video(w, h);
    const std::vector<unsigned char> raw = recorded()[0];
    const QImage bottomUp(raw.data(), w, h, w * 3, QImage::Format_RGB888);
    const QImage upright = bottomUp.mirrored(false, true);

    const QString file = QDir(out.path()).filePath("upright.mp4");
    widget->saveVideo(file, 20000, 25);
    ASSERT_TRUE(UI_ModalDialogs::takeMessages().empty());
    const QImage decoded = firstVideoFrame(file);
    ASSERT_EQ(decoded.size(), QSize(w, h));
    // Lossy, but far closer to the upright frame than to the one as recorded.
    const double toUpright = meanDifference(decoded, upright);
    const double toRecorded = meanDifference(decoded, bottomUp);
    EXPECT_LT(toUpright, 4.0);
    EXPECT_GT(toRecorded, 2.0 * toUpright);
}

}  // namespace
