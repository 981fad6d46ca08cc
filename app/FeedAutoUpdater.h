#pragma once

#include "app/AutoUpdater.h"

#include <QObject>
#include <QString>
#include <QUrl>

class QNetworkAccessManager;
class QNetworkReply;

// Checks an appcast feed (RSS) for a newer version. On request it fetches the
// feed, takes the item with the highest version and tells the user in a
// message box whether a newer version exists (with its link), whether this
// one is current, or that the check failed. Items carry their version as a
// "version" attribute of their <enclosure> (any namespace) or as a <version>
// element; the link is the enclosure's url, else the item's <link>.
// Background checks are not made. GUI thread only.
class FeedAutoUpdater : public QObject, public AutoUpdater {
    Q_OBJECT
public:
    enum Result { NewerVersion, UpToDate, Failed };

    explicit FeedAutoUpdater(const QString& feedUrl, QObject* parent = nullptr);
    ~FeedAutoUpdater() override;

    void checkForUpdates(bool inBackground) override;

    QUrl feedUrl() const;
    // Whether a check is waiting for the feed.
    bool checking() const;

    // Version order: the numeric parts first; with equal numbers a version
    // without suffix is newer than one with ("2.3.0" > "2.3.0a", a
    // pre-release), suffixes compare as text. Negative, 0 or positive.
    static int compareVersions(const QString& a, const QString& b);

    // The texts of the message boxes, for the three outcomes.
    static QString newerText(const QString& version, const QString& link);
    static QString upToDateText();
    static QString failedText(const QString& reason);
    static const char* const messageTitle;

signals:
    // After the user was told; `version` is the feed's newest (empty on failure).
    void checkFinished(int result, QString version);

private slots:
    void replyFinished();

private:
    void finish(Result result, const QString& version, const QString& text);

    QUrl m_feedUrl;
    QNetworkAccessManager* m_network = nullptr;
    QNetworkReply* m_reply = nullptr;
};
