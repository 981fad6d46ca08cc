// The About dialog, the analysis picker and the file information view.
#include "app/UI_AboutDialog.h"
#include "app/UI_AnalysisSelectionDialog.h"
#include "app/UI_FileInfoWidget.h"

#include <QDesktopServices>
#include <QLabel>
#include <QListView>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>
#include <QWebElement>
#include <QWebFrame>
#include <QWebView>
#include <gtest/gtest.h>

namespace {

// Receives what would go to the system browser.
class UrlCatcher : public QObject {
    Q_OBJECT
public:
    UrlCatcher() {
        QDesktopServices::setUrlHandler("https", this, "open");
        QDesktopServices::setUrlHandler("http", this, "open");
    }
    ~UrlCatcher() override {
        QDesktopServices::unsetUrlHandler("https");
        QDesktopServices::unsetUrlHandler("http");
    }
    QList<QUrl> urls;
public slots:
    void open(const QUrl& url) { urls << url; }
};

bool pageHasText(UI_AboutDialog& dialog) {
    QWebFrame* frame = dialog.textView()->page()->mainFrame();
    return QTest::qWaitFor(
        [frame]() {
            return !frame->findFirstElement("h3").isNull() &&
                   frame->evaluateJavaScript("document.readyState").toString() == "complete";
        },
        10000);
}

TEST(AboutDialog, ShowsTheAboutPageModelessWithItsTitleAndVersion) {
    UI_AboutDialog dialog(nullptr, Qt::Dialog);
    EXPECT_EQ(dialog.windowTitle(), "About Quillmaren");
    EXPECT_FALSE(dialog.isModal());
    QStringList labels;
    for (QLabel* l : dialog.findChildren<QLabel*>()) labels << l->text();
    EXPECT_TRUE(labels.contains("Quillmaren"));
    EXPECT_TRUE(labels.contains("Version 2.3.0a"));

    dialog.show();
    // A page whose resources are cached may finish loading inside the
    // constructor, before any spy could see it: wait for its content instead.
    ASSERT_TRUE(pageHasText(dialog));
    // The page's stylesheet came from the resources beside it.
    QWebFrame* frame = dialog.textView()->page()->mainFrame();
    EXPECT_EQ(frame->findFirstElement("body").styleProperty("background-color", QWebElement::ComputedStyle),
              "rgb(252, 252, 252)");
}

TEST(AboutDialog, LinksAndLogosOpenTheSystemBrowserAndThePageStays) {
    UrlCatcher catcher;
    UI_AboutDialog dialog(nullptr, Qt::Dialog);
    dialog.resize(540, 400);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    ASSERT_TRUE(pageHasText(dialog));
    QWebFrame* frame = dialog.textView()->page()->mainFrame();
    const QUrl before = frame->baseUrl();
    QWebElement link = frame->findFirstElement("a");
    ASSERT_FALSE(link.isNull());
    const QUrl target(link.attribute("href"));
    link.evaluateJavaScript("this.scrollIntoView(); ");
    const QPoint at = link.geometry().center() - frame->scrollPosition();
    QTest::mouseClick(dialog.textView(), Qt::LeftButton, Qt::NoModifier, at);
    ASSERT_TRUE(QTest::qWaitFor([&]() { return catcher.urls.size() == 1; }, 5000));
    EXPECT_EQ(catcher.urls.first(), target);
    EXPECT_EQ(frame->baseUrl(), before) << "the view never navigates";

    // The four logo buttons open their four addresses.
    for (QPushButton* b : dialog.findChildren<QPushButton*>()) QTest::mousePress(b, Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&]() { return catcher.urls.size() == 5; }, 5000));
    EXPECT_TRUE(catcher.urls.contains(UI_AboutDialog::productUrl));
    EXPECT_TRUE(catcher.urls.contains(UI_AboutDialog::partnerUrl));
    EXPECT_TRUE(catcher.urls.contains(UI_AboutDialog::universityUrl));
    EXPECT_TRUE(catcher.urls.contains(UI_AboutDialog::fundingUrl));
}

TEST(AnalysisPicker, FirstNameIsSelectedAndEmptyListSelectsNothing) {
    UI_AnalysisSelectionDialog dialog(nullptr, Qt::Dialog);
    dialog.init({"A-tSNE Analysis", "A-tSNE Analysis 1"});
    EXPECT_EQ(dialog.windowTitle(), "Select Analysis");
    EXPECT_TRUE(dialog.isModal());
    EXPECT_EQ(dialog.selectedIdx(), 0);
    QTimer::singleShot(0, &dialog, [&dialog]() {
        QListView* list = dialog.listView();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier,
                          list->visualRect(list->model()->index(1, 0)).center());
        QTest::keyClick(&dialog, Qt::Key_Return);
    });
    EXPECT_EQ(dialog.exec(), QDialog::Accepted);
    EXPECT_EQ(dialog.selectedIdx(), 1);
    EXPECT_EQ(dialog.listView()->editTriggers(), QAbstractItemView::NoEditTriggers);

    UI_AnalysisSelectionDialog empty(nullptr, Qt::Dialog);
    empty.init({});
    EXPECT_EQ(empty.selectedIdx(), -1);
    QTimer::singleShot(0, &empty, [&empty]() { QTest::keyClick(&empty, Qt::Key_Escape); });
    EXPECT_EQ(empty.exec(), QDialog::Rejected);
}

TEST(FileInfoView, SetInfoTextReplacesAndNeverInterpretsMarkup) {
    UI_FileInfoWidget view(nullptr);
    EXPECT_EQ(view.windowTitle(), "File Information");
    view.setInfoText("first text");
    view.setInfoText("<b>Cytometer</b> & <i>more</i>");
    EXPECT_EQ(view.textBrowser()->toPlainText(), "<b>Cytometer</b> & <i>more</i>");
    EXPECT_FALSE(view.textBrowser()->toPlainText().contains("first"));
}

}  // namespace

#include "test_Dialogs.moc"
