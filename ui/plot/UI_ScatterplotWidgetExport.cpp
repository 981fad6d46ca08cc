// Screenshots, screenshot series and video recording of the plot. Prints and
// video frames come from the renderer bottom row first; files get them top
// row first.
#include "UI_ScatterplotWidget.h"

#include "render/MCV_PointRenderer.h"
#include "render/MCV_VideoWriter.h"
#include "ui/base/UI_ModalDialogs.h"
#include "UI_ScreenshotDialog.h"
#include "ui/base/UI_Settings.h"
#include "ui/base/freeFilePath.h"
#include "ui/base/owningMainWindow.h"
#include "ui/base/safeFileName.h"
#include "ui/base/writeWholeFile.h"

#include <QBuffer>
#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QImage>
#include <QMainWindow>
#include <QProgressDialog>
#include <QStatusBar>

#include <algorithm>
#include <cstring>
#include <utility>

namespace {

// `frame` (rows of `rowBytes`, bottom row first) with its rows in reverse
// order. A frame that is not a whole number of rows is passed on unchanged;
// the writer refuses it.
std::vector<unsigned char> upright(const std::vector<unsigned char>& frame, size_t rowBytes) {
    if (rowBytes == 0 || frame.size() % rowBytes != 0) return frame;
    std::vector<unsigned char> out(frame.size());
    const size_t rows = frame.size() / rowBytes;
    for (size_t r = 0; r < rows; ++r)
        std::memcpy(out.data() + r * rowBytes, frame.data() + (rows - 1 - r) * rowBytes, rowBytes);
    return out;
}

}  // namespace

QString UI_ScatterplotWidget::screenshotName() const {
    if (activeMarker >= 0 && static_cast<size_t>(activeMarker) < markers.size())
        return QString::fromStdString(markers[static_cast<size_t>(activeMarker)]);
    if (activeMarker < 0 && !markers.empty()) return QStringLiteral("sampleTag");
    return QStringLiteral("screenshot");
}

QString UI_ScatterplotWidget::saveScreenshot(QString directory, bool verbose, QString* failure) {
    if (!renderer) {
        if (failure) *failure = QStringLiteral("the plot has not been drawn yet");
        return QString();
    }
    int w = 0;
    int h = 0;
    makeCurrent();
    const std::vector<unsigned char> pixels = renderer->print(w, h);
    doneCurrent();

    // No folder chosen yet: the home folder, as the file dialogs open there.
    if (directory.isEmpty()) directory = QDir::homePath();
    const QString stem =
        QDir(directory).filePath(safeFileName(screenshotName()) + QStringLiteral("_") +
                                 QDateTime::currentDateTime().toString(QStringLiteral("yy_MM_dd_HH_mm_ss_zzz")));
    const QString path = freeFilePath(stem, QStringLiteral(".png"));

    const size_t bytes = static_cast<size_t>(std::max(w, 0)) * static_cast<size_t>(std::max(h, 0)) * 3;
    if (w <= 0 || h <= 0 || pixels.size() < bytes) {
        qWarning() << "Screenshot not saved: the renderer gave no image for" << path;
        if (failure) *failure = path + QStringLiteral(" was not written: the renderer gave no image");
        return QString();
    }
    const QImage image(pixels.data(), w, h, w * 3, QImage::Format_RGB888);
    // Encoded whole first: the file is written in one piece and takes its
    // name only when complete, so a failed write leaves no partial image.
    QByteArray png;
    QBuffer buffer(&png);
    QString why;
    if (!buffer.open(QIODevice::WriteOnly) || !image.mirrored(false, true).save(&buffer, "PNG") ||
        !writeWholeFile(path, png, &why)) {
        if (why.isEmpty()) why = QStringLiteral("the image could not be encoded as PNG");
        qWarning().noquote() << "Screenshot could not be written to" << path + ": " + why;
        if (failure) *failure = path + QStringLiteral(" was not written: ") + why;
        return QString();
    }
    if (verbose) qDebug() << "\nScreenshot Saved to " << path << ".";
    return path;
}

