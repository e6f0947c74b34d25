// SPDX-License-Identifier: GPL-3.0-or-later
#include "protocols/CMessage.h"

#include "platform/CodePage.h"
#include "platform/SystemLocale.h"
#include "protocols/ByteSearch.h"
#include "protocols/MimeDecoders.h"

#include <QVarLengthArray>

#include <algorithm>
#include <numeric>

namespace {

QString systemText(QByteArrayView bytes)
{
    return platform::BytesToText(bytes, platform::SystemAnsiCodePage()).text;
}

char asciiLower(char c)
{
    return c >= 'A' && c <= 'Z' ? char(c + ('a' - 'A')) : c;
}

// Blanks only; tabs and other white space stay.
QByteArrayView trimBlanks(QByteArrayView s)
{
    qsizetype from = 0, to = s.size();
    while (from < to && s[from] == ' ')
        ++from;
    while (to > from && s[to - 1] == ' ')
        --to;
    return s.sliced(from, to - from);
}

// Removes the quotes only when the value is quoted; an unquoted value ends at ";" or a blank.
QByteArrayView unquote(QByteArrayView value)
{
    if (value.startsWith('"')) {
        const qsizetype close = value.indexOf('"', 1);
        return close < 0 ? value.sliced(1) : value.sliced(1, close - 1);
    }
    qsizetype end = 0;
    while (end < value.size() && value[end] != ';' && value[end] != ' ' && value[end] != '\t')
        ++end;
    return value.first(end);
}

// The value after the first "=" when the text before it names the key.
QByteArrayView parameter(QByteArrayView text, const char* key, bool unquoted)
{
    const qsizetype eq = text.indexOf('=');
    if (eq < 0 || !bytes::ContainsNoCase(text.first(eq), key))
        return QByteArrayView();
    const QByteArrayView after = text.sliced(eq + 1);
    return unquoted ? unquote(trimBlanks(after)) : after;
}

// Walks bytes as code page 950 pairs them: a lead byte 0x81..0xFE and a trail byte 0x40..0x7E
// or 0xA1..0xFE make one character; 0x80..0xA0 after a lead is Western punctuation, not a trail.
int identifyPairs(QByteArrayView bytes)
{
    int result = 1;
    const uchar* b = reinterpret_cast<const uchar*>(bytes.data());
    const qsizetype n = bytes.size();
    for (qsizetype i = 0; i < n; ++i) {
        if (b[i] < 0x81 || b[i] == 0xFF || i + 1 >= n)
            continue;
        const uchar trail = b[i + 1];
        const bool isTrail = (trail >= 0x40 && trail <= 0x7E) || (trail >= 0xA1 && trail <= 0xFE);
        if (!isTrail)
            continue;
        if (b[i] >= 0xA1) {
            if (trail <= 0x7E)
                return 2;
            result = 3;
        }
        ++i;
    }
    return result;
}

// The header block and the body of a received message. Without an empty line the whole text
// is header, less the line break the mail client closes a cut reply with.
// Both parts point into the received text.
struct MessageParts
{
    QByteArrayView header;
    QByteArrayView body;
};

MessageParts splitMessage(QByteArrayView text)
{
    const qsizetype end = bytes::Find(text, "\r\n\r\n");
    if (end >= 0)
        return {text.first(end), text.sliced(end + 4)};
    qsizetype size = text.size();
    while (size > 0 && (text[size - 1] == '\r' || text[size - 1] == '\n'))
        --size;
    return {text.first(size), QByteArrayView()};
}

} // namespace

void CMessage::CreateHeader(const QString& text)
{
    CreateHeader(platform::TextToBytes(text, platform::SystemAnsiCodePage()).bytes);
}

void CMessage::CreateFromText(const QString& text)
{
    CreateFromText(platform::TextToBytes(text, platform::SystemAnsiCodePage()).bytes);
}

void CMessage::CreateHeader(const QByteArray& received)
{
    CreateHeaderFields(received);
    Headers = HeaderText(received);
}

void CMessage::CreateHeaderFields(const QByteArray& received)
{
    *this = CMessage(); // nothing of the previous message may decide about this one
    parseHeaders(splitMessage(received).header, false);
}

void CMessage::CreateListedFields(const QByteArray& received)
{
    *this = CMessage();
    listedOnly_ = true;
    parseHeaders(splitMessage(received).header, false);
    listedOnly_ = false;
}

QString CMessage::HeaderText(const QByteArray& received)
{
    return systemText(splitMessage(received).header);
}

void CMessage::CreateFromText(const QByteArray& received)
{
    *this = CMessage();
    const MessageParts parts = splitMessage(received);
    Headers = systemText(parts.header);
    const bool separateParts = parseHeaders(parts.header, false);
    decodeBody(parts.body, separateParts);
}

