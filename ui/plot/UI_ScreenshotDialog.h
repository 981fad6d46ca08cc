#pragma once

#include <QColor>
#include <QDialog>
#include <QString>

#include <cstddef>
#include <vector>

class QCheckBox;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QTabWidget;
class UI_DualSliderWidget;
class UI_MarkerSelectionWidget;

// The modal "Image/Video Export" dialog of a scatter plot. Its "Images" tab
// chooses the markers of a screenshot series (the Sample pseudo-marker -1
// first), an optional marker range that replaces every marker's own range,
// the background colour and the folder; "Capture" accepts it. Its "Video" tab
// chooses bitrate (kbit/s) and frame rate and asks for a file: each
// "Save Video ..." emits saveVideo and leaves the dialog open, so a video can
// be saved any number of times before the series is captured. Without
// recorded frames (setRecordedFrames) it asks for no file and says so.
//
// Every question it asks (colour, folder, video file) goes through
// UI_ModalDialogs. Choosing a folder does not write the settings store.
class UI_ScreenshotDialog : public QDialog {
    Q_OBJECT
public:
    explicit UI_ScreenshotDialog(QWidget* parent = nullptr, Qt::WindowFlags flags = Qt::WindowFlags());

    // The checked markers: -1 first when the Sample box is checked, then the
    // marker indices in order.
    std::vector<int> markerList() const;
    // (low, high) of the range slider while "Override Ranges" is checked,
    // else empty.
    std::vector<float> markerRange() const;
    QColor backgroundColor() const { return m_backgroundColor; }
    // The folder of the series (the settings value "exportDefaultFilePath"
    // at start; may be empty).
    QString baseDirectory() const;

    // The number of frames the plot holds for a video; 0 (the start) until set.
    void setRecordedFrames(size_t frames) { m_recordedFrames = frames; }
    // The warning of a video asked for with no frames recorded.
    static QString nothingRecordedText();

    UI_MarkerSelectionWidget* markerSelection() const { return m_markers; }
    UI_DualSliderWidget* rangeSlider() const { return m_rangeSlider; }

signals:
    // bitrate in kbit/s as shown, fps in frames per second.
    void saveVideo(QString fileName, int bitrate, int fps);

private slots:
    void overrideRangesChecked();
    void backgroundColorButtonPressed();
    void folderSelectionButtonPressed();
    void saveVideoButtonPressed();

private:
    void init();
    void styleColorButton();

    QTabWidget* m_tabs = nullptr;
    UI_MarkerSelectionWidget* m_markers = nullptr;
    UI_DualSliderWidget* m_rangeSlider = nullptr;
    QCheckBox* m_overrideRanges = nullptr;
    QPushButton* m_colorButton = nullptr;
    QColor m_backgroundColor = QColor::fromRgbF(1.0, 1.0, 1.0, 1.0);
    QLineEdit* m_folder = nullptr;
    QPushButton* m_folderButton = nullptr;
    QSpinBox* m_bitrate = nullptr;
    QSpinBox* m_fps = nullptr;
    size_t m_recordedFrames = 0;
};
