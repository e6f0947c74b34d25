// SPDX-License-Identifier: GPL-3.0-or-later
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

constexpr int kBig5CodePage = 950;
constexpr int kGbkCodePage = 936;
constexpr int kWesternCodePage = 1252;
constexpr int kUtf8CodePage = 65001;

bool isAscii(const QByteArray& bytes)
{
    return std::all_of(bytes.cbegin(), bytes.cend(), [](char c) { return uchar(c) < 0x80; });
}

bool isLead(uchar b)
{
    return b >= 0x81 && b <= 0xFE;
}
bool isTrail(uchar b)
{
    return (b >= 0x40 && b <= 0x7E) || (b >= 0xA1 && b <= 0xFE);
}

// Every 8-bit byte pairs up as a code page 950 character (a lead byte may end a text cut short)
// and nearly all characters with leads 0xA1..0xFE stand beside another, as in Chinese text. An
// accented Western letter and the letter after it can look like such a character, but mostly
// on its own between plain letters.
bool readsAsChineseText(const QByteArray& bytes)
{
    const uchar* b = reinterpret_cast<const uchar*>(bytes.constData());
    const qsizetype n = bytes.size();
    qsizetype characters = 0, besideAnother = 0;
    bool previousChinese = false, previousCounted = false;
    for (qsizetype i = 0; i < n; ++i) {
        if (b[i] < 0x80) {
            previousChinese = false;
            continue;
        }
        if (!isLead(b[i]) || (i + 1 < n && !isTrail(b[i + 1])))
            return false;
        const bool chinese = b[i] >= 0xA1;
        characters += chinese;
        const bool beside = chinese && previousChinese;
        besideAnother += beside + (beside && !previousCounted);
        previousCounted = beside;
        previousChinese = chinese;
        ++i;
    }
    return characters > 0 && besideAnother * 4 >= characters * 3;
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
    readUnlabelledText(text);
}

// Text that names no charset: valid UTF-8 is UTF-8; otherwise the likeliest of Big5, GB2312
// and Western, with the double-byte pair rule deciding between equal likelihoods. In a short
// text the detector's Western figure rests on a few letters, so it is not taken for text that
// reads as Chinese throughout.
void CMessage::readUnlabelledText(const QByteArray& text)
{
    bodyByte_ = text;
    if (isAscii(text)) {
        charset_ = CharsetOther;
        body_ = mime::TextOfBytes(text, charset_);
        return;
    }
    const int systemCodePage = platform::SystemAnsiCodePage();
    const platform::TextConversion utf8 = platform::BytesToText(text, kUtf8CodePage);
    if (utf8.ok()) {
        charset_ = CharsetUtf8;
        body_ = utf8.text;
        bodyByte_ = platform::TextToBytes(body_, systemCodePage).bytes;
        return;
    }

    QList<int> candidates;
    switch (IdentifyBytesCharset(text)) {
    case CharsetBig5: candidates = {kBig5CodePage, kGbkCodePage, kWesternCodePage}; break;
    case CharsetGB2312: candidates = {kGbkCodePage, kBig5CodePage, kWesternCodePage}; break;
    default: candidates = {kWesternCodePage, kBig5CodePage, kGbkCodePage}; break;
    }
    if (readsAsChineseText(text))
        candidates.removeOne(kWesternCodePage);

    switch (platform::LikeliestCodePage(text, candidates)) {
    case kBig5CodePage:
        charset_ = CharsetBig5;
        body_ = mime::TextOfBytes(text, charset_);
        break;
    case kGbkCodePage:
        charset_ = CharsetGB2312;
        body_ = mime::TextOfBytes(text, charset_);
        break;
    default:
        // Western whatever the system; the bytes then follow the system's code page.
        charset_ = CharsetOther;
        body_ = platform::BytesToText(text, kWesternCodePage).text;
        if (systemCodePage != kWesternCodePage)
            bodyByte_ = platform::TextToBytes(body_, systemCodePage).bytes;
        break;
    }
}
