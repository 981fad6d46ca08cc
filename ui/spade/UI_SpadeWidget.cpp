#include "UI_SpadeWidget.h"

#include "analysis/spade/MCV_SpadeAnalysis.h"
#include "analysis/template/MCV_TemplateAnalysis.h"
#include "data/MCV_CytometryData.h"
#include "data/MCV_DerivedDataClusters.h"
#include "data/MCV_DerivedDataPoints.h"
#include "data/MCV_ExportNames.h"
#include "data/MCV_FcsWriter.h"
#include "ui/base/UI_ModalDialogs.h"
#include "ui/base/UI_Settings.h"
#include "ui/base/abridgedLines.h"
#include "ui/base/safeFileName.h"
#include "ui/web/UI_WebPageHost.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMetaMethod>
#include <QStringList>
#include <QWebFrame>
#include <QWebPage>
#include <QWebView>

#include <algorithm>
#include <map>
#include <string>

namespace {

// Every view that shows a tree, in order of construction: a master page lays
// its tree out for all views of it, so it needs to know whether any of them
// is shown.
std::vector<UI_SpadeWidget*>& treeViews() {
    static std::vector<UI_SpadeWidget*> views;
    return views;
}

struct TreeBubble {
    QString name;
    std::vector<int> nodes;
};

// The bubbles every view of a tree shows, per tree that has a view, in the
// order the pages list them; a node is in one bubble at most.
std::map<const MCV_DerivedDataClusters*, std::vector<TreeBubble>>& treeBubbles() {
    static std::map<const MCV_DerivedDataClusters*, std::vector<TreeBubble>> bubbles;
    return bubbles;
}

QString bubblesJson(const std::vector<TreeBubble>& bubbles) {
    QJsonArray list;
    for (const TreeBubble& b : bubbles) {
        QJsonArray nodes;
        for (int i : b.nodes) nodes.append(i);
        list.append(QJsonObject{{"name", b.name}, {"nodes", nodes}});
    }
    return QString::fromUtf8(QJsonDocument(list).toJson(QJsonDocument::Compact));
}

}  // namespace

UI_SpadeWidget::UI_SpadeWidget(QWidget* parent, MCV_SpadeAnalysis* spadeAnalysis, bool slaveView)
    : UI_SpadeWidget(parent, spadeAnalysis, spadeAnalysis, slaveView) {}

UI_SpadeWidget::UI_SpadeWidget(QWidget* parent, MCV_TemplateAnalysis* templateAnalysis, bool slaveView)
    : UI_SpadeWidget(parent, templateAnalysis, nullptr, slaveView) {}

UI_SpadeWidget::UI_SpadeWidget(QWidget* parent, MCV_Analysis* base, MCV_SpadeAnalysis* spade, bool slave)
    : UI_DockableWidget(parent), analysis(spade), analysisBase(base), isSlave(slave) {
    if (!base) return;
    const QString name = QString::fromStdString(base->name());
    setWindowTitle(name);
    clusters = MCV_CytometryData::Instance()->derivedDataClusters(base->name(), true);
    treeViews().push_back(this);
    initUI();
}

UI_SpadeWidget::~UI_SpadeWidget() {
    UI_WebPageHost::releasePageView(this, webView);
    auto& views = treeViews();
    views.erase(std::remove(views.begin(), views.end(), this), views.end());
    const bool lastOfTree =
        std::none_of(views.begin(), views.end(), [this](const UI_SpadeWidget* v) { return v->clusters == clusters; });
    if (clusters && lastOfTree) treeBubbles().erase(clusters);
    // No hide event reaches a view that is being destroyed.
    if (shownNow) announceTreeShown();
}

void UI_SpadeWidget::initUI() {
    webView = UI_WebPageHost::createPageView(
        this, mainFrame, isSlave ? QStringLiteral(":/spade/spade_slave.html") : QStringLiteral(":/spade/spade.html"),
        QStringLiteral("qrc:/spade/"));
    styleSheet = UI_WebPageHost::styleText(QStringLiteral(":/spade/spade.css"));
}