bool CMessage::parseHeaders(QByteArrayView block, bool partHeader)
{
    bool separateParts = false;
    separator_ = ':';
    qsizetype from = 0;
    while (from <= block.size()) {
        qsizetype to = bytes::Find(block, "\r\n", from);
        if (to < 0)
            to = block.size();
        const QByteArrayView line = block.sliced(from, to - from);
        from = to + 2;

        const qsizetype sep = line.indexOf(separator_);
        if (sep < 0)
            continue;
        // The name in lower case, on the stack: a header has a dozen lines and most names are short.
        const QByteArrayView raw = trimBlanks(line.first(sep));
        QVarLengthArray<char, 64> lower(raw.size());
        std::transform(raw.begin(), raw.end(), lower.begin(), [](char c) { return asciiLower(c); });
        QByteArrayView name(lower.constData(), lower.size());
        if (name.startsWith('\t'))
            name = name.sliced(1);
        parseHeaderLine(name, trimBlanks(line.sliced(sep + 1)), line, partHeader, separateParts);
    }
    redecodePlainHeaders();
    return separateParts;
}

void CMessage::parseHeaderLine(QByteArrayView name, QByteArrayView value, QByteArrayView line, bool partHeader,
                               bool& separateParts)
{
    if (name == "content-type") {
        contentType_ = systemText(value);
        if (!value.contains(';'))
            return;
        if (value.endsWith(';')) {
            separator_ = '='; // the parameters follow on the next line
        } else if (!bytes::ContainsNoCase(value, "multipart")) {
            setCharset(mime::ClassifyCharset(parameter(line, "charset", false)), true);
        } else {
            boundary_ = systemText(parameter(value, "boundary", true));
            separateParts = bytes::ContainsNoCase(value, "mix");
        }
    } else if (name == "content-transfer-encoding") {
        transfer_ = mime::ClassifyTransferEncoding(value);
    } else if (name == "boundary") {
        boundary_ = systemText(unquote(value));
        separateParts = !contentType_.contains(QLatin1StringView("alter"), Qt::CaseInsensitive);
        separator_ = ':';
    } else if (name == "charset") {
        setCharset(mime::ClassifyCharset(value), false);
        separator_ = ':';
    } else if (partHeader) {
        return; // a part's own header names only its type, encoding and parameters
    } else if (listedOnly_ && name != "from" && name != "subject" && name != "date" && name != "return-path") {
        return;
    } else if (name == "mime-version") {
        mimeVersion_ = systemText(value);
    } else if (name == "return-path") {
        ReturnPath = systemText(value);
    } else if (name == "received") {
        Received = systemText(value);
    } else if (name == "from") {
        QByteArray from = value.toByteArray();
        if (from.isEmpty())
            from = platform::TextToBytes(ReturnPath, platform::SystemAnsiCodePage()).bytes;
        if (from.isEmpty())
            from = kUnknownSender;
        decodeFrom(from);
    } else if (name == "subject") {
        decodeSubject(value.isEmpty() ? QByteArray(" ") : value.toByteArray());
    } else if (name == "date") {
        SendDate = systemText(value);
        parseDate(SendDate);
    } else if (QString* field = plainField(name)) {
        *field = systemText(value);
    }
}

QString* CMessage::plainField(QByteArrayView name)
{
    const struct
    {
        const char* name;
        QString CMessage::*field;
    } fields[] = {
        {"sender", &CMessage::Sender},
        {"reply-to", &CMessage::ReplyTo},
        {"to", &CMessage::MessageTo},
        {"cc", &CMessage::CC},
        {"bcc", &CMessage::BCC},
        {"message-id", &CMessage::MessageID},
        {"in-reply-to", &CMessage::InReplyTo},
        {"references", &CMessage::References},
        {"keywords", &CMessage::Keywords},
        {"comments", &CMessage::Comments},
        {"encrypted", &CMessage::Encrypted},
    };
    for (const auto& f : fields)
        if (name == f.name)
            return &(this->*f.field);
    return nullptr;
}

void CMessage::setCharset(int code, bool fromToo)
{
    charset_ = code;
    if (subjectCharset_ == CharsetNotSet)
        subjectCharset_ = code;
    if (fromToo && fromCharset_ == CharsetNotSet)
        fromCharset_ = code;
}

namespace {

// A plain ASCII value that decodes to itself reads the same in the system code page: the
// decoded text serves as the value as received, without a second conversion.
bool decodedAsIs(const QByteArray& value, bool encoded, bool ascii, const mime::DecodedWord& word)
{
    return ascii && !encoded && word.bytes.size() == value.size() && word.text == QLatin1StringView(value)
           && platform::CodePageKeepsAscii(platform::SystemAnsiCodePage());
}

} // namespace

void CMessage::decodeFrom(const QByteArray& value)
{
    const bool encoded = bytes::Find(value, "=?") >= 0;
    const bool ascii = platform::IsAscii(value);
    fromPlain_ = encoded || ascii ? QByteArray() : value;
    fromDecodedWith_ = fromCharset_;
    const mime::DecodedWord word = mime::DecodeHeaderWord(value, fromCharset_);
    fromOrg_ = decodedAsIs(value, encoded, ascii, word) ? word.text
               : fromPlain_.isEmpty()                   ? systemText(value)
                                                        : mime::TextOfBytes(value, fromCharset_);
    From = word.text;
    fromByte_ = word.bytes;
    fromCharset_ = word.charset;
}

