#include "UI_EmbeddingView.h"

#include "data/MCV_CytometryData.h"
#include "data/MCV_DerivedDataPoints.h"
#include "data/MCV_FcsHeader.h"
#include "ui/plot/UI_ScatterplotWidget.h"

#include <QCoreApplication>
#include <QDebug>
#include <QGridLayout>
#include <QMenu>
#include <QMouseEvent>

#include <algorithm>
#include <memory>
#include <string>

UI_EmbeddingView::UI_EmbeddingView(QWidget* parent, MCV_Analysis* analysis, const char* finishedLine)
    : UI_DockableWidget(parent), viewed(analysis), finished(finishedLine) {}

UI_EmbeddingView::~UI_EmbeddingView() = default;

void UI_EmbeddingView::initUI() {
    if (scatterplot || !viewed) return;
    scatterplot = new UI_ScatterplotWidget(viewed, this);
    mainLayout()->addWidget(scatterplot, 0, 0);
    connect(scatterplot, &UI_ScatterplotWidget::selectionUpdated, this, &UI_EmbeddingView::scatterplotSelectionUpdated);
    connect(scatterplot, &UI_ScatterplotWidget::rightClick, this, &UI_EmbeddingView::rightClicked);
}

namespace {

// The combined header's variable names, variable 0 first.
std::vector<std::string> variableNames(MCV_FcsHeader* header) {
    std::vector<std::string> names;
    const int variables = header ? header->numVariables() : 0;
    for (int v = 0; v < variables; ++v) names.push_back(header->variableName(v));
    return names;
}

}  // namespace

void UI_EmbeddingView::initComputation(void* a) {
    if (a != viewed || !scatterplot) return;
    MCV_FcsHeader* header = MCV_CytometryData::Instance()->combinedHeader();
    fed = true;
    scatterplot->setLocalData(header ? header->numVariables() : 0);
    scatterplot->setMarkers(variableNames(header));
    scatterplot->show();
    scatterplot->computationStarted();
    scatterplot->refresh();
    pacer.reset();
}

void UI_EmbeddingView::followColumns() {
    if (!fed || !scatterplot) return;
    MCV_FcsHeader* header = MCV_CytometryData::Instance()->combinedHeader();
    // The values first: refilling the marker list re-selects the active
    // marker, which shows its range.
    scatterplot->followColumns(header ? header->numVariables() : 0);
    scatterplot->setMarkers(variableNames(header));
}

void UI_EmbeddingView::computationUpdated(void* a) {
    if (a != viewed || !scatterplot) return;
    const UI_FramePacer::Clock::time_point start = UI_FramePacer::Clock::now();
    // The analysis rewrites its output variables as it goes; a drawn frame
    // shows their current values and ranges, the others only move the points.
    const bool frame = pacer.frameDue(start);
    if (frame) {
        scatterplot->copyLocalData();
        scatterplot->refresh();
    } else {
        scatterplot->copyLocalVertexData();
    }
    if (frame || start - lastEvents >= kEventInterval) {
        QCoreApplication::processEvents();
        lastEvents = UI_FramePacer::Clock::now();
    }
    pacer.spent(UI_FramePacer::Clock::now() - start, frame);
}

void UI_EmbeddingView::computationFinished(void* a) {
    if (a != viewed || !scatterplot) return;
    // The busy ring and the run button's icon change with the final frame:
    // changed afterwards, they would make the window draw and compose the
    // whole plot once more. (The button acts on the analysis' own state, not
    // on its icon.)
    scatterplot->computationFinished();
    scatterplot->copyLocalData();
    scatterplot->refresh();
    QCoreApplication::processEvents();
    pacer.reset();
    qDebug() << finished;
}

void UI_EmbeddingView::dataRefreshed(void* dataSet) {
    MCV_DerivedDataPoints* shared = MCV_CytometryData::Instance()->selectionPoints();
    if (dataSet && dataSet == shared) select(&shared->data());
    if (scatterplot) scatterplot->dataRefreshed(dataSet);
}

void UI_EmbeddingView::selectionRefreshed(void* /*data*/) {}

void UI_EmbeddingView::highlightRefreshed(void* dataSet) {
    if (scatterplot) scatterplot->highlightRefreshed(dataSet);
}

bool UI_EmbeddingView::fileShown(const std::vector<bool>& shown, int file) {
    return file < 0 || static_cast<size_t>(file) >= shown.size() || shown[static_cast<size_t>(file)];
}

