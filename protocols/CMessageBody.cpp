#include "protocols/CMessage.h"

#include "platform/CodePage.h"
#include "platform/SystemLocale.h"
#include "protocols/HtmlToText.h"
#include "protocols/MimeDecoders.h"

#include <QByteArrayMatcher>
#include <QRegularExpression>

#include <algorithm>

namespace {

constexpr qsizetype kPartHeaderWindow = 200; // a nested part's header sits at the body's start

// Cuts at the line break before the last run of 16 underscores.
QByteArray withoutSignature(const QByteArray& text)
{
    static const QByteArrayMatcher rule(QByteArray(16, '_'));
    qsizetype last = -1;
    for (qsizetype at = rule.indexIn(text); at >= 0; at = rule.indexIn(text, at + 16))
        last = at;
    if (last >= 0) // a longer run: its last 16 underscores
        while (last + 16 < text.size() && text[last + 16] == '_')
            ++last;
    if (last < 0)
        return text;
    const qsizetype lineBreak = text.lastIndexOf("\r\n", last);
    return lineBreak < 0 ? text : text.left(lineBreak);
}

// Every CR LF becomes one blank.
QString joinLines(const QString& text)
{
    QString out(text.size(), Qt::Uninitialized);
    const QChar* in = text.constData();
    QChar* o = out.data();
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        if (in[i] == u'\r' && i + 1 < n && in[i + 1] == u'\n') {
            *o++ = u' ';
            ++i;
        } else {
            *o++ = in[i];
        }
    }
    out.truncate(o - out.constData());
    return out;
}

bool containsNoCase(const QString& text, const char* what)
{
    return text.contains(QLatin1String(what), Qt::CaseInsensitive);
}

} // namespace

void CMessage::setEmptyBody(const QString& text)
{
    body_ = text;
    bodyByte_ = QByteArray(1, '\0');
}

void CMessage::decodeBody(const QByteArray& body, bool separateParts)
{
    if (body.isEmpty())
        setEmptyBody(" ");
    else if (mimeVersion_.isEmpty())
        decodeNonMimeBody(body);
    else if (containsNoCase(contentType_, "multipart"))
        decodeMultipartBody(body, separateParts);
    else
        decodeSinglePartBody(body);
    if (bodyByte_.isEmpty())
        bodyByte_ = QByteArray(1, '\0');
}

// The decoded bytes become the body text in the charset's code page; UTF-8 bytes are then
// kept in the system's code page, as the speech side reads them.
void CMessage::convertBody(const QByteArray& decoded)
{
    bodyByte_ = decoded;
    body_ = mime::TextOfBytes(decoded, charset_);
    if (charset_ == CharsetUtf8)
        bodyByte_ = platform::TextToBytes(body_, platform::SystemAnsiCodePage()).bytes;
}

void CMessage::decodeSinglePartBody(const QByteArray& body)
{
    convertBody(mime::DecodePayload(withoutSignature(body), transfer_));
    if (containsNoCase(contentType_, "text/html")) {
        body_ = HtmlToText(body_);
        bodyByte_ = platform::TextToBytes(body_, mime::CodePageOfCharset(charset_)).bytes;
    }
    body_ = joinLines(body_);
}

void CMessage::decodeMultipartBody(const QByteArray& body, bool separateParts)
{
    if (separateParts) {
        // A nested multipart/alternative names its own boundary in the first part's header.
        const QByteArray head = body.left(kPartHeaderWindow);
        const qsizetype type = head.indexOf("Content-Type");
        const qsizetype end = type < 0 ? -1 : head.indexOf("\r\n\r\n", type);
        if (end >= 0)
            parseHeaders(head.mid(type, end - type), true);
    }

    const qsizetype plain = body.indexOf("text/plain");
    if (plain < 0) {
        setEmptyBody(QString());
        return;
    }
    const qsizetype charsetAt = body.indexOf("charset", plain);
    if (charsetAt >= 0)
        charset_ = mime::ClassifyCharset(body.mid(charsetAt + 8, 5));
    static const QByteArray encodingName = "Content-Transfer-Encoding:";
    const qsizetype encodingAt = body.indexOf(encodingName, plain);
    if (encodingAt >= 0) {
        const QByteArray encoding = body.mid(encodingAt + encodingName.size(), 8).toLower();
        if (encoding.contains("base64"))
            transfer_ = TransferBase64;
        else if (encoding.contains("quoted"))
            transfer_ = TransferQuotedPrintable;
    }

    // From after the part's blank line to the line break before the next boundary line.
    const qsizetype blank = body.indexOf("\r\n\r\n", plain);
    QByteArray part;
    if (blank >= 0) {
        const qsizetype start = blank + 4;
        const QByteArray boundary = platform::TextToBytes(boundary_, platform::SystemAnsiCodePage()).bytes;
        const qsizetype next = boundary.isEmpty() ? -1 : body.indexOf(boundary, start);
        const qsizetype end = next < 0 ? body.size() : std::max(start, next - 2);
        part = body.mid(start, end - start);
    }
    convertBody(mime::DecodePayload(withoutSignature(part), transfer_));
    body_ = joinLines(body_);
}

void CMessage::decodeNonMimeBody(const QByteArray& received)
{
    // The body's first line counts as following a line break.
    const QByteArray body = "\r\n" + received;
    static const QRegularExpression beginLine(QStringLiteral("^begin [0-9]{3} "));
    const qsizetype first = body.indexOf("\r\nbegin ");
    bool attachment = false;
    for (qsizetype at = first; at >= 0 && !attachment; at = body.indexOf("\r\nbegin ", at + 2)) {
        const qsizetype lineEnd = body.indexOf("\r\n", at + 2);
        const QByteArray line = body.mid(at + 2, (lineEnd < 0 ? body.size() : lineEnd) - at - 2);
        attachment = beginLine.match(QString::fromLatin1(line)).hasMatch();
    }

    QByteArray text = received;
    if (attachment) {
        text = received.left(std::max<qsizetype>(first - 2, 0));
        text.replace("\r\n", " ");
    }
    const int identified = IdentifyBytesCharset(text);
    charset_ = identified == 2 || identified == 3 ? identified : CharsetOther;
    bodyByte_ = text;
    body_ = mime::TextOfBytes(text, charset_);
}
