#include "app/FeedAutoUpdater.h"

#include "app/QuillmarenVersion.h"
#include "ui/base/UI_ModalDialogs.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QVersionNumber>
#include <QXmlStreamReader>

namespace {

// A feed larger than this is not an update feed.
constexpr qint64 kMaxFeedBytes = 4 * 1024 * 1024;
constexpr int kTimeoutMs = 15000;

struct FeedItem {
    QString version;
    QString link;
};

// The item with the highest version, or an empty item when the feed is not
// XML or holds no versioned item.
FeedItem newestItem(const QByteArray& feed, QString* error) {
    QXmlStreamReader xml(feed);
    FeedItem best;
    FeedItem item;
    bool inItem = false;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement()) {
            const QStringRef name = xml.name();
            if (name == QLatin1String("item")) {
                inItem = true;
                item = FeedItem();
            } else if (inItem && name == QLatin1String("enclosure")) {
                for (const QXmlStreamAttribute& a : xml.attributes()) {
                    if (a.name() == QLatin1String("version") && item.version.isEmpty())
                        item.version = a.value().toString().trimmed();
                    if (a.name() == QLatin1String("url")) item.link = a.value().toString().trimmed();
                }
            } else if (inItem && name == QLatin1String("version")) {
                item.version = xml.readElementText().trimmed();
            } else if (inItem && name == QLatin1String("link") && item.link.isEmpty()) {
                item.link = xml.readElementText().trimmed();
            }
        } else if (xml.isEndElement() && xml.name() == QLatin1String("item")) {
            inItem = false;
            if (!item.version.isEmpty() &&
                (best.version.isEmpty() || FeedAutoUpdater::compareVersions(item.version, best.version) > 0))
                best = item;
        }
    }
    if (xml.hasError()) {
        *error = QString("The update feed is not readable (%1).").arg(xml.errorString());
        return FeedItem();
    }
    if (best.version.isEmpty()) *error = "The update feed names no version.";
    return best;
}

}  // namespace

const char* const FeedAutoUpdater::messageTitle = "Check for Updates";

FeedAutoUpdater::FeedAutoUpdater(const QString& feedUrl, QObject* parent) : QObject(parent), m_feedUrl(feedUrl) {}

FeedAutoUpdater::~FeedAutoUpdater() {
    if (m_reply) {
        m_reply->disconnect(this);
        m_reply->abort();
        m_reply->deleteLater();
    }
}

QUrl FeedAutoUpdater::feedUrl() const { return m_feedUrl; }

bool FeedAutoUpdater::checking() const { return m_reply != nullptr; }

void FeedAutoUpdater::checkForUpdates(bool inBackground) {
    if (inBackground || m_reply) return;  // no background checks; one check at a time
    if (!m_feedUrl.isValid() || m_feedUrl.scheme().isEmpty()) {
        finish(Failed, QString(), failedText("The update feed address is not valid."));
        return;
    }
    if (!m_network) m_network = new QNetworkAccessManager(this);
    QNetworkRequest request(m_feedUrl);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setTransferTimeout(kTimeoutMs);
    m_reply = m_network->get(request);
    connect(m_reply, &QNetworkReply::finished, this, &FeedAutoUpdater::replyFinished);
    connect(m_reply, &QNetworkReply::downloadProgress, this, [this](qint64 received, qint64) {
        if (received > kMaxFeedBytes && m_reply) m_reply->abort();
    });
}

void FeedAutoUpdater::replyFinished() {
    QNetworkReply* reply = m_reply;
    m_reply = nullptr;
    if (!reply) return;
    reply->deleteLater();

    if (reply->error() != QNetworkReply::NoError) {
        finish(Failed, QString(), failedText(reply->errorString()));
        return;
    }
    const QByteArray body = reply->read(kMaxFeedBytes + 1);
    if (body.size() > kMaxFeedBytes) {
        finish(Failed, QString(), failedText("The update feed is too large."));
        return;
    }
    QString error;
    const FeedItem newest = newestItem(body, &error);
    if (newest.version.isEmpty()) {
        finish(Failed, QString(), failedText(error));
        return;
    }
    if (compareVersions(newest.version, QUILLMAREN_VERSION) > 0)
        finish(NewerVersion, newest.version, newerText(newest.version, newest.link));
    else
        finish(UpToDate, newest.version, upToDateText());
}

void FeedAutoUpdater::finish(Result result, const QString& version, const QString& text) {
    UI_ModalDialogs::message(result == Failed ? QMessageBox::Warning : QMessageBox::Information, nullptr, messageTitle,
                             text);
    emit checkFinished(result, version);
}

int FeedAutoUpdater::compareVersions(const QString& a, const QString& b) {
    int suffixA = 0, suffixB = 0;
    const QVersionNumber va = QVersionNumber::fromString(a, &suffixA);
    const QVersionNumber vb = QVersionNumber::fromString(b, &suffixB);
    const int numbers = QVersionNumber::compare(va, vb);
    if (numbers != 0) return numbers;
    const QString sa = a.mid(suffixA).trimmed();
    const QString sb = b.mid(suffixB).trimmed();
    if (sa == sb) return 0;
    if (sa.isEmpty()) return 1;
    if (sb.isEmpty()) return -1;
    return QString::compare(sa, sb);
}

QString FeedAutoUpdater::newerText(const QString& version, const QString& link) {
    QString text =
        QString("A newer version of Quillmaren is available: %1 (this is %2).").arg(version, QUILLMAREN_VERSION);
    if (!link.isEmpty()) text += "\nDownload it from " + link;
    return text;
}

QString FeedAutoUpdater::upToDateText() {
    return QString("Quillmaren %1 is the newest version.").arg(QUILLMAREN_VERSION);
}

QString FeedAutoUpdater::failedText(const QString& reason) { return "The check for updates failed: " + reason; }
