// The page bridge in the real engine: QList<int>, QVariantList and text cross
// in both directions with their values intact, names stay UTF-8, and the "Qt"
// object is there again after the page is replaced.
#include "ui/BridgeProbe.h"
#include "ui/PageTestSupport.h"
#include "ui/web/UI_WebPageHost.h"

#include <QUrl>
#include <QWebFrame>
#include <gtest/gtest.h>

namespace {

const char* kEchoPage = R"(<!DOCTYPE html><html><head><meta charset="utf-8"></head><body>
<script>
var connected = true;
var lastList = null;
try {
    Qt.qt_list.connect(function (a) { lastList = a; Qt.js_list(a); });
    Qt.qt_variants.connect(function (a) { Qt.js_variants(a); });
    Qt.qt_text.connect(function (t) { document.title = t; Qt.js_text(t); });
} catch (e) { connected = false; }
</script></body></html>)";

class PageBridge : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        UI_WebPageHost::registerBridgeTypes();
        probe = new BridgeProbe;
        view = new QWebView;
        QObject::connect(view->page()->mainFrame(), &QWebFrame::javaScriptWindowObjectCleared, probe,
                         [] { view->page()->mainFrame()->addToJavaScriptWindowObject("Qt", probe); });
        loaded = pagetest::setHtmlAndWait(view, kEchoPage, QUrl("qrc:/html_ui_elements/"));
    }
    static void TearDownTestSuite() {
        delete view;
        delete probe;
    }
    void SetUp() override {
        ASSERT_TRUE(loaded);
        ASSERT_TRUE(pagetest::js(view, "connected").toBool()) << "the page reaches the application object";
        probe->lists.clear();
        probe->variantLists.clear();
        probe->texts.clear();
    }
    static inline BridgeProbe* probe = nullptr;
    static inline QWebView* view = nullptr;
    static inline bool loaded = false;
};

TEST_F(PageBridge, IntListsCrossAsArraysAndPageFlagsOrBooleansBecomeIntLists) {
    emit probe->qt_list(QList<int>{3, -1, 0, 2147483647});
    EXPECT_EQ(pagetest::js(view, "Array.isArray(lastList) + ' ' + lastList.length").toString(), "true 4");
    emit probe->qt_list(QList<int>{});
    pagetest::js(view, "Qt.js_list([1, 0, 1, 1]); Qt.js_list([true, false, true])");
    EXPECT_EQ(probe->lists, (QList<QList<int>>{{3, -1, 0, 2147483647}, {}, {1, 0, 1, 1}, {1, 0, 1}}));
}

TEST_F(PageBridge, VariantListKeepsNumbersAndStringsBothWays) {
    emit probe->qt_variants(QVariantList{1.5, QString("CD4"), 7});
    ASSERT_EQ(probe->variantLists.size(), 1);
    const QVariantList back = probe->variantLists[0];
    ASSERT_EQ(back.size(), 3);
    EXPECT_DOUBLE_EQ(back[0].toDouble(), 1.5);
    EXPECT_EQ(back[1].toString(), "CD4");
    EXPECT_EQ(back[2].toInt(), 7);

    pagetest::js(view, "Qt.js_variants([2, 'x', [4, 5]])");
    ASSERT_EQ(probe->variantLists.size(), 2);
    EXPECT_EQ(probe->variantLists[1][2].toList().size(), 2);
}

TEST_F(PageBridge, NamesTravelAsUnicodeBothWays) {
    const QString name =
        QString::fromUtf8("CD45 \xc3\xbc \xe7\xb4\xb0\xe8\x83\x9e \xce\xb1\xe2\x80\x94\xf0\x9f\x94\xac");
    emit probe->qt_text(name);
    ASSERT_EQ(probe->texts.size(), 1);
    EXPECT_EQ(probe->texts[0], name);
    EXPECT_EQ(pagetest::js(view, "document.title").toString(), name);

    pagetest::js(view, "Qt.js_text('\\u7d30\\u80de \\u00e9')");
    ASSERT_EQ(probe->texts.size(), 2);
    EXPECT_EQ(probe->texts[1], QString::fromUtf8("\xe7\xb4\xb0\xe8\x83\x9e \xc3\xa9"));
}

TEST_F(PageBridge, ObjectIsAddedAgainForEveryNewWindowObject) {
    QWebView other;
    BridgeProbe otherProbe;
    int added = 0;
    QObject::connect(other.page()->mainFrame(), &QWebFrame::javaScriptWindowObjectCleared, &otherProbe, [&] {
        other.page()->mainFrame()->addToJavaScriptWindowObject("Qt", &otherProbe);
        ++added;
    });
    for (int round = 0; round < 2; ++round) {
        ASSERT_TRUE(pagetest::setHtmlAndWait(&other, kEchoPage, QUrl("qrc:/html_ui_elements/")));
        EXPECT_TRUE(pagetest::js(&other, "connected").toBool()) << round;
    }
    EXPECT_GE(added, 2);
    emit otherProbe.qt_text("again");
    EXPECT_EQ(pagetest::js(&other, "document.title").toString(), "again");
    // The engine keeps the replaced page's connections alive: both scripts
    // answer. This is why every widget loads its page exactly once.
    EXPECT_EQ(otherProbe.texts, (QStringList{"again", "again"}));
}

}  // namespace
