// The page bridge, the shared page scripts and the host's SVG export in the
// real engine.
#include "data/MCV_DerivedDataPoints.h"
#include "support/FolderSnapshot.h"
#include "support/WriteFailure.h"
#include "ui/PageTestSupport.h"
#include "ui/base/UI_ModalDialogs.h"
#include "ui/base/UI_Settings.h"
#include "ui/web/UI_WebPageHost.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QXmlStreamReader>
#include <gtest/gtest.h>

#include <functional>

// Exposed to the page as "Qt": a signal and a slot per argument kind, and the
// slots the data views offer.
class PageProbe : public QObject {
    Q_OBJECT
public:
    const MCV_DerivedData* current = nullptr;
    QList<QList<int>> lists;
    QStringList texts, debugLines;

signals:
    void qt_list(QList<int> values);
    void qt_text(QString text);

public slots:
    void js_list(QList<int> values) { lists.append(values); }
    void js_text(QString text) { texts.append(text); }
    void js_debug(QString text) { debugLines.append(text); }
    void js_saveSVG(QString xml) {
        UI_WebPageHost::saveSvg(nullptr, current, xml, UI_WebPageHost::styleText(":/jstools/ui.css"));
    }
};

namespace {

const char* kPage = R"(<!DOCTYPE html><html><head><meta charset="utf-8">
<script src="../jslibs/d3.v4.js"></script><script src="../jslibs/d3-scale-chromatic.v1.js"></script>
<script src="../jslibs/d3-context-menu.js"></script><script src="../jslibs/material.min.js"></script>
<script src="../jslibs/wNumb.min.js"></script><script src="../jslibs/nouislider.min.js"></script>
<link rel="stylesheet" href="../jstools/ui.css"><script src="../jstools/debug_data.js"></script>
<script src="../jstools/colormaps.js"></script><script src="../jstools/globals.js"></script>
<script src="../jstools/tools.js"></script><script src="../jstools/ui.js"></script>
</head><body><div id="mainView"></div>
<script>
var lastList = null;
Qt.qt_list.connect(function (a) { lastList = a; Qt.js_list(a); });
Qt.qt_text.connect(function (t) { document.title = t; Qt.js_text(t); });
var svg = d3.select("#mainView").append("svg").attr("width", 100).attr("height", 50);
svg.append("text").attr("x", 5).attr("y", 40).text("Zellen \u00fc & <T>");
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

TEST_F(PageHost, IntListsAndUnicodeTextCrossBothWays) {
    emit probe->qt_list(QList<int>{3, -1, 2147483647});
    EXPECT_EQ(js("Array.isArray(lastList) + ' ' + lastList.length"), "true 3");
    js("Qt.js_list([1, 0]); Qt.js_list([true, false, true])");
    EXPECT_EQ(probe->lists, (QList<QList<int>>{{3, -1, 2147483647}, {1, 0}, {1, 0, 1}}));

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

TEST(StandaloneSvg, InsertsNamespacesAfterTheFirstSvgTagAndStyleBeforeItsEnd) {
    EXPECT_EQ(UI_WebPageHost::standaloneSvg("<svg width=\"5\"><g></g></svg>", "<style>x</style>"),
              "<svg xmlns=\"http://www.w3.org/2000/svg\" xmlns:xlink=\"http://www.w3.org/1999/xlink\""
              " width=\"5\"><g></g><style>x</style></svg>");
    // Without a drawing nothing is inserted at a made-up place.
    EXPECT_EQ(UI_WebPageHost::standaloneSvg("<div></div>", "<style/>"), "<div></div>");
    EXPECT_EQ(UI_WebPageHost::standaloneSvg("", "<style/>"), "");
    // A no-break space in a name: the engine writes the HTML entity, which
    // XML does not know; an escaped "&nbsp;" typed by a user stays text.
    const QString svg = UI_WebPageHost::standaloneSvg("<svg><text>a&nbsp;b &amp;nbsp;</text></svg>", "");
    QXmlStreamReader xml(svg);
    QString text;
    while (!xml.atEnd())
        if (xml.readNext() == QXmlStreamReader::Characters) text += xml.text();
    EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
    EXPECT_EQ(text, QString::fromUtf8("a\xc2\xa0"
                                      "b &nbsp;"));
}

TEST_F(PageHost, SavesThePageDrawingAsAParseableSvgAndRemembersTheFolderOnlyWhenSaved) {
    int asked = 0;
    auto cancel = [&](QFileDialog* d) {
        ++asked;
        d->reject();
    };
    answerDialog(cancel);
    js("printSVG()");
    QApplication::processEvents();
    EXPECT_EQ(asked, 0) << "no data set: no question";
    probe->current = points;
    answerDialog(cancel);
    js("printSVG()");
    EXPECT_EQ(asked, 1);
    EXPECT_FALSE(UI_Settings::Instance()->contains("exportDefaultFilePath")) << "cancelled: nothing remembered";

    QTemporaryDir dir;
    const QString path = dir.path() + "/drawing.svg";
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

    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray svg = file.readAll();
    QXmlStreamReader xml(svg);
    while (!xml.atEnd()) xml.readNext();
    EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
    EXPECT_TRUE(svg.contains(QString::fromUtf8(">Zellen \xc3\xbc &amp; &lt;T&gt;<").toUtf8()));
    EXPECT_TRUE(svg.contains(".spinner")) << "the page's style file travels with the drawing";

    answerDialog([&](QFileDialog* d) {
        startFolder = d->directory().absolutePath();
        d->reject();
    });
    js("printSVG()");
    EXPECT_EQ(startFolder, QDir(dir.path()).absolutePath());
}

// Scripted dialogs for one test; answers and messages are dropped after it.
struct ScriptedDialogs {
    ScriptedDialogs() {
        UI_ModalDialogs::reset();
        UI_ModalDialogs::setScripted(true);
    }
    ~ScriptedDialogs() {
        UI_ModalDialogs::setScripted(false);
        UI_ModalDialogs::reset();
    }
};

TEST_F(PageHost, AnSvgThatCannotBeWrittenIsReportedByNameAndLeavesTheOldFile) {
    ScriptedDialogs scripted;
    probe->current = points;
    QTemporaryDir dir;
    struct Case {
        const char* what;
        QString target;
        WriteFailure how;
        const char* old;  // the file at the target before, if any
        QString why;      // what the warning gives as the reason
    };
    const QString unchanged = "; the existing file is unchanged";
    const Case cases[] = {
        {"a missing folder", dir.path() + "/gone/tree.svg", WriteFailure::MissingFolder, nullptr,
         "the folder " + dir.path() + "/gone does not exist"},
        {"a folder in the way", dir.path() + "/folder.svg", WriteFailure::FolderInTheWay, nullptr, "it is a folder"},
        {"a full disk", dir.path() + "/full/tree.svg", WriteFailure::FileSizeLimit, "the good old drawing",
         "writing failed (File too large)" + unchanged},
        {"a read-only folder", dir.path() + "/locked/tree.svg", WriteFailure::ReadOnlyFolder, "the good old drawing",
         "the folder " + dir.path() + "/locked cannot take the new file (Permission denied)" + unchanged},
        {"a read-only folder, no file yet", dir.path() + "/locked2/tree.svg", WriteFailure::ReadOnlyFolder, nullptr,
         "the folder " + dir.path() + "/locked2 cannot take the new file (Permission denied)"},
    };
    ASSERT_TRUE(QDir(dir.path()).mkpath("folder.svg/inside"));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const QString folder = QFileInfo(c.target).path();
        if (c.how != WriteFailure::FolderInTheWay && c.how != WriteFailure::MissingFolder) {
            ASSERT_TRUE(QDir().mkpath(folder));
        }
        if (c.old) {
            QFile old(c.target);
            ASSERT_TRUE(old.open(QIODevice::WriteOnly));
            old.write(c.old);
        }
        const auto before = folderSnapshot(dir.path());
        UI_ModalDialogs::answerSaveFile(c.target);
        // 64 bytes: less than the drawing's namespaces and style.
        ASSERT_TRUE(underWriteFailure(c.how, folder.toStdString(), 64, [] { js("printSVG()"); }));
        const auto messages = UI_ModalDialogs::takeMessages();
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_EQ(messages[0].icon, QMessageBox::Warning);
        EXPECT_EQ(messages[0].text, "Could not write the file " + c.target + ": " + c.why + ".");
        EXPECT_EQ(folderSnapshot(dir.path()), before) << "no new file, no temporary, the old file unchanged";
    }
    EXPECT_EQ(UI_ModalDialogs::unanswered(), 0);
}

// Names come from files and users; XML refuses some characters even as
// references, and the saved drawing leaves them out.
TEST_F(PageHost, ASavedDrawingOfNamesWithControlCharactersParsesAsXml) {
    ScriptedDialogs scripted;
    probe->current = points;
    QTemporaryDir dir;
    // {the name drawn, the text that must come back}
    const std::pair<const char*, QString> names[] = {
        {R"(CD3\u0001\u001f end)", "CD3 end"},
        {R"(tab\tline\ncr\r)", "tab\tline\ncr\n"},  // XML reads a CR as a line feed
        {R"(\ufffe\uffffnon-characters)", "non-characters"},
        {R"(lone \ud800 surrogate, pair \ud83d\udd2c)", QString::fromUtf8("lone  surrogate, pair \xf0\x9f\x94\xac")},
    };
    int n = 0;
    for (const auto& [name, expected] : names) {
        SCOPED_TRACE(name);
        const QString file = dir.path() + "/names" + QString::number(n++) + ".svg";
        js(QString("var t = d3.select('#mainView svg').append('text').attr('id', 'named').text('%1');"
                   "t.attr('data-name', '%1');")
               .arg(name));
        UI_ModalDialogs::answerSaveFile(file);
        js("printSVG(); d3.select('#named').remove()");
        EXPECT_TRUE(UI_ModalDialogs::takeMessages().empty());
        QFile saved(file);
        ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
        QXmlStreamReader xml(saved.readAll());
        QString text, attribute;
        while (!xml.atEnd()) {
            if (xml.readNext() != QXmlStreamReader::StartElement || xml.attributes().value("id") != "named") continue;
            attribute = xml.attributes().value("data-name").toString();
            text = xml.readElementText();
        }
        EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
        EXPECT_EQ(text, expected);
        EXPECT_EQ(attribute, QString(expected).replace('\n', ' ').replace('\t', ' '))
            << "attribute values normalise white space";
    }
}

}  // namespace

#include "test_PageHost.moc"
