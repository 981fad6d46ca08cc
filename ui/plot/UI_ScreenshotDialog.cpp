#include "UI_ScreenshotDialog.h"

#include "ui/web/UI_DualSliderWidget.h"
#include "ui/datapanels/UI_MarkerSelectionWidget.h"
#include "ui/base/UI_ModalDialogs.h"
#include "ui/base/UI_Settings.h"

#include <QCheckBox>
#include <QDir>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QVBoxLayout>

UI_ScreenshotDialog::UI_ScreenshotDialog(QWidget* parent, Qt::WindowFlags flags) : QDialog(parent, flags) { init(); }

void UI_ScreenshotDialog::init() {
    setWindowTitle(QStringLiteral("Image/Video Export"));
    setModal(true);

    auto* outer = new QVBoxLayout(this);
    m_tabs = new QTabWidget(this);
    outer->addWidget(m_tabs);

    // ---- Images ----
    auto* images = new QWidget(m_tabs);
    auto* grid = new QGridLayout(images);

    m_markers = new UI_MarkerSelectionWidget(images, 4);
    m_markers->setObjectName(QStringLiteral("markerSelection"));
    m_markers->refreshWidget(true);
    grid->addWidget(m_markers, 0, 0, 1, 3);

    m_rangeSlider = new UI_DualSliderWidget(images);
    m_rangeSlider->setObjectName(QStringLiteral("rangeSlider"));
    m_rangeSlider->setRange(0.0f, 20.0f, 0.0f, 5.0f);
    m_rangeSlider->setEnabled(false);
    grid->addWidget(m_rangeSlider, 1, 0, 2, 2);

    m_overrideRanges = new QCheckBox(QStringLiteral("Override Ranges"), images);
    m_overrideRanges->setObjectName(QStringLiteral("overrideRanges"));
    grid->addWidget(m_overrideRanges, 1, 2);
    connect(m_overrideRanges, &QCheckBox::stateChanged, this, &UI_ScreenshotDialog::overrideRangesChecked);

    grid->addWidget(new QLabel(QStringLiteral("Background Color:"), images), 3, 0, 1, 2, Qt::AlignRight);
    m_colorButton = new QPushButton(images);
    m_colorButton->setObjectName(QStringLiteral("backgroundColorButton"));
    styleColorButton();
    grid->addWidget(m_colorButton, 3, 2);
    connect(m_colorButton, &QPushButton::clicked, this, &UI_ScreenshotDialog::backgroundColorButtonPressed);

    grid->addWidget(new QLabel(QStringLiteral("Save to:"), images), 4, 0, Qt::AlignRight);
    UI_Settings* store = UI_Settings::Instance();
    store->sync();
    m_folder = new QLineEdit(store->value(QStringLiteral("exportDefaultFilePath")).toString(), images);
    m_folder->setObjectName(QStringLiteral("folder"));
    m_folder->setReadOnly(true);
    grid->addWidget(m_folder, 4, 1);
    m_folderButton = new QPushButton(QStringLiteral("Select ..."), images);
    m_folderButton->setObjectName(QStringLiteral("folderButton"));
    grid->addWidget(m_folderButton, 4, 2);
    connect(m_folderButton, &QPushButton::clicked, this, &UI_ScreenshotDialog::folderSelectionButtonPressed);

    auto* cancelImages = new QPushButton(QStringLiteral("Cancel"), images);
    cancelImages->setObjectName(QStringLiteral("cancelImages"));
    grid->addWidget(cancelImages, 5, 0);
    connect(cancelImages, &QPushButton::clicked, this, &QDialog::reject);
    auto* capture = new QPushButton(QStringLiteral("Capture"), images);
    capture->setObjectName(QStringLiteral("capture"));
    grid->addWidget(capture, 5, 1, 1, 2);
    connect(capture, &QPushButton::clicked, this, &QDialog::accept);
    m_tabs->addTab(images, QStringLiteral("Images"));

    // ---- Video ----
    auto* video = new QWidget(m_tabs);
    auto* videoGrid = new QGridLayout(video);
    videoGrid->addWidget(new QLabel(QStringLiteral("Video Bitrate:"), video), 0, 0, 1, 2);
    m_bitrate = new QSpinBox(video);
    m_bitrate->setObjectName(QStringLiteral("bitrate"));
    m_bitrate->setRange(1000, 20000);
    m_bitrate->setValue(1000);
    videoGrid->addWidget(m_bitrate, 0, 2, 1, 2);
    videoGrid->addWidget(new QLabel(QStringLiteral("Video FPS:"), video), 1, 0, 1, 2);
    m_fps = new QSpinBox(video);
    m_fps->setObjectName(QStringLiteral("fps"));
    m_fps->setRange(1, 100);
    m_fps->setValue(25);
    videoGrid->addWidget(m_fps, 1, 2, 1, 2);
    videoGrid->setRowStretch(2, 999);
    auto* cancelVideo = new QPushButton(QStringLiteral("Cancel"), video);
    cancelVideo->setObjectName(QStringLiteral("cancelVideo"));
    videoGrid->addWidget(cancelVideo, 3, 0);
    connect(cancelVideo, &QPushButton::clicked, this, &QDialog::reject);
    auto* saveVideoButton = new QPushButton(QStringLiteral("Save Video ..."), video);
    saveVideoButton->setObjectName(QStringLiteral("saveVideo"));
    videoGrid->addWidget(saveVideoButton, 3, 1, 1, 3);
    connect(saveVideoButton, &QPushButton::clicked, this, &UI_ScreenshotDialog::saveVideoButtonPressed);
    m_tabs->addTab(video, QStringLiteral("Video"));
}

