// The page bridge, the shared page scripts and the host operations in the real
// engine: values and UTF-8 names cross both ways, the libraries load, logging
// and script errors reach js_debug, colour maps and legend are built as the
// pages expect, and a drawing is saved as a standalone, parseable SVG file.
#include "data/MCV_DerivedDataPoints.h"
#include "ui/PageTestSupport.h"
#include "ui/base/UI_Settings.h"
#include "ui/web/UI_WebPageHost.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QXmlStreamReader>
#include <gtest/gtest.h>

#include <functional>

// Exposed to the page as "Qt": one signal and one slot per argument kind, and
// the slots the data views offer.
class PageProbe : public QObject {
    Q_OBJECT
public:
    const MCV_DerivedData* current = nullptr;
    QList<QList<int>> lists;
    QList<QVariantList> variantLists;
    QStringList texts, debugLines;
    QList<int> clickedColormaps;

signals:
    void qt_list(QList<int> values);
    void qt_variants(QVariantList values);
    void qt_text(QString text);

public slots:
    void js_list(QList<int> values) { lists.append(values); }
    void js_variants(QVariantList values) { variantLists.append(values); }
    void js_text(QString text) { texts.append(text); }
    void js_debug(QString text) { debugLines.append(text); }
    void js_saveSVG(QString xml) {
        UI_WebPageHost::saveSvg(nullptr, current, xml, UI_WebPageHost::styleText(":/jstools/ui.css"));
    }
    void js_colormapClicked(int idx) { clickedColormaps.append(idx); }
};

namespace {

const char* kPage = R"(<!DOCTYPE html><html><head><meta charset="utf-8">
<script src="../jslibs/d3.v4.js"></script>
<script src="../jslibs/d3-scale-chromatic.v1.js"></script>
<script src="../jslibs/d3-context-menu.js"></script>
<script src="../jslibs/material.min.js"></script>
<script src="../jslibs/wNumb.min.js"></script>
<script src="../jslibs/nouislider.min.js"></script>
<link rel="stylesheet" href="../jstools/ui.css">
<script src="../jstools/debug_data.js"></script>
<script src="../jstools/colormaps.js"></script>
<script src="../jstools/globals.js"></script>
<script src="../jstools/tools.js"></script>
<script src="../jstools/ui.js"></script>
</head><body>
<div id="legendWrapper"><div id="legend"><svg id="legendActive" width="24" height="168"></svg></div>
<div id="legendSelector"><svg id="legendAll" height="168"></svg></div></div>
<div id="mainView"></div>
<script>
var lastList = null;
Qt.qt_list.connect(function (a) { lastList = a; Qt.js_list(a); });
Qt.qt_variants.connect(function (a) { Qt.js_variants(a); });
Qt.qt_text.connect(function (t) { document.title = t; Qt.js_text(t); });
function leftClickColormap(i) { Qt.js_colormapClicked(i); }
var svg = d3.select("#mainView").append("svg").attr("width", 100).attr("height", 50);
svg.append("rect").attr("width", 10).attr("height", 10).attr("fill", _color(2.5));
svg.append("text").attr("x", 5).attr("y", 40).text("Zellen \u00fc & <T>");
initLegend();
</script></body></html>)";

class PageHost : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        UI_WebPageHost::registerBridgeTypes();
        points = new MCV_DerivedDataPoints;
        points->setName("T cells \xc3\xbc");
        probe = new PageProbe;
        view = new QWebView;
        QObject::connect(view->page()->mainFrame(), &QWebFrame::javaScriptWindowObjectCleared, probe,
                         [] { view->page()->mainFrame()->addToJavaScriptWindowObject("Qt", probe); });
        loaded = pagetest::setHtmlAndWait(view, kPage, QUrl("qrc:/html_ui_elements/"));
    }
    static void TearDownTestSuite() {
        delete view;
        delete probe;
        delete points;
    }
    void SetUp() override {
        ASSERT_TRUE(loaded);
        probe->debugLines.clear();
        probe->current = nullptr;
        UI_Settings::Instance()->remove("exportDefaultFilePath");
        UI_Settings::Instance()->sync();
    }
    static QString js(const QString& script) { return pagetest::js(view, script).toString(); }
    // Answers the next modal file dialog once it is shown.
    static void answerDialog(std::function<void(QFileDialog*)> answer) {
        QTimer::singleShot(0, [answer] {
            if (auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) answer(dialog);
        });
    }
    static inline MCV_DerivedDataPoints* points = nullptr;
    static inline PageProbe* probe = nullptr;
    static inline QWebView* view = nullptr;
    static inline bool loaded = false;
};

