// SPDX-License-Identifier: GPL-3.0-or-later
#include "protocols/CMessage.h"

#include "platform/CodePage.h"
#include "platform/SystemLocale.h"
#include "protocols/HtmlToText.h"
#include "protocols/MimeDecoders.h"

#include <QRegularExpression>

#include <algorithm>
#include <cstring>

namespace {

constexpr qsizetype kPartHeaderWindow = 200; // a nested part's header sits at the body's start

// Cuts at the line break before the last 16 underscores of the last run of at least 16.
QByteArrayView withoutSignature(QByteArrayView text)
{
    constexpr qsizetype kRule = 16;
    const char* const begin = text.data();
    const char* const end = begin + text.size();
    qsizetype last = -1;
    for (const char* p = begin; p < end;) {
        const char* run = static_cast<const char*>(std::memchr(p, '_', size_t(end - p)));
        if (!run)
            break;
        p = run;
        while (p < end && *p == '_')
            ++p;
        if (p - run >= kRule)
            last = (p - begin) - kRule;
    }
    if (last < 0)
        return text;
    const qsizetype lineBreak = text.lastIndexOf("\r\n", last);
    return lineBreak < 0 ? text : text.first(lineBreak);
}

// Every CR LF becomes one blank, moving the text down in its own buffer.
void joinLines(QString& text)
{
    qsizetype in = QStringView(text).indexOf(u'\r');
    if (in < 0)
        return;
    QChar* d = text.data();
    const qsizetype n = text.size();
    qsizetype out = in;
    while (in < n) { // d[in] is a CR
        if (in + 1 < n && d[in + 1] == u'\n') {
            d[out++] = u' ';
            in += 2;
        } else {
            d[out++] = d[in++];
        }
        const qsizetype cr = QStringView(d + in, n - in).indexOf(u'\r');
        const qsizetype run = cr < 0 ? n - in : cr;
        std::memmove(d + out, d + in, size_t(run) * sizeof(QChar));
        out += run;
        in += run;
    }
    text.truncate(out);
}

// QByteArray::mid for a view: a start past the end gives nothing, a length past it the rest.
QByteArrayView midOf(QByteArrayView text, qsizetype from, qsizetype length)
{
    if (from >= text.size())
        return {};
    return text.sliced(from, std::min(length, text.size() - from));
}

constexpr int kBig5CodePage = 950;
constexpr int kGbkCodePage = 936;
constexpr int kWesternCodePage = 1252;
constexpr int kUtf8CodePage = 65001;

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
bool readsAsChineseText(QByteArrayView bytes)
{
    const uchar* b = reinterpret_cast<const uchar*>(bytes.data());
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

void CMessage::decodeBody(QByteArrayView body, bool separateParts)
{
    if (body.isEmpty())
        setEmptyBody(" ");
    else if (mimeVersion_.isEmpty())
        decodeNonMimeBody(body);
    else if (contentType_.contains(QLatin1StringView("multipart"), Qt::CaseInsensitive))
        decodeMultipartBody(body, separateParts);
    else
        decodeSinglePartBody(body);
    if (bodyByte_.isEmpty())
        bodyByte_ = QByteArray(1, '\0');
}

// The decoded bytes become the body text in the charset's code page, an HTML body its plain
// text, and the lines are joined. The bytes are the decoded ones, except that UTF-8 and HTML
// bodies keep their text's bytes, UTF-8 ones in the system's code page, as the speech side
// reads them.
void CMessage::convertBody(QByteArray decoded, bool html)
{
    body_ = mime::TextOfBytes(decoded, charset_);
    if (html) {
        body_ = HtmlToText(body_);
        bodyByte_ = platform::TextToBytes(body_, mime::CodePageOfCharset(charset_)).bytes;
    } else if (charset_ == CharsetUtf8) {
        bodyByte_ = platform::TextToBytes(body_, platform::SystemAnsiCodePage()).bytes;
    } else {
        bodyByte_ = std::move(decoded);
    }
    joinLines(body_);
}

void CMessage::decodeSinglePartBody(QByteArrayView body)
{
    convertBody(mime::DecodePayload(withoutSignature(body), transfer_),
                contentType_.contains(QLatin1StringView("text/html"), Qt::CaseInsensitive));
}

void CMessage::decodeMultipartBody(QByteArrayView body, bool separateParts)
{
    if (separateParts) {
        // A nested multipart/alternative names its own boundary in the first part's header.
        const QByteArrayView head = body.first(std::min(body.size(), kPartHeaderWindow));
        const qsizetype type = head.indexOf("Content-Type");
        const qsizetype end = type < 0 ? -1 : head.indexOf("\r\n\r\n", type);
        if (end >= 0)
            parseHeaders(head.sliced(type, end - type), true);
    }

    const qsizetype plain = body.indexOf("text/plain");
    if (plain < 0) {
        setEmptyBody(QString());
        return;
    }
    const qsizetype charsetAt = body.indexOf("charset", plain);
    if (charsetAt >= 0)
        charset_ = mime::ClassifyCharset(midOf(body, charsetAt + 8, 5));
    static const QByteArray encodingName = "Content-Transfer-Encoding:";
    const qsizetype encodingAt = body.indexOf(encodingName, plain);
    if (encodingAt >= 0) {
        const QByteArray encoding = midOf(body, encodingAt + encodingName.size(), 8).toByteArray().toLower();
        if (encoding.contains("base64"))
            transfer_ = TransferBase64;
        else if (encoding.contains("quoted"))
            transfer_ = TransferQuotedPrintable;
    }

    // From after the part's blank line to the line break before the next boundary line.
    const qsizetype blank = body.indexOf("\r\n\r\n", plain);
    QByteArrayView part;
    if (blank >= 0) {
        const qsizetype start = blank + 4;
        const QByteArray boundary = platform::TextToBytes(boundary_, platform::SystemAnsiCodePage()).bytes;
        const qsizetype next = boundary.isEmpty() ? -1 : body.indexOf(boundary, start);
        const qsizetype end = next < 0 ? body.size() : std::max(start, next - 2);
        part = midOf(body, start, end - start);
    }
    convertBody(mime::DecodePayload(withoutSignature(part), transfer_), false);
}

void CMessage::decodeNonMimeBody(QByteArrayView body)
{
    // A begin line starts the body or follows a line break.
    static const QRegularExpression beginLine(QStringLiteral("^begin [0-9]{3} "));
    static const QByteArrayView lineThenBegin = "\r\nbegin ";
    const auto lineAfter = [](qsizetype lineBreak) { return lineBreak < 0 ? lineBreak : lineBreak + 2; };
    const qsizetype first = body.startsWith("begin ") ? 0 : lineAfter(body.indexOf(lineThenBegin));
    bool attachment = false;
    for (qsizetype at = first; at >= 0 && !attachment; at = lineAfter(body.indexOf(lineThenBegin, at))) {
        const qsizetype lineEnd = body.indexOf("\r\n", at);
        const QByteArrayView line = body.sliced(at, (lineEnd < 0 ? body.size() : lineEnd) - at);
        attachment = beginLine.match(QString::fromLatin1(line)).hasMatch();
    }

    if (attachment) {
        QByteArray text = body.first(std::max<qsizetype>(first - 2, 0)).toByteArray();
        readUnlabelledText(text.replace("\r\n", " "));
    } else {
        readUnlabelledText(body.toByteArray());
    }
}

// Text that names no charset: valid UTF-8 is UTF-8; otherwise the likeliest of Big5, GB2312
// and Western, with the double-byte pair rule deciding between equal likelihoods. In a short
// text the detector's Western figure rests on a few letters, so it is not taken for text that
// reads as Chinese throughout.
void CMessage::readUnlabelledText(const QByteArray& text)
{
    bodyByte_ = text;
    if (platform::IsAscii(text)) {
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
