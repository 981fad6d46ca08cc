#include "UI_MarkerSelectionWidget.h"

#include "analysis/MCV_Analysis.h"
#include "data/MCV_CytometryData.h"
#include "data/MCV_FcsHeader.h"
#include "data/MCV_MarkerDefault.h"
#include "data/MCV_MeasuredMarkers.h"
#include "data/MCV_Settings.h"
#include "ui/base/UI_ModalDialogs.h"
#include "ui/base/UI_StatusLine.h"
#include "ui/base/boolVectorFile.h"
#include "ui/base/owningMainWindow.h"
#include "ui/base/readMarkerFlags.h"

#include <QCheckBox>
#include <QDebug>
#include <QDir>
#include <QDockWidget>
#include <QEvent>
#include <QGridLayout>
#include <QLabel>
#include <QMainWindow>
#include <QPushButton>
#include <QSettings>
#include <QSignalMapper>
#include <QStatusBar>
#include <QVBoxLayout>

#include <algorithm>

namespace {

// The settings store of the application (same organisation, application and
// format as the shell's store, so the same file).
QString storedFolder(const char* key) {
    QSettings settings;
    settings.sync();
    return settings.value(key).toString();
}

Qt::CheckState checkState(bool on) { return on ? Qt::Checked : Qt::Unchecked; }

// The status line's room: in the dialogs a message naming a data folder of
// ordinary depth (twice, in a refusal) wraps to three or four lines; a longer
// one is shortened.
constexpr int kStatusLines = 4;

}  // namespace

UI_MarkerSelectionWidget::UI_MarkerSelectionWidget(QWidget* parent, int columns)
    : QWidget(parent), m_columns(std::max(1, columns)) {
    // The grid is rebuilt with the markers; the status line under it stays.
    auto* outer = new QVBoxLayout(this);
    outer->setAlignment(Qt::AlignTop);
    m_layout = new QGridLayout();
    m_layout->setContentsMargins(0, 0, 0, 0);
    outer->addLayout(m_layout);
    m_statusLine = new UI_StatusLine(kStatusLines, this);
    m_statusLine->setObjectName(QStringLiteral("markerStatus"));
    outer->addWidget(m_statusLine);
    m_markerStates = MCV_Settings::Instance()->defaultMarkers;
}

void UI_MarkerSelectionWidget::refreshWidget(MCV_Analysis* analysis, bool showSampleBox) {
    m_analysis = analysis;
    refreshWidget(showSampleBox);
}

