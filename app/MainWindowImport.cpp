// File import (the question after it is UI_ImportDialog) and colour images.
#include "app/MainWindow.h"

#include "analysis/MCV_Analysis.h"
#include "app/UI_FileInfoWidget.h"
#include "app/UI_ImportDialog.h"
#include "app/UI_Interface.h"
#include "ui/base/UI_Settings.h"
#include "data/MCV_CytometryData.h"
#include "data/MCV_FcsHeader.h"
#include "data/MCV_MarkerDefault.h"
#include "data/MCV_Messages.h"
#include "data/MCV_SampleTag.h"
#include "data/MCV_Settings.h"
#include "ui/base/UI_ModalDialogs.h"
#include "ui/base/readMarkerFlags.h"
#include "ui/base/writeWholeFile.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QStatusBar>

#include <algorithm>
#include <memory>

namespace {

// The folder to start a file dialog in: the stored one, or the home folder.
QString startFolder(UI_Settings* settings) {
    settings->sync();
    const QString stored = settings->value("dataDefaultFilePath").toString();
    return QDir(stored.isEmpty() ? QDir::homePath() : stored).absolutePath();
}

void rememberFolder(UI_Settings* settings, const QString& folder) {
    settings->setValue("dataDefaultFilePath", folder);
    settings->sync();
}

// The box for a file the data set refused: the file, the code's text and the
// reader's reason with its numbers, each on a line of its own.
void showLoadRefusal(QWidget* parent, const QString& file, int code, const MCV_CytometryData& data) {
    QString text = "Could not open file " + file + "\n" + QString::fromStdString(MCV_loadMessage(code));
    if (!data.loadRefusal().empty()) text += "\n" + QString::fromStdString(data.loadRefusal());
    UI_ModalDialogs::message(QMessageBox::Critical, parent, QObject::tr("Error"), text);
}

// Makes the default marker selection the one for `loaded`: the default-marker
// file beside it when it can be read, else the default held for `previous`
// (the data set before, or null). A file of fewer flags than the files bring
// markers, or of anything but flags, is made for other data, and so is a
// held default of another marker count: it would tick and untick markers by
// position, whatever they are. It is dropped, so the marker panels start as
// without a default, and the reason is returned (empty when nothing was
// refused). `adopted` receives the default applied, whose sample-tag flag
// waits for the tag.
QString adoptDefaultMarkers(MCV_CytometryData& loaded, MCV_CytometryData* previous, MCV_MarkerDefault* adopted) {
    const size_t markers = static_cast<size_t>(std::max(0, loaded.fileVariableCount()));
    MCV_Settings* settings = MCV_Settings::Instance();
    const QString path = QString::fromStdString(MCV_MarkerDefault::filePath(loaded));
    std::vector<bool> flags;
    size_t flagCount = 0;
    const MarkerFlagsRead result = readMarkerFlags(path.toStdString(), markers, &flags, &flagCount);
    if (result == MarkerFlagsRead::Read) {
        *adopted = MCV_MarkerDefault::fromFileFlags(flags, markers);
        settings->setDefaultMarkers(adopted->markers);
        qDebug() << "Loaded default marker states from file.";
        return QString();
    }
    if (result != MarkerFlagsRead::Unreadable) {
        settings->setDefaultMarkers({});
        return markerFlagsRefusal(result, path, flagCount, markers) + " The default marker selection is not applied.";
    }
    // No file (or none that can be read): the default held from before, if it
    // was made for as many markers. It holds a flag per variable of the data
    // before; one that holds more was not made for them.
    const std::vector<bool> held = settings->defaultMarkers;
    if (held.empty()) return QString();
    MCV_FcsHeader* before = previous ? previous->combinedHeader() : nullptr;
    MCV_MarkerDefault kept;
    if (before && held.size() <= static_cast<size_t>(before->numVariables()))
        kept = MCV_MarkerDefault::fromStates(held, *previous);
    else
        kept.markers = held;
    if (kept.markers.size() == markers) {
        *adopted = kept;
        settings->setDefaultMarkers(kept.markers);
        return QString();
    }
    settings->setDefaultMarkers({});
    const auto count = [](size_t n, const char* what) {
        return QString::number(static_cast<qulonglong>(n)) + " " + what + (n == 1 ? "" : "s");
    };
    return "The default marker selection holds " + count(kept.markers.size(), "flag") + " for " +
           count(markers, "marker") + ". It is not applied.";
}

}  // namespace

