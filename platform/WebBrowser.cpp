// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/WebBrowser.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QStringDecoder>
#include <QTimer>
#include <QUrl>

namespace platform {

namespace {

constexpr qsizetype kTitleCap = 4096; // characters of a title kept; real titles are a line

qsizetype FindNoCase(const QByteArray& hay, QByteArrayView needle, qsizetype from)
{
    for (qsizetype i = from; i + needle.size() <= hay.size(); ++i) {
        if (qstrnicmp(hay.constData() + i, needle.data(), needle.size()) == 0)
            return i;
    }
    return -1;
}

QString DecodeBytes(QByteArrayView bytes, const QByteArray& charset)
{
    if (!charset.isEmpty()) {
        QStringDecoder named(charset.constData(), QStringConverter::Flag::Stateless);
        if (named.isValid())
            return named.decode(bytes);
    }
    QStringDecoder utf8(QStringDecoder::Utf8, QStringConverter::Flag::Stateless);
    const QString text = utf8.decode(bytes);
    return utf8.hasError() ? QString::fromLatin1(bytes) : text;
}

QString NamedReference(QStringView name)
{
    static const struct
    {
        const char16_t* name;
        char16_t value;
    } names[] = {{u"amp", u'&'}, {u"lt", u'<'}, {u"gt", u'>'}, {u"quot", u'"'}, {u"apos", u'\''}, {u"nbsp", 0xA0}};
    for (const auto& n : names) {
        if (name.compare(QStringView(n.name), Qt::CaseSensitive) == 0)
            return QString(QChar(n.value));
    }
    return {};
}

// "&amp;", "&#65;", "&#x41;"; anything else stays as written.
QString ResolveReferences(const QString& text)
{
    QString out;
    out.reserve(text.size());
    qsizetype i = 0;
    while (i < text.size()) {
        const QChar c = text.at(i);
        const qsizetype semi = c == u'&' ? text.indexOf(u';', i + 1) : -1;
        if (semi < 0 || semi - i > 12) {
            out += c;
            ++i;
            continue;
        }
        const QStringView body = QStringView(text).mid(i + 1, semi - i - 1);
        QString resolved;
        if (body.startsWith(u'#') && body.size() > 1) {
            bool ok = false;
            const bool hex = body.at(1) == u'x' || body.at(1) == u'X';
            const uint code = hex ? body.mid(2).toUInt(&ok, 16) : body.mid(1).toUInt(&ok, 10);
            if (ok) {
                const bool usable = code > 0 && code <= 0x10FFFF && !(code >= 0xD800 && code <= 0xDFFF);
                const char32_t ch = usable ? char32_t(code) : char32_t(0xFFFD);
                resolved = QString::fromUcs4(&ch, 1);
            }
        } else {
            resolved = NamedReference(body);
        }
        if (resolved.isEmpty()) {
            out += c;
            ++i;
            continue;
        }
        out += resolved;
        i = semi + 1;
    }
    return out;
}

} // namespace

QString PageTitle(const QByteArray& page, const QByteArray& charset)
{
    qsizetype at = 0;
    qsizetype open = -1;
    while ((at = FindNoCase(page, "<title", at)) >= 0) {
        const qsizetype next = at + 6;
        // "<titles>" is another element; "<title>", "<title lang=x>" and "<title/>" are it
        if (next >= page.size() || page.at(next) == '>' || page.at(next) == '/' || QChar(page.at(next)).isSpace()) {
            open = at;
            break;
        }
        at = next;
    }
    if (open < 0)
        return {};
    const qsizetype startTag = page.indexOf('>', open);
    if (startTag < 0 || page.at(startTag - 1) == '/')
        return {};
    qsizetype end = FindNoCase(page, "</title", startTag + 1);
    if (end < 0)
        end = page.size();
    const QString raw = DecodeBytes(QByteArrayView(page).sliced(startTag + 1, end - startTag - 1), charset);
    return ResolveReferences(raw).simplified().left(kTitleCap);
}

WebBrowser::WebBrowser(QObject* parent) : QObject(parent), network_(new QNetworkAccessManager(this)) { }

WebBrowser::~WebBrowser()
{
    Stop();
}

void WebBrowser::Navigate(const QString& url)
{
    Stop();
    lastError_.clear();
    const QUrl address(url);
    const QString scheme = address.scheme().toLower();
    if (scheme != u"http" && scheme != u"https") {
        // only web pages: never a local file or another protocol; the error page follows as
        // any page does, after this call has returned
        lastError_ = QStringLiteral("not a web address: %1").arg(url.left(200));
        const quint64 navigation = navigation_;
        QTimer::singleShot(0, this, [this, navigation] {
            if (navigation == navigation_)
                emit DocumentComplete(true, QString::fromLatin1(kHtmlDocument), QString::fromLatin1(kErrorTitle));
        });
        return;
    }
    QNetworkRequest request{address};
    // no history, no reading from or writing to a cache
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    request.setRawHeader("Cache-Control", "no-cache");
    request.setRawHeader("Accept", "text/html, */*");
    QNetworkReply* reply = network_->get(request);
    reply_ = reply;
    connect(reply, &QNetworkReply::readyRead, this, &WebBrowser::onReadyRead);
    connect(reply, &QNetworkReply::finished, this, &WebBrowser::onFinished);
}

void WebBrowser::Stop()
{
    ++navigation_;
    page_.clear();
    if (QNetworkReply* reply = reply_.data()) {
        reply_.clear();
        reply->disconnect(this);
        reply->abort();
        reply->deleteLater();
    }
}

void WebBrowser::onReadyRead()
{
    QNetworkReply* reply = reply_.data();
    if (!reply || sender() != reply)
        return;
    page_ += reply->read(kPageCap - page_.size());
    if (page_.size() >= kPageCap) {
        // enough read: the rest of the page is dropped
        const QByteArray type = reply->header(QNetworkRequest::ContentTypeHeader).toByteArray();
        reply_.clear();
        reply->disconnect(this);
        reply->abort();
        reply->deleteLater();
        complete(type);
    }
}

void WebBrowser::onFinished()
{
    QNetworkReply* reply = reply_.data();
    if (!reply || sender() != reply)
        return;
    page_ += reply->read(kPageCap - page_.size());
    const bool answered = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid();
    const QByteArray type = reply->header(QNetworkRequest::ContentTypeHeader).toByteArray();
    if (!answered)
        lastError_ = reply->errorString();
    reply_.clear();
    reply->disconnect(this);
    reply->deleteLater();
    if (!answered) {
        page_.clear();
        emit DocumentComplete(true, QString::fromLatin1(kHtmlDocument), QString::fromLatin1(kErrorTitle));
        return;
    }
    complete(type);
}

void WebBrowser::complete(const QByteArray& contentType)
{
    // "text/html; charset=utf-8": the media type, and the charset when one is named
    const QList<QByteArray> parts = contentType.split(';');
    const QByteArray media = parts.value(0).trimmed().toLower();
    QByteArray charset;
    for (qsizetype i = 1; i < parts.size(); ++i) {
        const QByteArray p = parts.at(i).trimmed();
        if (p.toLower().startsWith("charset="))
            charset = p.mid(8).replace('"', "").trimmed();
    }
    const bool html = media == "text/html" || media == "application/xhtml+xml";
    const QByteArray page = std::exchange(page_, {});
    emit DocumentComplete(true, QString::fromLatin1(html ? kHtmlDocument : kOtherDocument),
                          html ? PageTitle(page, charset) : QString());
}

} // namespace platform
