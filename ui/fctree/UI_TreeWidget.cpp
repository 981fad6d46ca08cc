#include "UI_TreeWidget.h"

#include "analysis/fc/MCV_FCTree.h"
#include "data/MCV_CytometryData.h"
#include "ui/web/UI_WebPageHost.h"

#include <QDebug>
#include <QGridLayout>
#include <QMetaMethod>
#include <QWebFrame>
#include <QWebPage>
#include <QWebView>

#include <string>

UI_TreeWidget::UI_TreeWidget(QWidget* parent) : UI_DockableWidget(parent) {
    // The page asks for trees by name; the data model makes them through the
    // kind the analysis layer installs.
    MCV_FCTree::registerKind();
    initUI();
}

UI_TreeWidget::~UI_TreeWidget() { UI_WebPageHost::releasePageView(this, view); }

void UI_TreeWidget::initUI() {
    view = UI_WebPageHost::createPageView(this, mainFrame, QStringLiteral(":/tree/tree.html"),
                                          QStringLiteral("qrc:/tree/"));
    style = UI_WebPageHost::styleText(QStringLiteral(":/tree/tree.css"));
}

void UI_TreeWidget::connectJs() { mainFrame->addToJavaScriptWindowObject(QStringLiteral("Qt"), this); }

// The engine may report the load as finished before the page's script has
// run (seen when two pages load at the same time); what is sent then is lost.
// The list then waits until the page connects to the last signal it listens
// to, and is sent once the page's script has finished.
void UI_TreeWidget::webViewFinishedLoading(bool /*ok*/) {
    if (!isSignalConnected(QMetaMethod::fromSignal(&UI_TreeWidget::qt_addAvailableData))) {
        listWaiting = true;
        return;
    }
    listTrees();
}

void UI_TreeWidget::connectNotify(const QMetaMethod& signal) {
    UI_DockableWidget::connectNotify(signal);
    if (!listWaiting || signal != QMetaMethod::fromSignal(&UI_TreeWidget::qt_addAvailableData)) return;
    listWaiting = false;
    QMetaObject::invokeMethod(
        this, [this] { listTrees(); }, Qt::QueuedConnection);
}

void UI_TreeWidget::listTrees() {
    for (MCV_FCTree* tree : MCV_CytometryData::Instance()->derivedDataTrees())
        if (tree) emit qt_addAvailableData(QString::fromStdString(tree->name()));
}

void UI_TreeWidget::js_selectData(QString name) {
    qDebug().noquote() << "Data Selected: " + name;
    current = MCV_CytometryData::Instance()->derivedDataTrees(name.toStdString(), true);
    if (current) emit qt_setData(QString::fromStdString(current->jsonObject()));
}

void UI_TreeWidget::dataRefreshed(void* dataSet) {
    if (!dataSet) return;
    // Only registered trees are read: the pointer may name any kind of data.
    for (MCV_FCTree* tree : MCV_CytometryData::Instance()->derivedDataTrees()) {
        if (static_cast<void*>(tree) != dataSet) continue;
        emit qt_addAvailableData(QString::fromStdString(tree->name()));
        if (tree == current) emit qt_setData(QString::fromStdString(tree->jsonObject()));
        return;
    }
}

void UI_TreeWidget::js_saveSVG(QString xml) { UI_WebPageHost::saveSvg(this, current, xml, style); }

void UI_TreeWidget::js_debug(QString text) { UI_WebPageHost::debug(text); }

void UI_TreeWidget::resizeEvent(QResizeEvent* /*event*/) {}