void UI_MarkerSelectionWidget::refreshWidget(bool showSampleBox) {
    m_showSampleBox = showSampleBox;
    std::vector<std::string> names;
    if (MCV_FcsHeader* header = MCV_CytometryData::Instance()->combinedHeader()) names = *header->markerList(0);
    const size_t n = names.size();

    // Empty the grid. The old widgets are deleted deferred: a rebuild may run
    // inside the click of one of them ("Load Selection"). They are silenced
    // first, so nothing of the old build reaches the new one.
    while (QLayoutItem* item = m_layout->takeAt(0)) {
        if (QWidget* w = item->widget()) {
            w->blockSignals(true);
            w->hide();
            w->deleteLater();
        }
        delete item;
    }
    m_sampleBox = nullptr;
    m_inverseButton = m_loadButton = m_setDefaultButton = nullptr;
    m_checkBoxes.assign(n, nullptr);

    m_markers.clear();
    if (n == 0) return;
    if (m_markerStates.empty()) {
        // Nothing chosen yet and no stored default: every marker, except that
        // an analysis does not take the results of analyses or the sample tag
        // as its inputs.
        for (size_t i = 0; i < n; ++i) m_markerStates.push_back(!m_analysis || MCV_MeasuredMarkers::is(names[i]));
    } else {
        m_markerStates.resize(n, false);
    }
    for (size_t i = 0; i < n; ++i) m_markers.push_back(Marker{names[i], static_cast<int>(i)});

    QSignalMapper* mapper = new QSignalMapper(this);

    const int total = static_cast<int>(n) + (m_showSampleBox ? 1 : 0);
    const int rows = total / m_columns;
    const int rem = total % m_columns;
    // Cells are numbered column by column; the first `rem` columns hold one
    // cell more than the others.
    auto cellPosition = [&](int cell, int* row, int* column) {
        int start = 0;
        for (int c = 0; c < m_columns; ++c) {
            const int count = rows + (c < rem ? 1 : 0);
            if (cell < start + count) {
                *row = cell - start;
                *column = c;
                return;
            }
            start += count;
        }
        *row = *column = 0;  // not reached: cell < total
    };

    const std::vector<bool>* analysisStates = m_analysis ? &m_analysis->markerStates() : nullptr;
    for (size_t i = 0; i < n; ++i) {
        QCheckBox* box = new QCheckBox(QString::fromStdString(m_markers[i].name), this);
        m_checkBoxes[i] = box;
        const size_t m = static_cast<size_t>(m_markers[i].index);
        box->setCheckState(checkState(m_markerStates[m]));
        if (analysisStates && m < analysisStates->size())
            m_analysis->setMarkerState(static_cast<int>(m), m_markerStates[m]);
        int row = 0, column = 0;
        cellPosition(static_cast<int>(i), &row, &column);
        m_layout->addWidget(box, row, column);
        connect(box, &QCheckBox::stateChanged, mapper, qOverload<>(&QSignalMapper::map));
        mapper->setMapping(box, static_cast<int>(i));
    }
    if (m_showSampleBox) {
        m_sampleBox = new QCheckBox("Sample", this);
        m_sampleBox->setCheckState(checkState(m_sampleState));
        int row = 0, column = 0;
        cellPosition(static_cast<int>(n), &row, &column);
        m_layout->addWidget(m_sampleBox, row, column);
        connect(m_sampleBox, &QCheckBox::stateChanged, mapper, qOverload<>(&QSignalMapper::map));
        mapper->setMapping(m_sampleBox, -1);
    }
    connect(mapper, &QSignalMapper::mappedInt, this, &UI_MarkerSelectionWidget::checkBoxClicked);

    const int last = rem == 0 ? rows - 1 : rows;
    const int half = std::max(1, m_columns / 2);
    m_inverseButton = new QPushButton("Inverse Markers", this);
    m_layout->addWidget(m_inverseButton, last + 2, 0, 1, m_columns);
    connect(m_inverseButton, &QPushButton::clicked, this, &UI_MarkerSelectionWidget::inverseClicked);
    m_loadButton = new QPushButton("Load Selection", this);
    m_layout->addWidget(m_loadButton, last + 3, 0, 1, half);
    connect(m_loadButton, &QPushButton::clicked, this, &UI_MarkerSelectionWidget::loadClicked);
    m_setDefaultButton = new QPushButton("Set Default", this);
    m_layout->addWidget(m_setDefaultButton, last + 3, m_columns / 2, 1, half);
    connect(m_setDefaultButton, &QPushButton::clicked, this, &UI_MarkerSelectionWidget::setDefaultClicked);
}

std::vector<bool> UI_MarkerSelectionWidget::markerSelectionState() const { return m_markerStates; }

std::vector<int> UI_MarkerSelectionWidget::selectedMarkers() const {
    std::vector<int> out;
    if (m_showSampleBox && m_sampleState) out.push_back(-1);
    for (size_t i = 0; i < m_markerStates.size(); ++i)
        if (m_markerStates[i]) out.push_back(static_cast<int>(i));
    return out;
}

const std::vector<QCheckBox*>& UI_MarkerSelectionWidget::checkBoxes() const { return m_checkBoxes; }

QCheckBox* UI_MarkerSelectionWidget::sampleBox() const { return m_sampleBox; }

QLabel* UI_MarkerSelectionWidget::statusLine() const { return m_statusLine; }

bool UI_MarkerSelectionWidget::event(QEvent* event) {
    // Polish comes before the window's first layout, Show whenever the panel
    // appears (a tab first laid out elsewhere): the line's room is there
    // before any message, wherever the line may speak.
    const QEvent::Type type = event->type();
    if (type == QEvent::Polish || type == QEvent::Show || type == QEvent::ParentChange)
        m_statusLine->reserveRoom(!statusBarInView());
    return QWidget::event(event);
}

void UI_MarkerSelectionWidget::checkBoxClicked(int idx) {
    if (idx >= 0) {
        if (static_cast<size_t>(idx) >= m_checkBoxes.size() || !m_checkBoxes[static_cast<size_t>(idx)]) return;
        const size_t m = static_cast<size_t>(m_markers[static_cast<size_t>(idx)].index);
        const bool on = m_checkBoxes[static_cast<size_t>(idx)]->isChecked();
        m_markerStates[m] = on;
        if (m_analysis && m < m_analysis->markerStates().size()) m_analysis->setMarkerState(static_cast<int>(m), on);
    } else if (idx == -1 && m_showSampleBox && m_sampleBox) {
        m_sampleState = m_sampleBox->isChecked();
    }
}