void UI_SpadeWidget::connectJs() { mainFrame->addToJavaScriptWindowObject(QStringLiteral("Qt"), this); }

// The engine may report the load as finished before the page's script has
// run (seen when two pages load at the same time); what is sent then is lost.
// The first push then waits until the page connects to the last signal it
// listens to, and runs once the page's script has finished.
void UI_SpadeWidget::webViewFinishedLoading(bool /*ok*/) {
    if (!clusters) return;
    if (!isSignalConnected(lastPageSignal())) {
        firstPushWaiting = true;
        return;
    }
    firstPush();
}

QMetaMethod UI_SpadeWidget::lastPageSignal() const {
    return isSlave ? QMetaMethod::fromSignal(&UI_SpadeWidget::qt_setPositions)
                   : QMetaMethod::fromSignal(&UI_SpadeWidget::qt_setData);
}

void UI_SpadeWidget::connectNotify(const QMetaMethod& signal) {
    UI_DockableWidget::connectNotify(signal);
    if (!firstPushWaiting || signal != lastPageSignal()) return;
    firstPushWaiting = false;
    QMetaObject::invokeMethod(
        this, [this] { firstPush(); }, Qt::QueuedConnection);
}

void UI_SpadeWidget::firstPush() {
    const auto bubbles = treeBubbles().find(clusters);
    const bool hasBubbles = bubbles != treeBubbles().end() && !bubbles->second.empty();
    if (isSlave) {
        emit qt_setData(QString::fromStdString(clusters->jsonObject()));
        if (hasBubbles) emit qt_setBubbles(bubblesJson(bubbles->second));
        emit qt_setPositions(QString::fromStdString(clusters->spadePositions()));
        return;
    }
    // What was said before the page listened is lost.
    layoutActive = treeShown();
    emit qt_setLayoutActive(layoutActive);
    // A master opened on a tree that exists already (a template
    // classification has no view of its own) lays it out at once; a master
    // made with its analysis waits for the first result.
    if (clusters->numClusters() == 0) return;
    pushData();
    if (hasBubbles) emit qt_setBubbles(bubblesJson(bubbles->second));
}

bool UI_SpadeWidget::treeShown() const {
    const auto& views = treeViews();
    return std::any_of(views.begin(), views.end(),
                       [this](const UI_SpadeWidget* v) { return v->clusters == clusters && v->shownNow; });
}

void UI_SpadeWidget::announceTreeShown() {
    if (!clusters) return;
    const bool shown = treeShown();
    // A copy: what a page does with the news is its own.
    const std::vector<UI_SpadeWidget*> views = treeViews();
    for (UI_SpadeWidget* v : views) {
        if (v->isSlave || v->clusters != clusters || v->layoutActive == shown) continue;
        v->layoutActive = shown;
        emit v->qt_setLayoutActive(shown);
    }
}

void UI_SpadeWidget::pushData() { emit qt_setData(QString::fromStdString(clusters->jsonObject())); }

// A new tree: every page starts it without bubbles.
void UI_SpadeWidget::dataRefreshed(void* dataSet) {
    if (!clusters || dataSet != clusters) return;
    const auto bubbles = treeBubbles().find(clusters);
    if (bubbles != treeBubbles().end()) bubbles->second.clear();
    pushData();
}

// The page keeps its own selection and highlight; those made elsewhere are
// not shown.
void UI_SpadeWidget::selectionRefreshed(void* /*data*/) {}
void UI_SpadeWidget::highlightRefreshed(void* /*data*/) {}

void UI_SpadeWidget::spadePositionsRefreshed(void* dataSet) {
    if (!clusters) return;
    if (!isSlave && dataSet != clusters) return;
    emit qt_setPositions(QString::fromStdString(clusters->spadePositions()));
}