void UI_EmbeddingView::sharedSelectionFromPlot(const std::vector<int>& plotIdxs, const std::vector<bool>& shown,
                                               std::vector<std::pair<int, int>>& out) {
    const std::vector<std::pair<int, int>>* refs = pointReferences();
    if (!refs) return;
    out.reserve(plotIdxs.size());
    for (int i : plotIdxs) {
        // An index without a point reference names no event: skipped.
        if (i < 0 || static_cast<size_t>(i) >= refs->size()) continue;
        const std::pair<int, int>& ref = (*refs)[static_cast<size_t>(i)];
        // Samples switched off in the plot stay out.
        if (fileShown(shown, ref.first)) out.push_back(ref);
    }
}

void UI_EmbeddingView::scatterplotSelectionUpdated() {
    if (!scatterplot || !viewed) return;
    std::vector<int>* idxs = scatterplot->selectionIdxs();
    MCV_DerivedDataPoints* shared = MCV_CytometryData::Instance()->selectionPoints();
    std::vector<std::pair<int, int>>& out = shared->data();
    out.clear();
    if (idxs) sharedSelectionFromPlot(*idxs, scatterplot->sampleSelectionState(), out);
    shared->refreshed(this);
}

void UI_EmbeddingView::select(std::vector<std::pair<int, int>>* points) {
    if (!scatterplot) return;
    if (points && points != &selectedPoints) selectedPoints = *points;
    if (!points) selectedPoints.clear();
    MCV_CytometryData* dataSet = MCV_CytometryData::Instance();
    const bool fromThisView = dataSet->selectionPoints()->refreshSource() == this;
    if (selectedPoints.empty() && m_numSelected == 0) {
        showSelectionFlags(fromThisView);
        scatterplot->refresh();
        return;
    }
    const int files = dataSet->numFiles();
    m_selectionMasks.resize(static_cast<size_t>(std::max(0, files)));
    for (int f = 0; f < files; ++f) {
        MCV_FcsHeader* header = dataSet->header(f);
        m_selectionMasks[static_cast<size_t>(f)].assign(static_cast<size_t>(header ? header->numEvents() : 0), false);
    }
    auto valid = [this](const std::pair<int, int>& p) {
        return p.first >= 0 && static_cast<size_t>(p.first) < m_selectionMasks.size() && p.second >= 0 &&
               static_cast<size_t>(p.second) < m_selectionMasks[static_cast<size_t>(p.first)].size();
    };
    for (size_t k = 0; k < selectedPoints.size(); ++k) {
        const std::pair<int, int>& p = selectedPoints[k];
        if (!valid(p)) continue;
        auto bit = m_selectionMasks[static_cast<size_t>(p.first)][static_cast<size_t>(p.second)];
        if (bit) qDebug() << "double entry at " << k << ":" << p.first << ", " << p.second;
        bit = true;
    }
    static const std::vector<std::pair<int, int>> none;
    const std::vector<std::pair<int, int>>* known = pointReferences();
    const std::vector<std::pair<int, int>>& refs = known ? *known : none;
    m_selectionFlags.resize(refs.size(), 0);
    for (size_t i = 0; i < refs.size(); ++i)
        m_selectionFlags[i] =
            valid(refs[i]) && m_selectionMasks[static_cast<size_t>(refs[i].first)][static_cast<size_t>(refs[i].second)]
                ? 32767
                : 0;
    m_numSelected = static_cast<int64_t>(selectedPoints.size());
    showSelectionFlags(fromThisView);
    scatterplot->refresh();
}

void UI_EmbeddingView::showSelectionFlags(bool fromThisView) {
    if (!m_selectionFlags.empty())
        scatterplot->setSelection(&m_selectionFlags, fromThisView);
    else
        // No flags to draw (a level opened after the selection was made, before
        // it had points): its panels count the selection as it is now all the same.
        scatterplot->refreshSelectionPanels();
}

void UI_EmbeddingView::showSharedSelection() { select(&MCV_CytometryData::Instance()->selectionPoints()->data()); }

void UI_EmbeddingView::addContextEntries(QMenu* /*menu*/) {}

void UI_EmbeddingView::rightClicked(QMouseEvent* event) {
    if (!scatterplot || !event) return;
    auto menu = std::make_unique<QMenu>();
    // The plot ignores left presses while it knows of an open menu; it learns
    // here when the menu has gone.
    connect(menu.get(), &QMenu::aboutToHide, scatterplot, &UI_ScatterplotWidget::menuHidden);
    addContextEntries(menu.get());
    scatterplot->showContextMenu(event->localPos().toPoint(), menu.get());
}

void UI_EmbeddingView::mousePressEvent(QMouseEvent* event) {
    if (scatterplot) scatterplot->setFocus(Qt::OtherFocusReason);
    if (event->button() == Qt::RightButton) rightClicked(event);
}

void UI_EmbeddingView::resizeEvent(QResizeEvent* /*event*/) {}