TEST_F(PageHost, ListsVariantsAndUnicodeTextCrossBothWays) {
    emit probe->qt_list(QList<int>{3, -1, 2147483647});
    EXPECT_EQ(js("Array.isArray(lastList) + ' ' + lastList.length"), "true 3");
    js("Qt.js_list([1, 0]); Qt.js_list([true, false, true])");
    EXPECT_EQ(probe->lists, (QList<QList<int>>{{3, -1, 2147483647}, {1, 0}, {1, 0, 1}}));

    emit probe->qt_variants(QVariantList{1.5, QString("CD4"), 7});
    js("Qt.js_variants([2, 'x', [4, 5]])");
    ASSERT_EQ(probe->variantLists.size(), 2);
    EXPECT_EQ(probe->variantLists[0], (QVariantList{1.5, QString("CD4"), 7}));
    EXPECT_EQ(probe->variantLists[1][2].toList().size(), 2);

    const QString name = QString::fromUtf8("CD45 \xc3\xbc \xe7\xb4\xb0\xe8\x83\x9e \xf0\x9f\x94\xac");
    emit probe->qt_text(name);
    EXPECT_EQ(js("document.title"), name);
    js("Qt.js_text('\\u7d30\\u80de \\u00e9')");
    EXPECT_EQ(probe->texts, (QStringList{name, QString::fromUtf8("\xe7\xb4\xb0\xe8\x83\x9e \xc3\xa9")}));
}

TEST_F(PageHost, LibrariesLoadAndLogLinesAndScriptErrorsReachTheDebugSlot) {
    EXPECT_EQ(js("typeof d3.interpolateSpectral + typeof noUiSlider + typeof wNumb + typeof componentHandler + "
                 "typeof d3.contextMenu + isQtAvailable"),
              "functionobjectfunctionobjectfunctiontrue");
    js("log('hello ' + 42); setTimeout(function () { undefinedFunctionCall(); }, 0)");
    ASSERT_TRUE(QTest::qWaitFor([] { return probe->debugLines.size() >= 2; }, 5000));
    EXPECT_EQ(probe->debugLines[0], "hello 42");
    for (const char* part : {"Error: ", "\nURL: ", "\nLine: "})
        EXPECT_TRUE(probe->debugLines[1].contains(part)) << probe->debugLines[1].toStdString();
}

TEST_F(PageHost, ToolsClampEscapeSpaceAndMeasureWithoutLeavingElements) {
    const QString results[][2] = {
        {"[clamp(0, -3, 5), clamp(0, 9, 5), clamp(0, 2, 5)].join()", "0,5,2"},
        {"cssSanitize('a.b#c (d)/e')", "a\\.b\\#c \\(d\\)\\/e"},
        {"linspace(0, 100, 4).map(function(v){return Math.round(v*100)/100;}).join()", "0,33.33,66.67,100"},
        {"discspace(0, 100, 4).join()", "0,25,25,50,50,75,75,100"},
        {"var n = document.body.children.length; ('WWWW'.width() > 'iiii'.width()) + ' ' +"
         "(document.body.children.length == n)",
         "true true"},
    };
    for (const auto& r : results) EXPECT_EQ(js(r[0]), r[1]) << r[0].toStdString();
}

TEST_F(PageHost, ColourMapsRunFromLowToHighValuesAndDivergingMapsAreReversed) {
    // Viridis, the default, runs from dark purple to yellow.
    EXPECT_EQ(js("d3.color(_discreteColormaps[6][0]) + ' ' + d3.color(_color(5))"), "rgb(68, 1, 84) rgb(253, 231, 37)");
    EXPECT_EQ(
        js("_activeColormap = 0; var s = activeColormapWithCustomDomain([0, 10]); _activeColormap = 6;"
           "(_discreteColormaps[0][0] == d3.interpolateSpectral(1)) + ' ' + (s(10) == d3.interpolateSpectral(0))"),
        "true true");
    EXPECT_EQ(js("_discreteColormap = true; var q = activeColormapWithCustomDomain([0, 10]);"
                 "_discreteColormap = false; q.range().length + ',' + (q(9.99) == _discreteColormaps[6][9])"),
              "10,true");
}

