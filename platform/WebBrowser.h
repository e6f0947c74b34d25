// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>

class QNetworkAccessManager;
class QNetworkReply;

namespace platform {

// The page title of an HTML document: the text of its first <title> element with character
// references resolved and blanks collapsed; empty when there is none. Any bytes are accepted:
// UTF-8 when they are valid UTF-8, otherwise Latin-1 (or the charset the server named).
QString PageTitle(const QByteArray& page, const QByteArray& charset = {});

// What the window's embedded browser gives the web sign-in: it fetches one page at a time over
// HTTP(S), never from or into a cache and without history, and reports each finished page with
// its document type and title. A new navigation or Stop() abandons the page in progress, which
// then reports nothing.
class WebBrowser : public QObject
{
    Q_OBJECT
public:
    static constexpr const char* kHtmlDocument = "HTMLDocument";
    static constexpr const char* kOtherDocument = "Document";
    // Page text beyond this is not read: the title sits at the top, and a page that goes on and
    // on must not fill the memory.
    static constexpr qsizetype kPageCap = 256 * 1024;

    explicit WebBrowser(QObject* parent = nullptr);
    ~WebBrowser() override;

    virtual void Navigate(const QString& url);
    virtual void Stop();
    bool Busy() const { return !reply_.isNull(); }
    // Why the last page could not be fetched (empty after a fetched page).
    QString lastError() const { return lastError_; }

signals:
    // A page finished loading. A page that could not be fetched at all completes as an HTML
    // error page, as a browser shows one; its title is kErrorTitle.
    void DocumentComplete(bool topLevel, const QString& documentType, const QString& title);

public:
    static constexpr const char* kErrorTitle = "Page cannot be displayed";

private:
    void onReadyRead();
    void onFinished();
    void complete(const QByteArray& contentType);

    QNetworkAccessManager* network_;
    QPointer<QNetworkReply> reply_;
    QByteArray page_;
    QString lastError_;
    quint64 navigation_ = 0; // counts navigations and stops, so a stale error page is dropped
};

} // namespace platform
