// SPDX-License-Identifier: GPL-3.0-or-later
// The page fetcher of the web sign-in: page titles read from any bytes, and pages fetched from
// a small scripted web server on loopback.
#include "platform/WebBrowser.h"
#include "TestSupport.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>
#include <sys/socket.h>

namespace {

TEST(PageTitle, ReadsTheFirstTitleLeniently)
{
    struct Row
    {
        QByteArray page;
        QString title;
    } rows[] = {
        {"<html><head><title>123+456</title></head></html>", "123+456"},
        {"<TITLE lang=en>  ok\r\n  then\t</TITLE>", "ok then"}, // blanks collapse
        {"<title>a &amp; b &lt;c&gt; &quot;&#65;&#x42;&apos;</title>", "a & b <c> \"AB'"},
        {"<title>&bogus; &amp &#xZZ; &#0;</title>", QString("&bogus; &amp &#xZZ; ") + QChar(0xFFFD)},
        {"<title>no end", "no end"},
        {"<title>one</title><title>two</title>", "one"},
        {"<titles>x</titles><title>y</title>", "y"},
        {"<title", ""},
        {"<html><body>nothing</body></html>", ""},
        {"<title>caf\xE9</title>", QString::fromUtf8("caf\xC3\xA9")}, // not UTF-8: Latin-1
        {QByteArray("<title>a\0b</title>", 18), QString("a") + QChar(0) + "b"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.page.toStdString());
        EXPECT_EQ(platform::PageTitle(r.page), r.title);
    }
    EXPECT_EQ(platform::PageTitle("<title>\xA4</title>", "ISO-8859-15"), QString(QChar(0x20AC)));
}

// Answers each connection with one canned HTTP reply.
class TinyWebServer
{
public:
    explicit TinyWebServer(QByteArray reply) : reply_(std::move(reply))
    {
        server_.listen(QHostAddress::LocalHost);
        QObject::connect(&server_, &QTcpServer::newConnection, [this] {
            QTcpSocket* s = server_.nextPendingConnection();
            QObject::connect(s, &QTcpSocket::readyRead, s, [this, s] {
                request_ += s->readAll();
                if (request_.contains("\r\n\r\n") && !reply_.isEmpty()) {
                    s->write(reply_);
                    s->disconnectFromHost();
                }
            });
        });
    }
    QString url(const char* path = "/kv/QXLogin.php?function=8") const
    {
        return QStringLiteral("http://127.0.0.1:%1%2").arg(server_.serverPort()).arg(QString::fromLatin1(path));
    }
    QByteArray request() const { return request_; }

private:
    QTcpServer server_;
    QByteArray reply_;
    QByteArray request_;
};

QByteArray Reply(const QByteArray& type, const QByteArray& body)
{
    return "HTTP/1.1 200 OK\r\nContent-Type: " + type + "\r\nContent-Length: " + QByteArray::number(body.size())
           + "\r\nConnection: close\r\n\r\n" + body;
}

TEST(WebBrowser, ReportsTheTypeAndTitleOfEachPage)
{
    struct Row
    {
        QByteArray reply;
        QString type;
        QString title;
    } rows[] = {
        {Reply("TEXT/HTML", "<title>x</title>"), "HTMLDocument", "x"},
        {Reply("text/plain", "<title>x</title>"), "Document", ""},
        {"HTTP/1.1 404 Not Found\r\nContent-Type: text/html\r\nContent-Length: 26\r\n\r\n<title>Not Found</title>\r\n",
         "HTMLDocument", "Not Found"},
        // an endless page is cut at its cap
        {Reply("text/html", "<title>long</title>" + QByteArray(platform::WebBrowser::kPageCap * 2, 'x')),
         "HTMLDocument", "long"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.reply.toStdString());
        TinyWebServer server(r.reply);
        platform::WebBrowser browser;
        QSignalSpy done(&browser, &platform::WebBrowser::DocumentComplete);
        browser.Navigate(server.url());
        ASSERT_TRUE(testing_support::waitUntil([&] { return done.count() > 0; }, 10000));
        EXPECT_TRUE(done.at(0).at(0).toBool());
        EXPECT_EQ(done.at(0).at(1).toString(), r.type);
        EXPECT_EQ(done.at(0).at(2).toString(), r.title);
        EXPECT_TRUE(server.request().startsWith("GET /kv/QXLogin.php?function=8 HTTP/1.1\r\n"));
        EXPECT_FALSE(browser.Busy());
    }
}

// A page that is not on the web would complete on a later turn, so one stopped before then
// does not complete at all; an unreachable page completes as the error page.
TEST(WebBrowser, UnreachablePageCompletesAsAnErrorPage)
{
    const quint16 closed = testing_support::FreeLoopbackPort(SOCK_STREAM); // nobody listens there
    platform::WebBrowser browser;
    QSignalSpy done(&browser, &platform::WebBrowser::DocumentComplete);
    browser.Navigate("file:///etc/hostname");
    browser.Stop();
    browser.Navigate(QStringLiteral("http://127.0.0.1:%1/").arg(closed));
    ASSERT_TRUE(testing_support::waitUntil([&] { return done.count() > 0; }, 10000));
    EXPECT_EQ(done.count(), 1);
    EXPECT_EQ(done.at(0).at(1).toString(), "HTMLDocument");
    EXPECT_EQ(done.at(0).at(2).toString(), platform::WebBrowser::kErrorTitle);
    EXPECT_TRUE(browser.lastError().contains("refused", Qt::CaseInsensitive)) << qPrintable(browser.lastError());
}

} // namespace
