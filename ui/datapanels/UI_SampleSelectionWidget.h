#pragma once

#include <QColor>
#include <QString>
#include <QVector>
#include <QWidget>

#include <string>
#include <vector>

class MCV_Settings;
class QCheckBox;
class QColorDialog;
class QGridLayout;
class QLabel;
class QPushButton;

// One row per sample file loaded at construction: its name, a check box that
// shows or hides its events and a colour button for colouring by sample.
// Below, the selection and colours can be made the process-wide defaults
// (used by panels built later) and saved to or loaded from a sample settings
// file: one line per file, "name selected red green blue", lines joined by a
// line feed. The sample name is the file name as the file system has it.
//
// Invariants: one entry per file in every per-file vector (three bytes per
// file in the colour bytes, always the colours' 8-bit channels); check box i
// is checked exactly when selection flag i is set. GUI thread only.
class UI_SampleSelectionWidget : public QWidget {
    Q_OBJECT
public:
    explicit UI_SampleSelectionWidget(QWidget* parent);
    ~UI_SampleSelectionWidget() override;

    // Owned by the panel; valid for its lifetime.
    std::vector<bool>* selectionState();
    std::vector<unsigned char>* sampleColors();

    // For tests and the owning views.
    QCheckBox* checkBox(int i) const { return checkBoxes.value(i, nullptr); }
    QPushButton* colorButton(int i) const { return colorButtons.value(i, nullptr); }
    QLabel* label(int i) const { return labels.value(i, nullptr); }
    QColorDialog* colorPicker() const { return colorDialog; }

    // Writes the sample settings text for the current rows.
    QString settingsText() const;
    // Applies a sample settings text to the rows it names; emits both signals.
    void applySettingsText(const QString& text);

signals:
    void selectionUpdated();
    void colorsUpdated();

private slots:
    void checkBoxClicked(int idx);
    void colorPickerClicked(int idx);
    void colorChanged(QColor color);
    void setDefaultSelectionClicked();
    void setDefaultColorsClicked();
    void loadDefaultsClicked();
    void saveDefaultsClicked();

private:
    void setColor(int idx, const QColor& color);
    std::string sampleName(int idx) const;

    MCV_Settings* settings;
    QGridLayout* layout = nullptr;
    QColorDialog* colorDialog = nullptr;
    QVector<QLabel*> labels;
    QVector<QCheckBox*> checkBoxes;
    QVector<QPushButton*> colorButtons;
    QVector<QColor> colors;
    QString buttonStyle = QStringLiteral("QPushButton { background-color : %1; }");
    int activeColorIdx = 0;
    QPushButton* setDefaultSelectionButton = nullptr;
    QPushButton* setDefaultColorsButton = nullptr;
    QPushButton* loadButton = nullptr;
    QPushButton* saveButton = nullptr;
    std::vector<bool> selection;
    std::vector<unsigned char> colorBytes;
    std::vector<std::string> names;
};
