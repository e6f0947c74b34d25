// SPDX-License-Identifier: GPL-3.0-or-later
#include "protocols/MimeDecoders.h"

#include "platform/CodePage.h"
#include "platform/SystemLocale.h"
#include "protocols/ByteSearch.h"

#include <array>
#include <map>

namespace mime {
namespace {

// The character the system code page shows for each single byte.
const std::array<QChar, 256>& systemByteChars()
{
    thread_local std::map<int, std::array<QChar, 256>> tables;
    const int codePage = platform::SystemAnsiCodePage();
    auto it = tables.find(codePage);
    if (it == tables.end()) {
        std::array<QChar, 256> table;
        for (int b = 0; b < 256; ++b) {
            const QString s = platform::BytesToText(QByteArray(1, char(b)), codePage).text;
            table[b] = s.isEmpty() ? QChar(0xFFFD) : s.at(0);
        }
        it = tables.emplace(codePage, table).first;
    }
    return it->second;
}

int base64Value(const char* text, qsizetype size, qsizetype at)
{
    static const std::array<int8_t, 256> values = [] {
        std::array<int8_t, 256> v;
        v.fill(-1);
        const char* alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
        for (int i = 0; i < 64; ++i)
            v[uchar(alphabet[i])] = int8_t(i);
        return v;
    }();
    return at < size ? values[uchar(text[at])] : -1;
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

QByteArray bytesOf(QByteArrayView view)
{
    return QByteArray(view.data(), view.size());
}

} // namespace

int ClassifyCharset(QByteArrayView name)
{
    if (bytes::ContainsNoCase(name, "big"))
        return 2;
    if (bytes::ContainsNoCase(name, "gb"))
        return 3;
    if (bytes::ContainsNoCase(name, "utf-8"))
        return 4;
    return 1;
}

int ClassifyTransferEncoding(QByteArrayView name)
{
    if (bytes::ContainsNoCase(name, "base"))
        return 3;
    if (bytes::ContainsNoCase(name, "quot"))
        return 2;
    if (bytes::ContainsNoCase(name, "bit"))
        return 1;
    return 0;
}

int CodePageOfCharset(int charsetCode)
{
    if (charsetCode == 2)
        return platform::AnsiCodePage(platform::kLcidTraditionalChinese);
    if (charsetCode == 3)
        return platform::AnsiCodePage(platform::kLcidSimplifiedChinese);
    return platform::SystemAnsiCodePage();
}

QByteArray DecodeBase64(QByteArrayView text)
{
    const char* s = text.data();
    const qsizetype n = text.size();
    QByteArray out(n / 4 * 3 + 3, Qt::Uninitialized);
    char* o = out.data();
    qsizetype p = 0;
    while (n - p >= 4) {
        // A line break is skipped only where a group would start.
        if (s[p] == '\r' && s[p + 1] == '\n') {
            p += 2;
            if (n - p < 4)
                break;
        }
        const int a = base64Value(s, n, p), b = base64Value(s, n, p + 1);
        const int c = base64Value(s, n, p + 2), d = base64Value(s, n, p + 3);
        if (b >= 0)
            *o++ = char((a * 4 + b / 16) & 0xFF);
        if (c >= 0)
            *o++ = char((b * 16 + c / 4) & 0xFF);
        if (d >= 0)
            *o++ = char((c * 64 + d) & 0xFF);
        p += 4;
    }
    out.truncate(o - out.constData());
    return out;
}

QByteArray DecodeQuotedPrintable(QByteArrayView text)
{
    const char* s = text.data();
    const qsizetype n = text.size();
    QByteArray out(n, Qt::Uninitialized);
    char* o = out.data();
    for (qsizetype i = 0; i < n; ++i) {
        if (s[i] != '=' || i + 2 >= n) {
            *o++ = s[i]; // a "=" without two characters after it stays as written
            continue;
        }
        if (s[i + 1] == '\r' && s[i + 2] == '\n') {
            *o++ = ' '; // a soft line break leaves one blank
            i += 2;
            continue;
        }
        const int high = hexValue(s[i + 1]), low = hexValue(s[i + 2]);
        if (high < 0 || low < 0) {
            *o++ = '='; // not an escape: keep it and read on
            continue;
        }
        *o++ = char(high * 16 + low);
        i += 2;
    }
    out.truncate(o - out.constData());
    return out;
}

QString DecodeUtf8(QByteArrayView bytes)
{
    // A single zero byte stands for an empty body.
    if (bytes.isEmpty() || (bytes.size() == 1 && bytes[0] == '\0'))
        return QString();
    if (platform::IsAscii(bytes) && platform::CodePageKeepsAscii(platform::SystemAnsiCodePage()))
        return QString::fromLatin1(bytes);
    const auto& single = systemByteChars();
    const uchar* b = reinterpret_cast<const uchar*>(bytes.data());
    const qsizetype n = bytes.size();
    QString out(n, Qt::Uninitialized);
    QChar* o = out.data();
    qsizetype i = 0;
    while (i < n) {
        if (b[i] >= 0xE0 && b[i] <= 0xEF && i + 2 < n) {
            *o++ = QChar(char16_t((b[i] & 0x0F) << 12 | (b[i + 1] & 0x3F) << 6 | (b[i + 2] & 0x3F)));
            i += 3;
        } else if (b[i] >= 0xC0 && b[i] <= 0xDF && i + 1 < n) {
            *o++ = QChar(char16_t((b[i] & 0x1F) << 6 | (b[i + 1] & 0x3F)));
            i += 2;
        } else {
            *o++ = single[b[i]];
            ++i;
        }
    }
    out.truncate(o - out.constData());
    return out;
}

QByteArray DecodePayload(QByteArrayView text, int transferCode)
{
    if (transferCode == 3)
        return DecodeBase64(text);
    if (transferCode == 2)
        return DecodeQuotedPrintable(text);
    return bytesOf(text);
}

QString TextOfBytes(QByteArrayView bytes, int charsetCode)
{
    if (charsetCode == 4)
        return DecodeUtf8(bytes);
    return platform::BytesToText(bytes, CodePageOfCharset(charsetCode)).text;
}

DecodedWord DecodeHeaderWord(QByteArrayView value, int charsetIn)
{
    DecodedWord word;
    word.charset = charsetIn;
    const qsizetype start = bytes::Find(value, "=?");
    if (start < 0) {
        // A plain value: the name part of "Name <address>", read in the charset's code page.
        const qsizetype angle = value.indexOf('<');
        word.bytes = bytesOf(angle >= 1 ? value.first(angle) : value);
        if (word.bytes.isEmpty())
            word.bytes = " ";
        word.text = TextOfBytes(word.bytes, charsetIn);
        if (charsetIn == 4)
            word.bytes = platform::TextToBytes(word.text, platform::SystemAnsiCodePage()).bytes;
        return word;
    }

    const qsizetype question = value.indexOf('?', start + 2);
    if (question >= 0)
        word.charset = ClassifyCharset(value.sliced(start + 2, question - start - 2));
    const qsizetype payloadStart = question + 3;
    const qsizetype close = question >= 0 && payloadStart <= value.size() && value[question + 2] == '?'
                                ? bytes::Find(value, "?=", payloadStart)
                                : -1;
    if (close < 0) {
        // Not a complete encoded word: the value as it stands.
        word.bytes = bytesOf(value);
        word.text = TextOfBytes(word.bytes, 1);
        return word;
    }

    QByteArrayView payload = value.sliced(payloadStart, close - payloadStart);
    if (payload.isEmpty())
        payload = " ";
    const char letter = value[question + 1];
    if (letter == 'B' || letter == 'b') {
        word.bytes = DecodePayload(payload, 3);
    } else {
        // In the Q form "_" stands for a blank; an underscore itself comes as "=5F".
        QByteArray q = payload.toByteArray();
        q.replace('_', ' ');
        word.bytes = DecodePayload(q, 2);
    }
    word.text = TextOfBytes(word.bytes, word.charset);
    if (word.charset == 4)
        word.bytes = platform::TextToBytes(word.text, platform::SystemAnsiCodePage()).bytes;
    return word;
}

} // namespace mime