void UI_ScatterplotWidget::takeScreenshotSeries() {
    if (!renderer) return;
    UI_ScreenshotDialog dialog(nullptr);
    connect(&dialog, &UI_ScreenshotDialog::saveVideo, this, &UI_ScatterplotWidget::saveVideo);
    // Recording is switched in the plot's panel, which the modal dialog keeps
    // out of reach: the count holds while the dialog is open.
    int w = 0;
    int h = 0;
    makeCurrent();
    const std::vector<std::vector<unsigned char>>* frames = renderer->video(w, h);
    doneCurrent();
    dialog.setRecordedFrames(frames ? frames->size() : 0);
    if (UI_ModalDialogs::exec(&dialog) != QDialog::Accepted) return;

    const std::vector<int> list = dialog.markerList();
    const std::vector<float> range = dialog.markerRange();
    const QColor color = dialog.backgroundColor();
    const QString directory = dialog.baseDirectory();
    const std::vector<float> background = {static_cast<float>(color.redF()), static_cast<float>(color.greenF()),
                                           static_cast<float>(color.blueF()), 1.0f};
    UI_Settings::Instance()->sync();
    // Each image shows its marker's range over the analysis' current values.
    // Only the values are taken again: the positions, and the density
    // clusters found on them, stay as the plot shows them.
    retakeMarkerValues();

    makeCurrent();
    renderer->setPrintParameters(range, background);
    renderer->setSerialPrintMode(true);
    doneCurrent();

    const int total = static_cast<int>(list.size());
    QProgressDialog progress(QStringLiteral("Saving images ..."), QStringLiteral("Cancel"), 0, total, this);
    progress.setWindowTitle(QStringLiteral("Image Export"));
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(0);
    const int remembered = activeMarker;
    int saved = 0;
    QString firstFailure;
    for (int i = 0; i < total && !progress.wasCanceled(); ++i) {
        activeMarker = list[static_cast<size_t>(i)];
        progress.setLabelText(QStringLiteral("Saving image %1 of %2: %3").arg(i + 1).arg(total).arg(screenshotName()));
        // Draws the dialog and takes a click on Cancel.
        progress.setValue(i);
        if (progress.wasCanceled()) break;
        makeCurrent();
        renderer->setActiveMarker(activeMarker);
        doneCurrent();
        QString failure;
        if (!saveScreenshot(directory, false, &failure).isEmpty())
            ++saved;
        else if (firstFailure.isEmpty())
            firstFailure = failure;
    }
    const bool stopped = progress.wasCanceled();
    progress.setValue(total);
    activeMarker = remembered;
    // Leaving serial mode also gives the renderer its own marker back.
    makeCurrent();
    renderer->setSerialPrintMode(false);
    doneCurrent();
    update();
    const QString folder = QDir::toNativeSeparators(directory.isEmpty() ? QDir::homePath() : directory);
    // A series with a failed image says so and why (the first failure: on a
    // full disk or a read-only folder the others fail alike).
    const QString reason = firstFailure.isEmpty() ? QString() : QStringLiteral("; ") + firstFailure;
    if (stopped)
        reportExport(QStringLiteral("Image export stopped: %1 of %2 images saved to %3%4")
                         .arg(saved)
                         .arg(total)
                         .arg(folder, reason));
    else if (!reason.isEmpty())
        reportExport(QStringLiteral("Image export failed: %1 of %2 images saved to %3%4")
                         .arg(saved)
                         .arg(total)
                         .arg(folder, reason));
    else
        reportExport(QStringLiteral("%1 images saved to %2").arg(saved).arg(folder));
}

void UI_ScatterplotWidget::printScreenshot() {
    UI_Settings* settings = UI_Settings::Instance();
    settings->sync();
    QString failure;
    const QString path =
        saveScreenshot(settings->value(QStringLiteral("exportDefaultFilePath")).toString(), true, &failure);
    reportExport(path.isEmpty() ? QStringLiteral("Screenshot not saved: ") + failure
                                : QStringLiteral("Screenshot saved to ") + QDir::toNativeSeparators(path));
}

void UI_ScatterplotWidget::reportExport(const QString& text) {
    if (QMainWindow* window = owningMainWindow(this)) window->statusBar()->showMessage(text);
}

void UI_ScatterplotWidget::setRecording(bool on) {
    recording = on;
    if (!renderer) return;
    if (on) {
        int w = 0;
        int h = 0;
        makeCurrent();
        std::vector<std::vector<unsigned char>>* frames = renderer->video(w, h);
        doneCurrent();
        if (frames && !frames->empty() &&
            UI_ModalDialogs::question(
                this, QString(), QStringLiteral("Do you want to start a new video recording?"),
                QStringLiteral("Clear will start a new video recording and clear all frames recorded so far, "
                               "Keep will keep existing frames and add new frames at the end."),
                QStringLiteral("Clear"), QStringLiteral("Keep")))
            std::vector<std::vector<unsigned char>>().swap(*frames);
    }
    makeCurrent();
    renderer->setRecording(on);
    doneCurrent();
    update();
}

void UI_ScatterplotWidget::saveVideo(QString fileName, int bitrate, int fps) {
    if (!renderer) return;
    int w = 0;
    int h = 0;
    makeCurrent();
    const std::vector<std::vector<unsigned char>>* frames = renderer->video(w, h);
    doneCurrent();
    if (!frames || frames->empty()) {
        UI_ModalDialogs::message(QMessageBox::Information, this, QStringLiteral("Video Export"),
                                 UI_ScreenshotDialog::nothingRecordedText());
        return;
    }

    // The writer takes the first row as the top of the picture and works on
    // its own copy; the recording stays in the renderer.
    std::vector<std::vector<unsigned char>> copy;
    copy.reserve(frames->size());
    for (const std::vector<unsigned char>& frame : *frames)
        copy.push_back(upright(frame, static_cast<size_t>(std::max(w, 0)) * 3));
    MCV_VideoWriter writer;
    // The dialog's bitrate is in kbit/s, the writer's in bit/s.
    writer.setData(std::move(copy), w, h, bitrate * 1000, fps);
    if (writer.writeToFile(fileName.toStdString()) != 0)
        UI_ModalDialogs::message(QMessageBox::Warning, this, QStringLiteral("Video Export"),
                                 QStringLiteral("The video could not be written to ") + fileName +
                                     QStringLiteral(": ") + QString::fromStdString(writer.failureReason()) +
                                     QStringLiteral("."));
    else
        reportExport(QStringLiteral("Video saved to ") + QDir::toNativeSeparators(fileName));
}