void CMessage::decodeSubject(const QByteArray& value)
{
    const bool encoded = bytes::Find(value, "=?") >= 0;
    const bool ascii = platform::IsAscii(value);
    subjectPlain_ = encoded || ascii ? QByteArray() : value;
    subjectDecodedWith_ = subjectCharset_;
    const mime::DecodedWord word = mime::DecodeHeaderWord(value, subjectCharset_);
    subjectOrg_ = decodedAsIs(value, encoded, ascii, word) ? word.text
                  : subjectPlain_.isEmpty()                ? systemText(value)
                                                           : mime::TextOfBytes(value, subjectCharset_);
    Subject = word.text;
    subjectByte_ = word.bytes;
    subjectCharset_ = word.charset;
    charset_ = subjectCharset_;
}

// An 8-bit Subject or From written before the Content-Type that names its charset is read
// again in that charset, as a system of that code page would have read it at once.
void CMessage::redecodePlainHeaders()
{
    if (!subjectPlain_.isEmpty() && subjectCharset_ != subjectDecodedWith_) {
        const int charset = charset_;
        decodeSubject(subjectPlain_);
        charset_ = charset;
    }
    if (!fromPlain_.isEmpty() && fromCharset_ != fromDecodedWith_)
        decodeFrom(fromPlain_);
}

void CMessage::parseDate(const QString& value)
{
    // The three letters of each month as one number; "abc" stands in the list, but is no month.
    static constexpr auto key = [](const char* m) {
        return uint32_t(m[0]) << 16 | uint32_t(m[1]) << 8 | uint32_t(m[2]);
    };
    static constexpr uint32_t months[14] = {0,          key("jan"), key("feb"), key("mar"), key("apr"),
                                            key("may"), key("jun"), key("jul"), key("aug"), key("sep"),
                                            key("oct"), key("nov"), key("dec"), key("abc")};
    // The first month of the list found anywhere counts, not the first one in the text; the text
    // is read once for all of them. Plain ASCII, the usual date, needs no lowering first.
    const bool ascii = std::all_of(value.cbegin(), value.cend(), [](QChar c) { return c.unicode() < 0x80; });
    const QString lower = ascii ? value : value.toLower();
    const auto letter = [&lower](qsizetype i) {
        const char16_t c = lower[i].unicode();
        return c < 0x80 ? uint32_t(uchar(asciiLower(char(c)))) : 0u;
    };
    // The letters months begin with, a bit each: a d f j m n o s.
    constexpr uint32_t initials = 1u << ('a' - 'a') | 1u << ('d' - 'a') | 1u << ('f' - 'a') | 1u << ('j' - 'a')
                                  | 1u << ('m' - 'a') | 1u << ('n' - 'a') | 1u << ('o' - 'a') | 1u << ('s' - 'a');
    int month = 14;
    qsizetype at = -1;
    uint32_t three = 0;
    for (qsizetype i = 0; i < lower.size() && month > 1; ++i) {
        three = (three << 8 | letter(i)) & 0xFFFFFF;
        const uint32_t lead = three >> 16;
        if (i < 2 || lead < 'a' || lead > 'z' || !(initials >> (lead - 'a') & 1))
            continue;
        for (int m = 1; m < month; ++m) {
            if (months[m] == three) {
                month = m; // found earlier ones are later in the list: this one counts now
                at = i - 2;
                break;
            }
        }
    }
    if (at < 0 || month == 13) {
        year_ = 9999;
        day_ = 1;
        month_ = 1;
        return;
    }
    month_ = int16_t(month);

    // Two characters before the month, so a one-digit day is read with the blank before it.
    day_ = 1;
    const QStringView day = at >= 3 ? QStringView(lower).sliced(at - 3, 2).trimmed() : QStringView();
    if (!day.isEmpty() && std::all_of(day.begin(), day.end(), [](QChar c) { return c >= '0' && c <= '9'; }))
        day_ = int16_t(
            std::accumulate(day.begin(), day.end(), 0, [](int n, QChar c) { return n * 10 + (c.unicode() - '0'); }));

    // The digits after the month and a blank; more than a year can hold is no year.
    int year = 0;
    qsizetype end = at + 4;
    for (; end < lower.size() && lower[end] >= '0' && lower[end] <= '9'; ++end)
        year = std::min(year * 10 + (lower[end].unicode() - '0'), 32768);
    const qsizetype digits = std::max<qsizetype>(0, end - (at + 4));
    if (digits == 0 || year > 32767)
        year_ = 9999;
    else
        year_ = int16_t(digits < 3 ? year + 2000 : year);
}

int CMessage::IdentifyStringCharset(const QString& text, int locale)
{
    return identifyPairs(platform::TextToBytes(text, platform::AnsiCodePage(locale)).bytes);
}

int CMessage::IdentifyBytesCharset(const QByteArray& bytes)
{
    return identifyPairs(bytes);
}