std::vector<int> UI_SpadeWidget::validClusters(const QList<int>& indices) const {
    std::vector<int> valid;
    if (!clusters) return valid;
    const int n = clusters->numClusters();
    std::vector<bool> seen(static_cast<size_t>(n), false);
    for (int i : indices) {
        if (i < 0 || i >= n || seen[static_cast<size_t>(i)]) continue;
        seen[static_cast<size_t>(i)] = true;
        valid.push_back(i);
    }
    return valid;
}

void UI_SpadeWidget::selectionUpdated(QList<int> selectedClusters) {
    if (!clusters) return;
    const std::vector<int> valid = validClusters(selectedClusters);
    if (valid.empty() && m_numSelected == 0) return;
    m_numSelected = clusters->select(valid);
    MCV_CytometryData::Instance()->selectionPoints()->refreshed(this);
}

void UI_SpadeWidget::jsHighlightUpdated(int highlightId) {
    if (!clusters) return;
    if (highlightId < 0 || highlightId >= clusters->numClusters()) highlightId = -1;
    clusters->setHighlight(highlightId);
}

void UI_SpadeWidget::nodePositionsUpdated(QString json) {
    if (clusters) clusters->updateSpadePositions(json.toUtf8().toStdString());
}

void UI_SpadeWidget::warn(const QString& text) {
    UI_ModalDialogs::message(QMessageBox::Warning, this, QStringLiteral("Spade Tree"), text);
}

// The page shows the bubble as soon as it is saved; one that is not kept is
// taken back from the page before the user is told, and only a kept one is
// logged as created.
void UI_SpadeWidget::refuseBubble(const QString& name, const QString& why) {
    emit qt_bubbleRefused(name);
    warn(why);
}

void UI_SpadeWidget::js_subtreeCreated(QList<int> clusterIndices, QString name) {
    if (!analysis) {
        refuseBubble(name, "Bubbles become data sets only on SPADE trees; \"" + name +
                               "\" was not stored, as this tree is a template classification.");
        return;
    }
    std::vector<int> valid = validClusters(clusterIndices);
    if (valid.empty()) {
        qDebug().noquote() << "The bubble \"" + name + "\" names no cluster of this tree; nothing was stored.";
        emit qt_bubbleRefused(name);
        return;
    }
    if (!analysis->addSubtree(name.toUtf8().toStdString(), &valid)) {
        refuseBubble(name, "The bubble could not be stored as \"" + name +
                               "\": another data set has that name. Please save the bubble under another name.");
        return;
    }
    QStringList items;
    for (int i : clusterIndices) items << QString::number(i);
    qDebug().noquote() << "New Subtree created: " + name + " = (" + items.join(", ") + ")";
    keepBubble(name, valid, true);
    emit subtreeCreated();
}

void UI_SpadeWidget::js_subtreeEdited(QList<int> clusterIndices, QString name) {
    const std::string setName = name.toUtf8().toStdString();
    // An edit never makes a set: only a bubble kept when it was saved has
    // one to refill.
    if (!analysis || !analysis->madeSubtree(setName)) {
        qDebug().noquote() << "The bubble \"" + name + "\" is no data set of this tree; nothing was refilled.";
        return;
    }
    if (clusterIndices.isEmpty()) {
        qDebug().noquote() << "Bubble left the tree: " + name + "; its data set keeps its cells.";
        keepBubble(name, {}, false);
        return;
    }
    std::vector<int> valid = validClusters(clusterIndices);
    if (valid.empty()) {
        qDebug().noquote() << "The bubble \"" + name + "\" names no cluster of this tree; nothing was refilled.";
        return;
    }
    if (!analysis->addSubtree(setName, &valid)) return;
    QStringList items;
    for (int i : valid) items << QString::number(i);
    qDebug().noquote() << "Subtree refilled: " + name + " = (" + items.join(", ") + ")";
    keepBubble(name, valid, false);
    emit subtreeCreated();
}