TEST_F(PageHost, LegendHoldsAllPalettesAndReportsAChoice) {
    EXPECT_EQ(js("d3.select('#legendActive rect.palette').attr('fill')"), "url(#Viridis)");
    EXPECT_EQ(js("d3.selectAll('#legendAll rect.palette').size() == _colormapNames.length"), "true");
    probe->clickedColormaps.clear();
    js("var e = document.createEvent('MouseEvents'); e.initEvent('mouseup', true, true);"
       "d3.selectAll('#legendAll rect.palette').nodes()[12].dispatchEvent(e);");
    EXPECT_EQ(probe->clickedColormaps, QList<int>{12});
    EXPECT_EQ(js("_discreteColormap = true; updateLegendUi(false); _discreteColormap = false;"
                 "var f = d3.select('#legendActive rect.palette').attr('fill'); updateLegendUi(true); f"),
              "url(#Viridis_discrete)");
}

TEST(StandaloneSvg, InsertsNamespacesAfterTheFirstSvgTagAndStyleBeforeItsEnd) {
    EXPECT_EQ(UI_WebPageHost::standaloneSvg("<svg width=\"5\"><g></g></svg>", "<style>x</style>"),
              "<svg xmlns=\"http://www.w3.org/2000/svg\" xmlns:xlink=\"http://www.w3.org/1999/xlink\""
              " width=\"5\"><g></g><style>x</style></svg>");
    // Without a drawing nothing is inserted at a made-up place.
    EXPECT_EQ(UI_WebPageHost::standaloneSvg("<div></div>", "<style/>"), "<div></div>");
    EXPECT_EQ(UI_WebPageHost::standaloneSvg("", "<style/>"), "");
}

TEST_F(PageHost, SavesThePageDrawingAsAParseableSvgAndRemembersTheFolder) {
    QTemporaryDir dir;
    const QString path = dir.path() + "/drawing.svg";
    probe->current = points;
    QString startFolder, proposed;
    answerDialog([&](QFileDialog* d) {
        startFolder = d->directory().absolutePath();
        proposed = d->findChild<QLineEdit*>("fileNameEdit")->text() + " " + d->defaultSuffix();
        d->selectFile(path);
        QMetaObject::invokeMethod(d, "accept");
    });
    js("printSVG()");
    EXPECT_EQ(startFolder, QDir::home().absolutePath());
    EXPECT_EQ(proposed, QString::fromUtf8("T cells \xc3\xbc.svg svg"));
    EXPECT_EQ(UI_Settings::Instance()->value("exportDefaultFilePath").toString(), QDir(dir.path()).absolutePath());
    EXPECT_TRUE(QSettings().fileName().startsWith(qEnvironmentVariable("XDG_CONFIG_HOME")))
        << "tests must not write the user's real settings";

    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    QXmlStreamReader xml(file.readAll());
    QStringList texts;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement) continue;
        if (xml.name() == "svg" && texts.isEmpty())
            texts << xml.namespaceUri().toString();
        else if (xml.name() == "text" || xml.name() == "style")
            texts << xml.readElementText();
    }
    ASSERT_FALSE(xml.hasError()) << xml.errorString().toStdString();
    ASSERT_EQ(texts.size(), 3) << texts.join("|").toStdString();
    EXPECT_EQ(texts[0], "http://www.w3.org/2000/svg");
    EXPECT_EQ(texts[1], QString::fromUtf8("Zellen \xc3\xbc & <T>"));
    EXPECT_TRUE(texts[2].contains(".spinner")) << "the page's style file travels with the drawing";

    answerDialog([&](QFileDialog* d) {
        startFolder = d->directory().absolutePath();
        d->reject();
    });
    js("printSVG()");
    EXPECT_EQ(startFolder, QDir(dir.path()).absolutePath());
}

TEST_F(PageHost, NothingIsWrittenWithoutDataSetWhenCancelledOrUnwritable) {
    int shown = 0;
    auto reject = [&](QFileDialog* d) {
        ++shown;
        d->reject();
    };
    answerDialog(reject);
    js("printSVG()");
    QApplication::processEvents();
    EXPECT_EQ(shown, 0) << "no data set: no question";
    probe->current = points;
    answerDialog(reject);
    js("printSVG()");
    EXPECT_EQ(shown, 1);
    EXPECT_FALSE(UI_Settings::Instance()->contains("exportDefaultFilePath"));

    QTemporaryDir dir;
    const QString path = dir.path() + "/missing/folder/x.svg";
    answerDialog([&](QFileDialog* d) {
        d->selectFile(path);
        QMetaObject::invokeMethod(d, "accept");
    });
    js("printSVG()");
    EXPECT_FALSE(QFile::exists(path));
}

}  // namespace

#include "test_PageHost.moc"