bool MainWindow::anyAnalysisRunning() const {
    return std::any_of(m_analyses.begin(), m_analyses.end(), [](MCV_Analysis* a) { return a->isRunning(); });
}

void MainWindow::openFile() {
    // Replacing the data set under a running computation would pull its data
    // away mid-iteration.
    if (anyAnalysisRunning()) {
        UI_ModalDialogs::message(QMessageBox::Warning, this, tr("Warning"),
                                 "An analysis is still running. Please stop it before opening new files.");
        return;
    }

    const QString start = startFolder(m_settings);
    QStringList files = UI_ModalDialogs::openFiles(this, start, tr("Cytometry Files (*.fcs);;Fcs Files (*.fcs)"), true);
    if (files.isEmpty()) return;
    // Asked before anything is stored or loaded: No leaves everything, the
    // remembered folder included, as it was. A choice refused below (mixed
    // types, a failed load) still replaces nothing.
    if (!m_analyses.empty() &&
        !UI_ModalDialogs::question(this, QCoreApplication::applicationName(),
                                   "Opening these files closes every analysis and its views. Continue?"))
        return;

    const QString folder = QFileInfo(files.first()).absolutePath();
    rememberFolder(m_settings, folder);
    files.removeDuplicates();

    // The choice is checked and the files are loaded before anything is
    // replaced: a refused choice or a failed load leaves the current data,
    // analyses and views as they are.
    const QString suffix = QFileInfo(files.first()).suffix();
    for (const QString& f : files) {
        if (QFileInfo(f).suffix() != suffix) {
            UI_ModalDialogs::message(QMessageBox::Critical, this, tr("Error"),
                                     "Different file types that cannot be combined selected. Could not open files.");
            return;
        }
    }
    std::unique_ptr<MCV_CytometryData> loaded = loadFiles(files);
    if (!loaded) return;

    MCV_MarkerDefault adopted;
    const QString refusal = adoptDefaultMarkers(*loaded, m_data, &adopted);
    if (!refusal.isEmpty()) {
        qDebug().noquote() << refusal;
        statusBar()->showMessage(refusal);
    } else if (!m_defaultsRefusal.isEmpty() && statusBar()->currentMessage() == m_defaultsRefusal) {
        // The refusal was about the data before.
        statusBar()->clearMessage();
    }
    m_defaultsRefusal = refusal;
    replaceDataModel(std::move(loaded));
    m_data->initAllDerviedDataPointer();
    m_dataReady = true;
    if (addColorImage(folder + "/rgb.png")) qDebug() << "Loaded rgb image from rgb.png.";
    advertiseNewData();
    m_actionFlags[1] = m_actionFlags[2] = m_actionFlags[3] = true;
    refreshUI();
    showHeaderInFileInfo();
    runImportDialog(folder, adopted);
}

void MainWindow::replaceDataModel(std::unique_ptr<MCV_CytometryData> loaded) {
    // Everything built on the old data goes first, then the data set itself.
    retireAll();
    m_dataReady = false;
    m_data = MCV_CytometryData::replaceInstance(std::move(loaded));
}

std::unique_ptr<MCV_CytometryData> MainWindow::loadFiles(const QStringList& files) {
    std::unique_ptr<MCV_CytometryData> dataSet = MCV_CytometryData::createDetached();
    dataSet->init(m_bridge);  // before loading: it starts the sample tags afresh
    const QString suffix = QFileInfo(files.first()).suffix();
    if (suffix == "tiff" || suffix == "tif") {
        std::vector<std::string> paths;
        for (const QString& f : files) paths.push_back(f.toStdString());
        const int code = dataSet->loadFromFiles(&paths);
        if (code > 0) {
            showLoadRefusal(this, files.first(), code, *dataSet);
            return nullptr;
        }
        return dataSet;
    }
    for (const QString& f : files) {
        const int code = dataSet->loadFromFile(f.toStdString());
        if (code > 0) {
            showLoadRefusal(this, f, code, *dataSet);
            return nullptr;
        }
        if (code < 0)
            UI_ModalDialogs::message(
                QMessageBox::Warning, this, tr("Warning"),
                "A problem occured, opening file " + f + "\n" + QString::fromStdString(MCV_loadMessage(code)));
    }
    return dataSet;
}