void UI_MarkerSelectionWidget::inverseClicked() {
    for (size_t i = 0; i < m_checkBoxes.size(); ++i) {
        const bool on = !m_checkBoxes[i]->isChecked();
        const size_t m = static_cast<size_t>(m_markers[i].index);
        m_markerStates[m] = on;
        m_checkBoxes[i]->setCheckState(checkState(on));
        if (m_analysis && m < m_analysis->markerStates().size()) m_analysis->setMarkerState(static_cast<int>(m), on);
    }
    if (m_showSampleBox && m_sampleBox) {
        m_sampleState = !m_sampleBox->isChecked();
        m_sampleBox->setCheckState(checkState(m_sampleState));
    }
}

void UI_MarkerSelectionWidget::loadClicked() {
    const QString folder = storedFolder("exportDefaultFilePath");
    const QString start = QDir(folder.isEmpty() ? QDir::homePath() : folder).absolutePath();
    const QStringList files = UI_ModalDialogs::openFiles(this, start, tr("Text Files (*.txt)"), false);
    if (files.isEmpty()) {
        refreshWidget(m_showSampleBox);
        return;
    }
    // A selection is taken only for the markers it was made for; anything
    // else is refused whole and changes neither the panel nor the default.
    MCV_CytometryData* dataSet = MCV_CytometryData::Instance();
    const size_t markers = static_cast<size_t>(std::max(0, dataSet->fileVariableCount()));
    std::vector<bool> flags;
    size_t flagCount = 0;
    const MarkerFlagsRead result = readMarkerFlags(files.first().toStdString(), markers, &flags, &flagCount);
    if (result != MarkerFlagsRead::Read) {
        const QString refusal =
            markerFlagsRefusal(result, files.first(), flagCount, markers) + " The marker selection is unchanged.";
        showStatus(refusal);
        UI_ModalDialogs::message(QMessageBox::Warning, this, tr("Load Selection"), refusal);
        return;
    }
    m_markerStates = MCV_MarkerDefault::fromFileFlags(flags, markers).statesFor(*dataSet);
    MCV_Settings::Instance()->setDefaultMarkers(m_markerStates);
    qDebug() << "\nLoaded default marker states from file. New Analyses will be created with the new "
                "default setting.";
    showStatus("Loaded the marker selection from " + files.first() + ". New analyses start with it.");
    refreshWidget(m_showSampleBox);
}

void UI_MarkerSelectionWidget::setDefaultClicked() {
    MCV_Settings::Instance()->setDefaultMarkers(m_markerStates);
    // Beside the loaded files, where the import looks for it, and never in a
    // folder remembered from anything else (an image, a template). Only the
    // files' markers and the sample tag are written (MCV_MarkerDefault).
    MCV_CytometryData* dataSet = MCV_CytometryData::Instance();
    const QString path = QString::fromStdString(MCV_MarkerDefault::filePath(*dataSet));
    QString why = "no data files are loaded";
    if (!path.isEmpty() &&
        writeBoolVectorToFile(path.toStdString(), MCV_MarkerDefault::fromStates(m_markerStates, *dataSet).fileFlags(),
                              &why)) {
        qDebug() << "\nSaved default marker states to " << path
                 << "\nMarker states will be loaded automatically when loading .fcs files from this directory.";
        showStatus("Saved the default marker states to " + path +
                   ". They are applied when files are opened from this folder.");
        return;
    }
    qDebug().noquote() << "\nCould not write default states to disk:" << why;
    showStatus(path.isEmpty() ? "Could not save the default marker states: " + why + "."
                              : "Could not write the default marker states to " + path + ": " + why + ".");
}

void UI_MarkerSelectionWidget::showStatus(const QString& text) {
    if (QMainWindow* window = owningMainWindow(this)) window->statusBar()->showMessage(text);
    if (statusBarInView()) return;
    m_statusLine->setMessage(text);
}

bool UI_MarkerSelectionWidget::statusBarInView() const {
    const QWidget* top = window();
    if (qobject_cast<const QDockWidget*>(top) && top->parentWidget()) top = top->parentWidget()->window();
    return qobject_cast<const QMainWindow*>(top) != nullptr;
}
