// The About dialog and the analysis picker.
#include "app/UI_AboutDialog.h"
#include "app/UI_AnalysisSelectionDialog.h"

#include <QDesktopServices>
#include <QListView>
#include <QPushButton>
#include <QTest>
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

// The page's links and the logo buttons go to the system browser; the view
// never navigates.
TEST(AboutDialog, LinksAndLogosOpenTheSystemBrowserAndThePageStays) {
    UrlCatcher catcher;
    UI_AboutDialog dialog(nullptr, Qt::Dialog);
    dialog.resize(540, 400);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    // A page whose resources are cached may finish loading inside the
    // constructor, before any spy could see it: wait for its content instead.
    QWebFrame* frame = dialog.textView()->page()->mainFrame();
    ASSERT_TRUE(QTest::qWaitFor(
        [frame]() {
            return !frame->findFirstElement("h3").isNull() &&
                   frame->evaluateJavaScript("document.readyState").toString() == "complete";
        },
        10000));
    const QUrl before = frame->baseUrl();
    QWebElement link = frame->findFirstElement("a");
    ASSERT_FALSE(link.isNull());
    link.evaluateJavaScript("this.scrollIntoView(); ");
    QTest::mouseClick(dialog.textView(), Qt::LeftButton, Qt::NoModifier,
                      link.geometry().center() - frame->scrollPosition());
    ASSERT_TRUE(QTest::qWaitFor([&]() { return catcher.urls.size() == 1; }, 5000));
    EXPECT_EQ(catcher.urls.first(), QUrl(link.attribute("href")));
    EXPECT_EQ(frame->baseUrl(), before) << "the view never navigates";

    for (QPushButton* b : dialog.findChildren<QPushButton*>()) QTest::mousePress(b, Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&]() { return catcher.urls.size() == 5; }, 5000));
    for (const QUrl& logo : {UI_AboutDialog::productUrl, UI_AboutDialog::partnerUrl, UI_AboutDialog::universityUrl,
                             UI_AboutDialog::fundingUrl})
        EXPECT_TRUE(catcher.urls.contains(logo)) << logo.toString().toStdString();
}

TEST(AnalysisPicker, FirstNameIsSelectedAndEmptyListSelectsNothing) {
    UI_AnalysisSelectionDialog dialog(nullptr, Qt::Dialog);
    dialog.init({"A-tSNE Analysis", "A-tSNE Analysis 1"});
    EXPECT_EQ(dialog.selectedIdx(), 0);
    QTimer::singleShot(0, &dialog, [&dialog]() {
        QListView* list = dialog.listView();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier,
                          list->visualRect(list->model()->index(1, 0)).center());
        QTest::keyClick(&dialog, Qt::Key_Return);
    });
    EXPECT_EQ(dialog.exec(), QDialog::Accepted);
    EXPECT_EQ(dialog.selectedIdx(), 1);

    UI_AnalysisSelectionDialog empty(nullptr, Qt::Dialog);
    empty.init({});
    EXPECT_EQ(empty.selectedIdx(), -1);
}

}  // namespace

#include "test_Dialogs.moc"
