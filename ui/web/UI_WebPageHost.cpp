#include "UI_WebPageHost.h"

#include "ui/base/UI_ModalDialogs.h"
#include "ui/base/UI_Settings.h"
#include "ui/base/safeFileName.h"
#include "ui/base/writeWholeFile.h"
#include "data/MCV_DerivedData.h"
#include "data/readTextFile.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QList>
#include <QMetaType>
#include <QPalette>
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

void UI_WebPageHost::releasePageView(QObject* dock, QWebView* view) {
    if (!view) return;
    QObject::disconnect(view, nullptr, dock, nullptr);
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
    return xmlLegalText(xml);
}

QString UI_WebPageHost::xmlLegalText(const QString& text) {
    QString out;
    out.reserve(text.size());
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            out += c;
            out += text[++i];
            continue;
        }
        const ushort u = c.unicode();
        const bool control = u < 0x20 && u != 0x9 && u != 0xA && u != 0xD;
        if (c.isSurrogate() || control || u == 0xFFFE || u == 0xFFFF) continue;
        out += c;
    }
    return out;
}

void UI_WebPageHost::saveSvg(QWidget* parent, const MCV_DerivedData* current, const QString& xml,
                             const QString& style) {
    if (!current) return;

    UI_Settings* settings = UI_Settings::Instance();
    settings->sync();
    const QString stored = settings->value("exportDefaultFilePath").toString();
    const QString path = UI_ModalDialogs::saveFile(parent, stored.isEmpty() ? QDir::home().absolutePath() : stored,
                                                   QStringLiteral("svg"), QObject::tr("SVG Image Files (*.svg)"),
                                                   safeFileName(QString::fromStdString(current->name())) + ".svg");
    if (path.isEmpty()) return;

    settings->setValue("exportDefaultFilePath", QFileInfo(path).absolutePath());
    settings->sync();
    saveWholeFile(parent, path, standaloneSvg(xml, style).toUtf8());
}
