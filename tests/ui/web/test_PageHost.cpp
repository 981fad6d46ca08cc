// Shared page scripts and the host operations in the real engine: the
// libraries and jstools load without script errors, logging and errors reach
// js_debug, the colour maps and legend are built as the pages expect, and a
// page's drawing is saved as a standalone, parseable SVG file.
#include "ui/PageTestSupport.h"
#include "ui/SvgPageProbe.h"
#include "ui/base/UI_Settings.h"
#include "data/MCV_DerivedDataPoints.h"
#include "ui/web/UI_WebPageHost.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QTest>
#include <QTemporaryDir>
#include <QTimer>
#include <QXmlStreamReader>
#include <gtest/gtest.h>

#include <functional>

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
function leftClickColormap(i) { Qt.js_colormapClicked(i); }
var svg = d3.select("#mainView").append("svg").attr("width", 100).attr("height", 50);
svg.append("rect").attr("class", "cell").attr("width", 10).attr("height", 10).attr("fill", _color(2.5));
svg.append("text").attr("x", 5).attr("y", 40).text("Zellen \u00fc & <T>");
initLegend();
</script></body></html>)";

class PageHost : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        points = new MCV_DerivedDataPoints;
        points->setName("T cells \xc3\xbc");
        probe = new SvgPageProbe;
        probe->style = UI_WebPageHost::styleText(":/jstools/ui.css");
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
    // Answers the next modal file dialog with `answer` once it is shown.
    static void answerDialog(std::function<void(QFileDialog*)> answer) {
        QTimer::singleShot(0, [answer] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            if (dialog) answer(dialog);
        });
    }
    static inline MCV_DerivedDataPoints* points = nullptr;
    static inline SvgPageProbe* probe = nullptr;
    static inline QWebView* view = nullptr;
    static inline bool loaded = false;
};

TEST_F(PageHost, LibrariesAndSharedScriptsLoadAndLogAndScriptErrorsReachTheDebugSlot) {
    EXPECT_EQ(pagetest::js(view,
                           "typeof d3.interpolateSpectral + typeof noUiSlider + typeof wNumb + "
                           "typeof componentHandler + typeof d3.contextMenu + isQtAvailable")
                  .toString(),
              "functionobjectfunctionobjectfunctiontrue");
    pagetest::js(view, "log('hello ' + 42)");
    pagetest::js(view, "setTimeout(function () { undefinedFunctionCall(); }, 0)");
    ASSERT_TRUE(QTest::qWaitFor([] { return probe->debugLines.size() >= 2; }, 5000));
    EXPECT_EQ(probe->debugLines[0], "hello 42");
    for (const char* part : {"Error: ", "\nURL: ", "\nLine: "})
        EXPECT_TRUE(probe->debugLines[1].contains(part)) << probe->debugLines[1].toStdString();
}

TEST_F(PageHost, ToolsClampEscapeAndMeasure) {
    EXPECT_EQ(pagetest::js(view, "[clamp(0, -3, 5), clamp(0, 9, 5), clamp(0, 2, 5)].join()").toString(), "0,5,2");
    EXPECT_EQ(pagetest::js(view, "cssSanitize('a.b#c (d)/e')").toString(), "a\\.b\\#c \\(d\\)\\/e");
    EXPECT_GT(pagetest::js(view, "'WWWWWWWWWW'.width()").toInt(), pagetest::js(view, "'iiii'.width()").toInt());
    EXPECT_EQ(pagetest::js(view, "document.body.children.length").toInt(),
              pagetest::js(view, "'x'.width('20px arial'); document.body.children.length").toInt());
    EXPECT_EQ(
        pagetest::js(view, "linspace(0, 100, 10).map(function(v){return Math.round(v*1000)/1000;}).join()").toString(),
        "0,11.111,22.222,33.333,44.444,55.556,66.667,77.778,88.889,100");
    EXPECT_EQ(pagetest::js(view, "discspace(0, 100, 4).join()").toString(), "0,25,25,50,50,75,75,100");
}

TEST_F(PageHost, ColourMapsRunFromLowToHighValues) {
    // Viridis, the default, starts dark purple and ends yellow.
    EXPECT_EQ(pagetest::js(view, "d3.color(_discreteColormaps[6][0]).toString()").toString(), "rgb(68, 1, 84)");
    EXPECT_EQ(pagetest::js(view, "d3.color(_color(5)).toString()").toString(), "rgb(253, 231, 37)");
    // Diverging maps are reversed: Spectral's discrete list starts at its blue
    // end, and high values of a domain take the map's first colour.
    EXPECT_TRUE(pagetest::js(view, "_discreteColormaps[0][0] == d3.interpolateSpectral(1)").toBool());
    EXPECT_TRUE(pagetest::js(view,
                             "_activeColormap = 0; var s = activeColormapWithCustomDomain([0, 10]);"
                             "var r = s(10) == d3.interpolateSpectral(0); _activeColormap = 6; r")
                    .toBool());
    EXPECT_EQ(pagetest::js(view,
                           "_discreteColormap = true; var q = activeColormapWithCustomDomain([0, 10]);"
                           "_discreteColormap = false; q.range().length + ',' + (q(9.99) == _discreteColormaps[6][9])")
                  .toString(),
              "10,true");
}

