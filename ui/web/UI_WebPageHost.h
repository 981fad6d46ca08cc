#pragma once

#include <QGridLayout>
#include <QObject>
#include <QString>
#include <QWebFrame>
#include <QWebPage>
#include <QWebView>

class MCV_DerivedData;
class QWidget;

// What every widget that shows an embedded page shares. A page is loaded from
// the resources as text with its resource folder as base URL, so its relative
// links ("../jslibs/d3.v4.js", "../jstools/ui.js") resolve inside the resource
// tree. The widget exposes itself to the page as the window object "Qt" from a
// slot connected to the frame's javaScriptWindowObjectCleared() (the object is
// dropped with every new window object, so it must be re-added each time),
// sends data with signals named qt_* and receives the user's actions through
// slots named js_*. Nothing crosses the bridge with a return value.
class UI_WebPageHost {
public:
    // Registers QList<int> (with its sequential-container converter) so that
    // JavaScript arrays of numbers reach js_* slots as QList<int> and QList<int>
    // signal arguments arrive in the page as arrays. Idempotent.
    static void registerBridgeTypes();

    // Both scroll bars of the view's main frame always off.
    static void hideScrollBars(QWebView* view);

    // Lets whatever lies under the view show through where the page draws
    // nothing: transparent base brush on the view and its page, no opaque
    // painting. The page itself must give its body a transparent background.
    static void makeTransparent(QWebView* view);

    // Reads the page text from `pagePath` (a missing page gives an empty view)
    // and sets it with `baseUrl` (for example "qrc:/html_ui_elements/").
    static void loadPage(QWebView* view, const QString& pagePath, const QString& baseUrl);

    // The page dock's web view, in the dock's grid: scroll bars off, the
    // view's loadFinished wired to the dock's webViewFinishedLoading and the
    // frame's javaScriptWindowObjectCleared (emitted before the page's
    // scripts run, so their connect calls find "Qt") to its connectJs. The
    // main frame is stored in `mainFrame` before `pagePath` is loaded with
    // `baseUrl`, as connectJs may run inside the load.
    template <typename Dock>
    static QWebView* createPageView(Dock* dock, QWebFrame*& mainFrame, const QString& pagePath,
                                    const QString& baseUrl) {
        auto* view = new QWebView(dock);
        dock->mainLayout()->addWidget(view, 0, 0);
        QObject::connect(view, &QWebView::loadFinished, dock, &Dock::webViewFinishedLoading);
        hideScrollBars(view);
        mainFrame = view->page()->mainFrame();
        QObject::connect(mainFrame, &QWebFrame::javaScriptWindowObjectCleared, dock, &Dock::connectJs);
        loadPage(view, pagePath, baseUrl);
        return view;
    }

    // Cuts the view's connections to the dock; a page dock calls it from its
    // own destructor. The view is the dock's child and goes in the base
    // destructor, where the engine ends a load still running and reports it
    // finished: the dock's slots must not run on what is left of it then.
    // The frame's javaScriptWindowObjectCleared needs no cut: the frame emits
    // it only when a document begins or a script world's window object is
    // made, and a page going stops its loads and begins neither (not even
    // from its unload handlers).
    static void releasePageView(QObject* dock, QWebView* view);

    // "<style type=\"text/css\">" + the style file's text + "</style>".
    static QString styleText(const QString& stylePath);

    // One debug-log line: "Javascript Debug Info: " followed by `text`.
    static void debug(const QString& text);

    // Makes the inner HTML of a page's drawing a standalone SVG document: the
    // SVG and XLink namespace declarations right after the first "<svg", and
    // `style` right before the first "</svg>". Either insertion is skipped when
    // its anchor is missing. "&nbsp;" becomes "&#160;" and the characters XML
    // refuses are left out (xmlLegalText), so the text stays well-formed XML
    // whatever the names it shows hold.
    static QString standaloneSvg(QString xml, const QString& style);

    // `text` without the characters XML 1.0 refuses even as references: C0
    // controls other than tab, line feed and carriage return, U+FFFE, U+FFFF
    // and unpaired surrogates. Names from files and users may hold them.
    static QString xmlLegalText(const QString& text);

    // Asks through the dialog seam for a file in the last export folder
    // (settings key "exportDefaultFilePath", home when none), proposing the
    // data set's name (made safe as a file name) with ".svg", remembers the
    // chosen folder and writes standaloneSvg(xml, style) as UTF-8 with
    // saveWholeFile: a file that cannot be written is reported in a warning
    // naming it, and an existing file then stays as it was. No data set or a
    // cancelled dialog end silently.
    static void saveSvg(QWidget* parent, const MCV_DerivedData* current, const QString& xml, const QString& style);
};
