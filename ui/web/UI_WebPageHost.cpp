#include "UI_WebPageHost.h"

#include "ui/base/UI_Settings.h"
#include "ui/base/safeFileName.h"
#include "data/MCV_DerivedData.h"
#include "data/readTextFile.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QList>
#include <QMetaType>
#include <QPalette>
#include <QTextStream>
#include <QUrl>
#include <QWebFrame>
#include <QWebPage>
#include <QWebView>

void UI_WebPageHost::registerBridgeTypes() {
    // Registering the type also registers its conversion to QSequentialIterable,
    // which the bridge uses for arrays.
    qRegisterMetaType<QList<int>>("QList<int>");
}

void UI_WebPageHost::hideScrollBars(QWebView* view) {
    QWebFrame* frame = view->page()->mainFrame();
    frame->setScrollBarPolicy(Qt::Horizontal, Qt::ScrollBarAlwaysOff);
    frame->setScrollBarPolicy(Qt::Vertical, Qt::ScrollBarAlwaysOff);
}

void UI_WebPageHost::makeTransparent(QWebView* view) {
    // The web page paints its own background with the palette's base brush
    // before the document is drawn; without this the view is a white box.
    QPalette palette = view->palette();
    palette.setBrush(QPalette::Base, Qt::transparent);
    palette.setBrush(QPalette::Window, Qt::transparent);
    view->setPalette(palette);
    view->page()->setPalette(palette);
    view->setAttribute(Qt::WA_OpaquePaintEvent, false);
    view->setAutoFillBackground(false);
}

void UI_WebPageHost::loadPage(QWebView* view, const QString& pagePath, const QString& baseUrl) {
    registerBridgeTypes();
    view->setHtml(readTextFile(pagePath), QUrl(baseUrl));
}

QString UI_WebPageHost::styleText(const QString& stylePath) {
    return "<style type=\"text/css\">" + readTextFile(stylePath) + "</style>";
}

void UI_WebPageHost::debug(const QString& text) { qDebug().noquote() << "Javascript Debug Info: " + text; }

QString UI_WebPageHost::standaloneSvg(QString xml, const QString& style) {
    static const QString namespaces =
        " xmlns=\"http://www.w3.org/2000/svg\" xmlns:xlink=\"http://www.w3.org/1999/xlink\"";
    const int open = xml.indexOf("<svg");
    if (open >= 0) xml.insert(open + 4, namespaces);
    const int close = xml.indexOf("</svg>");
    if (close >= 0) xml.insert(close, style);
    // The engine serialises a no-break space (names may hold one) as the HTML
    // entity, which XML does not define; the numeric reference is the same
    // character in both.
    xml.replace(QStringLiteral("&nbsp;"), QStringLiteral("&#160;"));
    return xml;
}

void UI_WebPageHost::saveSvg(QWidget* parent, const MCV_DerivedData* current, const QString& xml,
                             const QString& style) {
    if (!current) return;

    UI_Settings* settings = UI_Settings::Instance();
    settings->sync();
    const QString stored = settings->value("exportDefaultFilePath").toString();

    QFileDialog dialog(parent, QString(), QString(), QString());
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDirectory(stored.isEmpty() ? QDir::home().absolutePath() : stored);
    dialog.setDefaultSuffix("svg");
    dialog.selectFile(safeFileName(QString::fromStdString(current->name())) + ".svg");
    dialog.setNameFilter(QObject::tr("SVG Image Files (*.svg)"));
    if (!dialog.exec()) return;
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty()) return;
    const QString path = chosen.first();

    settings->setValue("exportDefaultFilePath", QFileInfo(path).absolutePath());
    settings->sync();

    QFile file(path);
    if (!file.open(QIODevice::ReadWrite | QIODevice::Truncate)) return;
    QTextStream out(&file);
    out.setCodec("UTF-8");
    out << standaloneSvg(xml, style);
    out.flush();
    file.close();
}