TEST_F(PageHost, LegendHoldsAllPalettesAndReportsAChoice) {
    EXPECT_EQ(pagetest::js(view, "d3.select('#legendActive rect.palette').attr('fill')").toString(), "url(#Viridis)");
    EXPECT_EQ(pagetest::js(view, "d3.selectAll('#legendAll rect.palette').size()").toInt(),
              pagetest::js(view, "_colormapNames.length").toInt());
    probe->clickedColormaps.clear();
    pagetest::js(view,
                 "var e = document.createEvent('MouseEvents'); e.initEvent('mouseup', true, true);"
                 "d3.selectAll('#legendAll rect.palette').nodes()[12].dispatchEvent(e);");
    EXPECT_EQ(probe->clickedColormaps, QList<int>{12});
    pagetest::js(view, "_discreteColormap = true; updateLegendUi(false); _discreteColormap = false;");
    EXPECT_EQ(pagetest::js(view, "d3.select('#legendActive rect.palette').attr('fill')").toString(),
              "url(#Viridis_discrete)");
    pagetest::js(view, "updateLegendUi(true)");
}

TEST(StandaloneSvg, InsertsNamespacesAfterTheFirstSvgTagAndStyleBeforeItsEnd) {
    const QString out = UI_WebPageHost::standaloneSvg("<svg width=\"5\"><g></g></svg>", "<style>x</style>");
    EXPECT_EQ(out,
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
    QString startFolder, proposed, filter, suffix;
    answerDialog([&](QFileDialog* d) {
        startFolder = d->directory().absolutePath();
        if (auto* edit = d->findChild<QLineEdit*>("fileNameEdit")) proposed = edit->text();
        filter = d->nameFilters().join(";");
        suffix = d->defaultSuffix();
        d->selectFile(path);
        QMetaObject::invokeMethod(d, "accept");
    });
    pagetest::js(view, "printSVG()");
    EXPECT_EQ(startFolder, QDir::home().absolutePath());
    EXPECT_EQ(filter + " " + suffix, "SVG Image Files (*.svg) svg");
    EXPECT_EQ(proposed, QString::fromUtf8("T cells \xc3\xbc.svg"));
    EXPECT_EQ(UI_Settings::Instance()->value("exportDefaultFilePath").toString(), QDir(dir.path()).absolutePath());

    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    EXPECT_TRUE(
        bytes.startsWith("<svg xmlns=\"http://www.w3.org/2000/svg\" xmlns:xlink=\"http://www.w3.org/1999/xlink\""));
    QXmlStreamReader xml(bytes);
    QString lastTopLevel, text, styleText;
    int depth = 0;
    bool rootIsSvg = false;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement()) {
            if (depth == 0) rootIsSvg = xml.name() == "svg" && xml.namespaceUri() == "http://www.w3.org/2000/svg";
            if (depth == 1) lastTopLevel = xml.name().toString();
            if (xml.name() == "text")
                text = xml.readElementText();
            else if (xml.name() == "style")
                styleText = xml.readElementText();
            else
                ++depth;
        } else if (xml.isEndElement()) {
            --depth;
        }
    }
    ASSERT_FALSE(xml.hasError()) << xml.errorString().toStdString();
    EXPECT_TRUE(rootIsSvg);
    EXPECT_EQ(lastTopLevel, "style");
    EXPECT_TRUE(styleText.contains(".spinner")) << "the page's style file travels with the drawing";
    EXPECT_EQ(text, QString::fromUtf8("Zellen \xc3\xbc & <T>"));

    // The next dialog starts in the folder just used.
    answerDialog([&](QFileDialog* d) {
        startFolder = d->directory().absolutePath();
        d->reject();
    });
    pagetest::js(view, "printSVG()");
    EXPECT_EQ(startFolder, QDir(dir.path()).absolutePath());
}

TEST_F(PageHost, NothingIsWrittenWithoutDataSetWhenCancelledOrUnwritable) {
    int shown = 0;
    auto reject = [&](QFileDialog* d) {
        ++shown;
        d->reject();
    };
    answerDialog(reject);
    pagetest::js(view, "printSVG()");
    QApplication::processEvents();
    EXPECT_EQ(shown, 0) << "no data set: no question";

    probe->current = points;
    answerDialog(reject);
    pagetest::js(view, "printSVG()");
    EXPECT_EQ(shown, 1);
    EXPECT_FALSE(UI_Settings::Instance()->contains("exportDefaultFilePath"));

    QTemporaryDir dir;
    const QString path = dir.path() + "/missing/folder/x.svg";
    answerDialog([&](QFileDialog* d) {
        d->selectFile(path);
        QMetaObject::invokeMethod(d, "accept");
    });
    pagetest::js(view, "printSVG()");
    EXPECT_FALSE(QFile::exists(path));
}

}  // namespace
