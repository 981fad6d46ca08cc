#include "UI_HeatMapWidget.h"

#include "data/MCV_CytometryData.h"
#include "data/MCV_DerivedDataClusters.h"
#include "data/MCV_DerivedDataPoints.h"
#include "data/MCV_FcsHeader.h"
#include "data/MCV_MeasuredMarkers.h"
#include "data/MCV_Settings.h"
#include "ui/base/UI_ModalDialogs.h"
#include "ui/base/UI_Settings.h"
#include "ui/base/abridgedLines.h"
#include "ui/base/saveClustersWithDialog.h"
#include "ui/base/safeFileName.h"
#include "ui/base/writeWholeFile.h"
#include "ui/web/UI_WebPageHost.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QMetaMethod>
#include <QSet>
#include <QStringList>
#include <QWebFrame>
#include <QWebPage>
#include <QWebView>

#include <algorithm>
#include <string>

namespace {

// The registered cluster set at `data`, or null: notifications name derived
// data of every kind, so the pointer is only compared, never read.
MCV_DerivedDataClusters* registeredClusters(void* data) {
    if (!data) return nullptr;
    for (MCV_DerivedDataClusters* set : MCV_CytometryData::Instance()->derivedDataClusters())
        if (static_cast<void*>(set) == data) return set;
    return nullptr;
}

// Whether all of `bytes` landed in `path`; a failure leaves the file as it
// was and puts the writer's reason into `why`.
bool writeFile(const QString& path, const std::string& bytes, QString* why) {
    return writeWholeFile(path, QByteArray::fromStdString(bytes), why);
}

// The start folder of an export dialog: the folder stored under `key`, or
// the home folder.
QString exportFolder(const QString& key) {
    UI_Settings* settings = UI_Settings::Instance();
    settings->sync();
    const QString stored = settings->value(key).toString();
    return stored.isEmpty() ? QDir::home().absolutePath() : stored;
}

void rememberFolder(const QString& key, const QString& file) {
    UI_Settings* settings = UI_Settings::Instance();
    settings->setValue(key, QFileInfo(file).absolutePath());
    settings->sync();
}

}  // namespace

UI_HeatMapWidget::UI_HeatMapWidget(QWidget* parent) : UI_DockableWidget(parent) { initUI(); }

UI_HeatMapWidget::~UI_HeatMapWidget() { UI_WebPageHost::releasePageView(this, view); }

void UI_HeatMapWidget::initUI() {
    view = UI_WebPageHost::createPageView(this, mainFrame, QStringLiteral(":/heatmap/heatmap.html"),
                                          QStringLiteral("qrc:/heatmap/"));
    style = UI_WebPageHost::styleText(QStringLiteral(":/heatmap/heatmap.css"));
}

void UI_HeatMapWidget::connectJs() { mainFrame->addToJavaScriptWindowObject(QStringLiteral("Qt"), this); }

// The engine may report the load as finished before the page's scripts have
// run (seen when two pages load at the same time); what is sent then is lost.
// The first push then waits until the page connects to the last of its
// signals, and runs once the page's script has finished.
void UI_HeatMapWidget::webViewFinishedLoading(bool /*ok*/) {
    if (!isSignalConnected(QMetaMethod::fromSignal(&UI_HeatMapWidget::qt_setMarkerSelection))) {
        firstPushWaiting = true;
        return;
    }
    firstPush();
}

void UI_HeatMapWidget::connectNotify(const QMetaMethod& signal) {
    UI_DockableWidget::connectNotify(signal);
    if (!firstPushWaiting || signal != QMetaMethod::fromSignal(&UI_HeatMapWidget::qt_setMarkerSelection)) return;
    firstPushWaiting = false;
    QMetaObject::invokeMethod(
        this, [this] { firstPush(); }, Qt::QueuedConnection);
}

void UI_HeatMapWidget::firstPush() {
    for (MCV_DerivedDataClusters* set : MCV_CytometryData::Instance()->derivedDataClusters())
        if (set) emit qt_addAvailableData(QString::fromStdString(set->name()));
    pushMarkerFlags();
}

// The page takes marker flags only before its first data, and extends them
// with unselected rows for variables added later (the output variables of a
// later analysis among them).
void UI_HeatMapWidget::pushMarkerFlags() {
    std::vector<bool> flags = MCV_Settings::Instance()->defaultMarkers;
    if (flags.empty()) {
        MCV_FcsHeader* header = MCV_CytometryData::Instance()->combinedHeader();
        if (header) flags = MCV_MeasuredMarkers::flags(*header->markerList(0));
    }
    if (flags.empty()) return;
    QList<int> markers;
    for (bool flag : flags) markers.append(flag ? 1 : 0);
    markerFlagsPushed = true;
    emit qt_setMarkerSelection(markers);
}

void UI_HeatMapWidget::js_selectData(QString text) {
    qDebug().noquote() << "Data Selected: " + text;
    const std::string name = text.toStdString();
    for (MCV_DerivedDataClusters* set : MCV_CytometryData::Instance()->derivedDataClusters()) {
        if (!set || set->name() != name) continue;
        // None could be sent while the data set had no variables; without
        // them the page would show every row.
        if (!markerFlagsPushed) pushMarkerFlags();
        current = set;
        emit qt_setData(QString::fromStdString(current->jsonObject()));
        return;
    }
    qDebug().noquote() << "There is no cluster set \"" + text + "\"; the heat map stays as it is.";
}

void UI_HeatMapWidget::dataRefreshed(void* dataSet) {
    MCV_DerivedDataClusters* set = registeredClusters(dataSet);
    if (!set) return;
    emit qt_addAvailableData(QString::fromStdString(set->name()));
    if (set == current) emit qt_setData(QString::fromStdString(set->jsonObject()));
}

