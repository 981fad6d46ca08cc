#pragma once

#include <QDialog>
#include <QUrl>

class QGridLayout;
class QPushButton;
class QWebView;

// The modeless About window: product logo, name and version, the About page
// (a resource shown in a web view whose links all open in the system
// browser) and the logos of the partner institutions. The main window builds
// it once and shows the same object on every request.
class UI_AboutDialog : public QDialog {
    Q_OBJECT
public:
    UI_AboutDialog(QWidget* parent, Qt::WindowFlags flags);
    ~UI_AboutDialog() override;

    void init();

    QWebView* textView() const;

    // The addresses the logo buttons open.
    static const QUrl productUrl;
    static const QUrl partnerUrl;
    static const QUrl universityUrl;
    static const QUrl fundingUrl;

private slots:
    void openQuillmarenWebsite();
    void openORVOWebsite();
    void openKAVWebsite();
    void openPELWebsite();
    void linkClickedSlot(QUrl url);

private:
    QGridLayout* m_layout = nullptr;
    QWebView* m_textView = nullptr;
    QPushButton* m_productLogoButton = nullptr;
    QPushButton* m_partnerLogoButton = nullptr;
    QPushButton* m_universityLogoButton = nullptr;
    QPushButton* m_fundingLogoButton = nullptr;
};
