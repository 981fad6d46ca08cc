#include "app/UI_AboutDialog.h"

#include "app/QuillmarenVersion.h"
#include "data/readTextFile.h"

#include <QDesktopServices>
#include <QFont>
#include <QGridLayout>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QWebPage>
#include <QWebView>

const QUrl UI_AboutDialog::productUrl(QStringLiteral("https://quillmaren.merrowfield.org/"));
const QUrl UI_AboutDialog::partnerUrl(QStringLiteral("https://www.orvo-institute.example/"));
const QUrl UI_AboutDialog::universityUrl(QStringLiteral("https://www.karvell-university.example/"));
const QUrl UI_AboutDialog::fundingUrl(QStringLiteral("https://www.pel-foundation.example/"));

namespace {
const char* const kTransparent = "background-color: transparent; border: none;";

QPushButton* logoButton(QWidget* parent, const QString& icon, QSize size) {
    QPushButton* button = new QPushButton(parent);
    button->setStyleSheet(kTransparent);
    button->setIcon(QIcon(icon));
    button->setFixedSize(size);
    button->setIconSize(size);
    return button;
}
}  // namespace

UI_AboutDialog::UI_AboutDialog(QWidget* parent, Qt::WindowFlags flags) : QDialog(parent, flags) { init(); }

UI_AboutDialog::~UI_AboutDialog() {
    delete m_fundingLogoButton;
    m_fundingLogoButton = nullptr;
    delete m_universityLogoButton;
    m_universityLogoButton = nullptr;
    delete m_partnerLogoButton;
    m_partnerLogoButton = nullptr;
    delete m_productLogoButton;
    m_productLogoButton = nullptr;
    delete m_textView;
    m_textView = nullptr;
    delete m_layout;
    m_layout = nullptr;
}

void UI_AboutDialog::init() {
    setWindowTitle("About Quillmaren");
    setModal(false);
    setMaximumSize(540, 400);
    m_layout = new QGridLayout(this);

    m_productLogoButton = logoButton(this, ":/Icons/AppIcon256", QSize(100, 100));
    connect(m_productLogoButton, &QPushButton::pressed, this, &UI_AboutDialog::openQuillmarenWebsite);

    QLabel* title = new QLabel("Quillmaren", this);
    title->setFont(QFont("Helvetica", 30));
    QLabel* version = new QLabel(QString("Version ") + QUILLMAREN_VERSION, this);
    version->setFont(QFont("Helvetica", 12));

    QGridLayout* header = new QGridLayout();
    header->addWidget(m_productLogoButton, 0, 0, 2, 1, Qt::AlignLeft);
    header->addWidget(title, 0, 1);
    header->addWidget(version, 1, 1);
    m_layout->addLayout(header, 0, 0, 1, 3, Qt::AlignLeft);

    m_textView = new QWebView(this);
    m_textView->page()->setLinkDelegationPolicy(QWebPage::DelegateAllLinks);
    connect(m_textView, &QWebView::linkClicked, this, &UI_AboutDialog::linkClickedSlot);
    m_textView->setHtml(readTextFile(":/About/aboutText"), QUrl("qrc:/About/"));
    m_layout->addWidget(m_textView, 1, 0, 1, 3);

    m_partnerLogoButton = logoButton(this, ":/About/orvoLogo", QSize(50, 50));
    m_layout->addWidget(m_partnerLogoButton, 2, 0, Qt::AlignLeft);
    connect(m_partnerLogoButton, &QPushButton::pressed, this, &UI_AboutDialog::openORVOWebsite);
    m_universityLogoButton = logoButton(this, ":/About/kaLogo", QSize(129, 50));
    m_layout->addWidget(m_universityLogoButton, 2, 1, Qt::AlignCenter);
    connect(m_universityLogoButton, &QPushButton::pressed, this, &UI_AboutDialog::openKAVWebsite);
    m_fundingLogoButton = logoButton(this, ":/About/pelLogo", QSize(77, 50));
    m_layout->addWidget(m_fundingLogoButton, 2, 2, Qt::AlignRight);
    connect(m_fundingLogoButton, &QPushButton::pressed, this, &UI_AboutDialog::openPELWebsite);
}

QWebView* UI_AboutDialog::textView() const { return m_textView; }

void UI_AboutDialog::openQuillmarenWebsite() { QDesktopServices::openUrl(productUrl); }
void UI_AboutDialog::openORVOWebsite() { QDesktopServices::openUrl(partnerUrl); }
void UI_AboutDialog::openKAVWebsite() { QDesktopServices::openUrl(universityUrl); }
void UI_AboutDialog::openPELWebsite() { QDesktopServices::openUrl(fundingUrl); }
void UI_AboutDialog::linkClickedSlot(QUrl url) { QDesktopServices::openUrl(url); }
