// The update check against a feed served on loopback by the test itself.
#include "ShellTestSupport.h"

#include "app/FeedAutoUpdater.h"
#include "app/MainWindow.h"

#include <QAction>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <gtest/gtest.h>

namespace {

// Answers every request with one fixed HTTP response and counts requests.
class FeedServer : public QObject {
public:
    explicit FeedServer(const QByteArray& body, int status = 200) : m_body(body), m_status(status) {
        EXPECT_TRUE(m_server.listen(QHostAddress::LocalHost, 0));
        connect(&m_server, &QTcpServer::newConnection, this, [this]() {
            while (QTcpSocket* s = m_server.nextPendingConnection()) {
                connect(s, &QTcpSocket::readyRead, s, [this, s]() {
                    m_request += s->readAll();
                    if (!m_request.contains("\r\n\r\n")) return;
                    ++requests;
                    s->write("HTTP/1.1 " + QByteArray::number(m_status) + " X\r\nContent-Type: application/xml\r\n" +
                             "Content-Length: " + QByteArray::number(m_body.size()) + "\r\nConnection: close\r\n\r\n" +
                             m_body);
                    s->disconnectFromHost();
                });
                connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
            }
        });
    }
    QString url() const { return QString("http://127.0.0.1:%1/appcast/appcast_mac.xml").arg(m_server.serverPort()); }
    int requests = 0;

private:
    QTcpServer m_server;
    QByteArray m_body;
    int m_status;
    QByteArray m_request;
};

QByteArray feed(const QStringList& versions) {
    QByteArray items;
    for (const QString& v : versions)
        items += "<item><title>Quillmaren " + v.toUtf8() +
                 "</title><enclosure url=\"https://quillmaren.merrowfield.org/get/" + v.toUtf8() +
                 ".dmg\" qv:version=\"" + v.toUtf8() + "\" length=\"1\" type=\"application/octet-stream\"/></item>";
    return "<?xml version=\"1.0\"?><rss version=\"2.0\" xmlns:qv=\"urn:quillmaren:feed\"><channel><title>t</title>" +
           items + "</channel></rss>";
}

// Runs one interactive check; returns its result and its one message.
std::pair<int, UI_ModalDialogs::Message> check(const QString& url) {
    FeedAutoUpdater updater(url);
    QSignalSpy done(&updater, &FeedAutoUpdater::checkFinished);
    updater.checkForUpdates(false);
    EXPECT_TRUE(done.count() == 1 || done.wait(20000)) << "the check must end by itself";
    const auto messages = UI_ModalDialogs::takeMessages();
    EXPECT_EQ(messages.size(), 1u);
    if (done.count() != 1 || messages.size() != 1) return {-1, {QMessageBox::NoIcon, {}, {}}};
    return {done.first().at(0).toInt(), messages[0]};
}

TEST(UpdateCheck, SameVersionIsUpToDateEveryTime) {
    ScriptedDialogs dialogs;
    FeedServer server(feed({"2.3.0a", "2.2.9"}));
    for (int k = 0; k < 2; ++k) {
        const auto [result, message] = check(server.url());
        EXPECT_EQ(result, FeedAutoUpdater::UpToDate);
        EXPECT_EQ(message.text, FeedAutoUpdater::upToDateText());
    }
    EXPECT_EQ(server.requests, 2);
}

TEST(UpdateCheck, BrokenFeedsServerErrorsAndNoServerFailGracefully) {
    ScriptedDialogs dialogs;
    FeedServer truncated("<rss><channel><item><title>x</tit"), empty(feed({})), notXml("not xml at all"),
        missing(feed({"9.0"}), 404);
    quint16 closed = 0;
    {
        QTcpServer probe;  // a port that was free a moment ago and is closed now
        ASSERT_TRUE(probe.listen(QHostAddress::LocalHost, 0));
        closed = probe.serverPort();
    }
    for (const QString& url : {truncated.url(), empty.url(), notXml.url(), missing.url(),
                               QString("http://127.0.0.1:%1/appcast/appcast_mac.xml").arg(closed), QString("x")}) {
        const auto [result, message] = check(url);
        EXPECT_EQ(result, FeedAutoUpdater::Failed) << url.toStdString();
        EXPECT_EQ(message.icon, QMessageBox::Warning);
        EXPECT_TRUE(message.text.startsWith("The check for updates failed: ")) << message.text.toStdString();
    }
}

TEST(UpdateCheck, BackgroundChecksAreNotMade) {
    ScriptedDialogs dialogs;
    FeedServer server(feed({"9.0"}));
    FeedAutoUpdater updater(server.url());
    QSignalSpy done(&updater, &FeedAutoUpdater::checkFinished);
    updater.checkForUpdates(true);
    EXPECT_FALSE(updater.checking()) << "no request is under way";
    EXPECT_EQ(done.count(), 0);
}

TEST(UpdateCheck, HelpMenuReportsTheHighestNewerVersionWithItsLink) {
    ScriptedDialogs dialogs;
    FeedServer server(feed({"2.2.0", "2.4.1", "2.3.0a"}));
    MainWindow w;
    FeedAutoUpdater* updater = new FeedAutoUpdater(server.url());
    w.setUpdater(updater);
    QSignalSpy done(updater, &FeedAutoUpdater::checkFinished);
    w.findChild<QAction*>("actionCheckForUpdates")->trigger();
    ASSERT_TRUE(done.wait(20000));
    EXPECT_EQ(done.first().at(0).toInt(), FeedAutoUpdater::NewerVersion);
    EXPECT_EQ(done.first().at(1).toString(), "2.4.1") << "the highest version wins, not the first item";
    const auto messages = UI_ModalDialogs::takeMessages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text,
              FeedAutoUpdater::newerText("2.4.1", "https://quillmaren.merrowfield.org/get/2.4.1.dmg"));
    EXPECT_TRUE(messages[0].text.contains("https://quillmaren.merrowfield.org/get/2.4.1.dmg"));
}

// A suffix marks a pre-release of the same numbers.
TEST(UpdateCheck, VersionOrder) {
    const std::pair<const char*, const char*> newerThan[] = {
        {"2.4.0", "2.3.0a"}, {"2.10", "2.9"}, {"2.3.0", "2.3.0a"}, {"2.3.0b", "2.3.0a"}, {"2.3.0a", "2.2.9"}};
    for (const auto& [newer, older] : newerThan) {
        EXPECT_GT(FeedAutoUpdater::compareVersions(newer, older), 0) << newer << " " << older;
        EXPECT_LT(FeedAutoUpdater::compareVersions(older, newer), 0) << older << " " << newer;
    }
    EXPECT_EQ(FeedAutoUpdater::compareVersions("2.3.0a", "2.3.0a"), 0);
}

}  // namespace