// The page that reported the change holds it already; the list follows
// the page's rules: the nodes leave any other bubble, a bubble left without
// nodes is gone, and a saved bubble is made anew, last.
void UI_SpadeWidget::keepBubble(const QString& name, const std::vector<int>& nodes, bool saved) {
    std::vector<TreeBubble>& bubbles = treeBubbles()[clusters];
    for (TreeBubble& b : bubbles) {
        if (b.name == name) continue;
        b.nodes.erase(std::remove_if(b.nodes.begin(), b.nodes.end(),
                                     [&](int i) { return std::find(nodes.begin(), nodes.end(), i) != nodes.end(); }),
                      b.nodes.end());
    }
    const bool madeAnew = saved || nodes.empty();
    bubbles.erase(std::remove_if(bubbles.begin(), bubbles.end(),
                                 [&](const TreeBubble& b) { return b.nodes.empty() || (madeAnew && b.name == name); }),
                  bubbles.end());
    if (!nodes.empty()) {
        const auto kept =
            std::find_if(bubbles.begin(), bubbles.end(), [&](const TreeBubble& b) { return b.name == name; });
        if (kept != bubbles.end())
            kept->nodes = nodes;
        else
            bubbles.push_back({name, nodes});
    }
    pushBubbles();
}

void UI_SpadeWidget::pushBubbles() {
    const QString json = bubblesJson(treeBubbles()[clusters]);
    // A copy: what a page does with the news is its own.
    const std::vector<UI_SpadeWidget*> views = treeViews();
    for (UI_SpadeWidget* v : views)
        if (v != this && v->clusters == clusters) emit v->qt_setBubbles(json);
}

void UI_SpadeWidget::exportSubtree(QString name, int mode) {
    const std::string setName = name.toUtf8().toStdString();
    if (!analysis || !analysis->madeSubtree(setName)) {
        warn("There is no bubble \"" + name + "\" of this tree to save. Save the bubble from its dialog first.");
        return;
    }

    UI_Settings* settings = UI_Settings::Instance();
    settings->sync();
    const QString stored = settings->value("exportDefaultFilePath").toString();
    const QString file = UI_ModalDialogs::saveFile(
        this, stored.isEmpty() ? QDir::home().absolutePath() : stored, QStringLiteral("fcs"),
        QStringLiteral("Cytometry Files (*.fcs);;Binary File (*.bin)"), safeFileName(name) + ".fcs");
    if (file.isEmpty()) return;
    settings->setValue("exportDefaultFilePath", QFileInfo(file).absolutePath());
    settings->sync();

    // The data model picks the writer by the file name's suffix.
    const bool binary = MCV_ExportNames::extension(file.toStdString()) == "bin";
    std::vector<int> markers;
    for (unsigned m : *analysis->selectedMarkers()) markers.push_back(static_cast<int>(m));
    if (binary && markers.empty()) {
        warn("The binary file holds the analysis' enabled markers, and none is enabled; nothing was written.");
        return;
    }
    MCV_CytometryData* dataSet = MCV_CytometryData::Instance();
    const int result = dataSet->writeToFile(setName, file.toStdString(), mode, &markers);
    const bool written = binary ? result == 1 : result == MCV_FcsWriter::Written;
    if (!written)
        warn("The bubble \"" + name + "\" could not be written to \"" + file + "\":\n" +
             abridgedLines(dataSet->exportFailure()));
}

void UI_SpadeWidget::js_saveSVG(QString xml) { UI_WebPageHost::saveSvg(this, clusters, xml, styleSheet); }

void UI_SpadeWidget::js_debug(QString text) { UI_WebPageHost::debug(text); }

void UI_SpadeWidget::resizeEvent(QResizeEvent* /*event*/) {}

void UI_SpadeWidget::showEvent(QShowEvent* event) {
    UI_DockableWidget::showEvent(event);
    shownNow = true;
    announceTreeShown();
}

void UI_SpadeWidget::hideEvent(QHideEvent* event) {
    UI_DockableWidget::hideEvent(event);
    shownNow = false;
    announceTreeShown();
}