void UI_ScreenshotDialog::styleColorButton() {
    m_colorButton->setStyleSheet(
        QStringLiteral("QPushButton { background-color : %1; }").arg(m_backgroundColor.name()));
}

std::vector<int> UI_ScreenshotDialog::markerList() const { return m_markers->selectedMarkers(); }

std::vector<float> UI_ScreenshotDialog::markerRange() const {
    if (!m_overrideRanges->isChecked()) return {};
    return {m_rangeSlider->lowerValue(), m_rangeSlider->upperValue()};
}

QString UI_ScreenshotDialog::baseDirectory() const { return m_folder->text(); }

void UI_ScreenshotDialog::overrideRangesChecked() { m_rangeSlider->setEnabled(m_overrideRanges->isChecked()); }

void UI_ScreenshotDialog::backgroundColorButtonPressed() {
    const QColor chosen =
        UI_ModalDialogs::getColor(m_backgroundColor, this, QString(), QColorDialog::ColorDialogOptions());
    if (!chosen.isValid()) return;
    m_backgroundColor = chosen;
    styleColorButton();
}

void UI_ScreenshotDialog::folderSelectionButtonPressed() {
    const QString chosen = UI_ModalDialogs::getDirectory(this, m_folder->text());
    if (!chosen.isEmpty()) m_folder->setText(chosen);
}

QString UI_ScreenshotDialog::nothingRecordedText() {
    return QStringLiteral(
        "Nothing has been recorded, so there is no video to save. Switch on Record in the plot's panel, work with "
        "the plot, switch Record off, then save the video.");
}

void UI_ScreenshotDialog::saveVideoButtonPressed() {
    if (m_recordedFrames == 0) {
        UI_ModalDialogs::message(QMessageBox::Information, this, QStringLiteral("Video Export"), nothingRecordedText());
        return;
    }
    const int bitrate = m_bitrate->value();
    const int fps = m_fps->value();
    UI_Settings* store = UI_Settings::Instance();
    store->sync();
    QString folder = store->value(QStringLiteral("exportDefaultFilePath")).toString();
    if (folder.isEmpty()) folder = QDir::home().absolutePath();
    const QString file =
        UI_ModalDialogs::saveFile(this, folder, QStringLiteral("mp4"), QStringLiteral("Video files (*.mp4)"));
    if (!file.isEmpty()) emit saveVideo(file, bitrate, fps);
}