void MainWindow::runImportDialog(const QString& folder, const MCV_MarkerDefault& adopted) {
    UI_ImportDialog dialog(this);
    const int result = UI_ModalDialogs::exec(&dialog);

    if (dialog.arcSinChosen()) {
        qDebug() << "Applying Hyperbolic Arc Sin Transform with Cofactor" << dialog.cofactor();
        m_data->applyArcSinTransform(dialog.cofactor(), dialog.arcSinMarkers());
    }
    if (dialog.sampleTagChosen()) {
        qDebug() << "Adding Sample Tag Channel \"QLMRN_ST\".";
        m_data->addDimensions({MCV_SampleTag::name}, -1.0f);
        // The adopted default's flag for the tag, unless the dialog's own
        // "Set Default" or "Load Selection" replaced that default with one
        // made before there was a tag.
        MCV_Settings* settings = MCV_Settings::Instance();
        if (adopted.hasTag && settings->defaultMarkers == adopted.markers)
            settings->setDefaultMarkers(adopted.statesFor(*m_data));
        const QString tags = folder + "/QLMRN_ST.txt";
        QString why;
        if (!writeWholeFile(tags, QByteArray::fromStdString(m_data->sampleTags()), &why)) {
            const QString text = "The sample tags could not be written to " + tags + ": " + why + ".";
            qDebug().noquote() << text;
            statusBar()->showMessage(text);
        }
    }
    switch (result) {
        case UI_ImportDialog::StartSpade:
            newSpadeAnalysisTriggered();
            break;
        case UI_ImportDialog::StartTsne:
            newTsneAnalysisTriggered();
            break;
        case UI_ImportDialog::StartHsne:
            newHsneAnalysisTriggered();
            break;
        default:
            break;
    }
}

void MainWindow::openColorImage() {
    if (!hasData()) {
        UI_ModalDialogs::message(QMessageBox::Critical, this, tr("Error"),
                                 "Please load the raw data via \"Open file(s) ...\" first.");
        return;
    }
    const QString start = startFolder(m_settings);
    const QStringList files =
        UI_ModalDialogs::openFiles(this, start, tr("Color Image (*.png *.tiff *.tif *jpg *jpeg)"), false);
    if (files.isEmpty()) return;
    rememberFolder(m_settings, QFileInfo(files.first()).absolutePath());
    // addColorImage passes over an unreadable image without a word (the
    // import tries an optional "rgb.png" through it); a file the user chose
    // gets an answer.
    if (!QFileInfo(files.first()).isFile()) {
        UI_ModalDialogs::message(QMessageBox::Critical, this, tr("Error"),
                                 "The image " + files.first() + " could not be read: it is not a regular file.");
        return;
    }
    if (addColorImage(files.first())) return;
    // A refusal of the image's size has had its message; only an image that
    // does not decode is read once more, for the reader's reason.
    QImageReader reader(files.first());
    if (reader.read().isNull())
        UI_ModalDialogs::message(QMessageBox::Critical, this, tr("Error"),
                                 "The image " + files.first() + " could not be read: " + reader.errorString());
}

bool MainWindow::addColorImage(QString fileName) {
    if (!m_data || !m_data->combinedHeader()) return false;
    // A named pipe in the image's place would hold the window until a writer came.
    if (!QFileInfo(fileName).isFile()) return false;
    const QImage image(fileName);
    if (image.isNull()) return false;
    const int width = image.width();
    const int height = image.height();
    const qint64 pixels = static_cast<qint64>(width) * height;
    if (pixels != m_data->combinedHeader()->numEvents()) {
        UI_ModalDialogs::message(QMessageBox::Critical, this, tr("Error"),
                                 "The Image size does not match the size of the raw data.");
        return false;
    }
    std::vector<std::vector<float>> channels(3, std::vector<float>(static_cast<size_t>(pixels)));
    for (int y = 0; y < height; ++y) {
        const QRgb* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        const bool direct = image.format() == QImage::Format_RGB32 || image.format() == QImage::Format_ARGB32;
        for (int x = 0; x < width; ++x) {
            const QRgb p = direct ? line[x] : image.pixel(x, y);
            const size_t e = static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x);
            channels[0][e] = qRed(p) / 255.0f;
            channels[1][e] = qGreen(p) / 255.0f;
            channels[2][e] = qBlue(p) / 255.0f;
        }
    }
    qDebug() << "Adding RGB Channels.";
    m_data->addDimensions({"Red", "Green", "Blue"}, channels);
    return true;
}