void UI_HeatMapWidget::selectionRefreshed(void* dataSet) {
    if (!current || dataSet != current) return;
    pushSelection();
}

void UI_HeatMapWidget::pushSelection() {
    const std::vector<bool>& flags = current->selection();
    selection.clear();
    for (int c = 0; c < current->numClusters(); ++c)
        selection.append(static_cast<size_t>(c) < flags.size() && flags[static_cast<size_t>(c)] ? 1 : 0);
    emit qt_setSelection(selection);
}

void UI_HeatMapWidget::analysisFinished(void* /*analysis*/) {
    // The set may have gone with its analysis since it was chosen.
    if (!current || !registeredClusters(current) || !current->jsonStale()) return;
    emit qt_setData(QString::fromStdString(current->jsonObject()));
    // New data clear the page's selection; the set still has its own.
    pushSelection();
}

void UI_HeatMapWidget::highlightRefreshed(void* dataSet) {
    if (!current || dataSet != current) return;
    emit qt_setHighlight(current->highlightId());
}

std::vector<int> UI_HeatMapWidget::flaggedClusters(const QList<int>& flags) const {
    std::vector<int> indices;
    if (!current) return indices;
    const int n = std::min(current->numClusters(), static_cast<int>(flags.size()));
    for (int c = 0; c < n; ++c)
        if (flags[c] != 0) indices.push_back(c);
    return indices;
}

void UI_HeatMapWidget::js_selectionUpdated(QList<int> selectedClusters) {
    if (!current) return;
    const std::vector<int> chosen = flaggedClusters(selectedClusters);
    MCV_DerivedDataPoints* shared = MCV_CytometryData::Instance()->selectionPoints();
    std::vector<std::pair<int, int>>& points = shared->data();
    points.clear();
    size_t total = 0;
    for (int c : chosen) total += current->clusters()[static_cast<size_t>(c)].size();
    points.reserve(total);
    for (int c : chosen) {
        const MCV_DerivedDataClusters::PointList& members = current->clusters()[static_cast<size_t>(c)];
        points.insert(points.end(), members.begin(), members.end());
    }
    shared->refreshed(this);
}

void UI_HeatMapWidget::js_highlightUpdated(int highlightId) {
    if (!current) return;
    if (highlightId < 0 || highlightId >= current->numClusters()) highlightId = -1;
    current->setHighlight(highlightId);
}

void UI_HeatMapWidget::js_mergeClusters(QList<int> selectedClusters) {
    if (!current) return;
    const std::vector<int> chosen = flaggedClusters(selectedClusters);
    if (chosen.size() < 2) return;
    current->merge(chosen);
}

void UI_HeatMapWidget::js_setSubsetName(int idx, QString name) {
    if (!current || idx < 0 || idx >= current->numClusters()) return;
    current->setClusterName(idx, name.toStdString());
}

void UI_HeatMapWidget::js_saveSVG(QString xml) { UI_WebPageHost::saveSvg(this, current, xml, style); }

QString UI_HeatMapWidget::askTableFile() {
    const QString file = UI_ModalDialogs::saveFile(this, exportFolder(QStringLiteral("exportDefaultFilePath")),
                                                   QStringLiteral("csv"), QStringLiteral("Table Files (*.csv)"),
                                                   safeFileName(QString::fromStdString(current->name())) + ".csv");
    if (!file.isEmpty()) rememberFolder(QStringLiteral("exportDefaultFilePath"), file);
    return file;
}

void UI_HeatMapWidget::js_saveCSV() {
    if (!current) return;
    const QString file = askTableFile();
    if (file.isEmpty()) return;
    QString why;
    if (!writeFile(file, current->csvString(), &why))
        warn("The table could not be written to \"" + file + "\": " + why + ".");
}

// One table per cluster, named the chosen file's stem + the cluster's name +
// ".csv" ("run.csv" for clusters A and B gives runA.csv and runB.csv). Two
// clusters whose names give the same file get "-2", "-3", ... after the
// name. Every cluster's file is tried; those that fail are named together.
void UI_HeatMapWidget::js_saveStatistics() {
    if (!current) return;
    const QString file = askTableFile();
    if (file.isEmpty()) return;
    const QString stem = file.endsWith(QLatin1String(".csv"), Qt::CaseInsensitive) ? file.left(file.size() - 4) : file;
    qDebug().noquote() << stem;

    QSet<QString> used;
    QStringList failed;
    for (int c = 0; c < current->numClusters(); ++c) {
        const QString base = stem + safeFileName(QString::fromStdString(current->clusterName(c)));
        QString path = base + ".csv";
        for (int k = 2; used.contains(path); ++k) path = base + "-" + QString::number(k) + ".csv";
        used.insert(path);
        QString why;
        if (!writeFile(path, current->originCsvString(c), &why)) failed << path + ": " + why;
    }
    if (!failed.isEmpty())
        warn("The cell origins of " + QString::number(failed.size()) + " of " +
             QString::number(current->numClusters()) + " clusters could not be written:\n" + abridgedLines(failed));
}

void UI_HeatMapWidget::js_saveClusters(bool separateSamples) {
    if (!current) return;
    saveClustersWithDialog(this, current->name(), separateSamples, QStringLiteral("Heat Map"));
}

void UI_HeatMapWidget::js_debug(QString text) { UI_WebPageHost::debug(text); }

void UI_HeatMapWidget::warn(const QString& text) {
    UI_ModalDialogs::message(QMessageBox::Warning, this, QStringLiteral("Heat Map"), text);
}

void UI_HeatMapWidget::resizeEvent(QResizeEvent* /*event*/) {}
