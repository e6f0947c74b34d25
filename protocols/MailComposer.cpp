// SPDX-License-Identifier: GPL-3.0-or-later
#include "protocols/MailComposer.h"

#include <QRandomGenerator>

namespace {

constexpr int kMaxLine = 998; // the longest line the mail format allows, without CR LF
constexpr int kEncodedWordMax = 75; // the longest encoded word the header format allows
constexpr int kBase64LineChars = 76; // body lines of base64 and quoted-printable
constexpr int kMaxIdLength = 250; // a longer "id" is garbage, not a message id
constexpr char kWordStart[] = "=?UTF-8?B?";
constexpr int kWordOverhead = 12; // "=?UTF-8?B?" and "?="

bool printableAscii(const QString& text)
{
    for (QChar c : text)
        if ((c.unicode() < 0x20 && c != QLatin1Char('\t')) || c.unicode() > 0x7E)
            return false;
    return true;
}

// Every line ends in CR LF, whatever the text box gave: a bare LF or CR becomes CR LF.
QByteArray crlfLines(const QByteArray& data)
{
    QByteArray out;
    out.reserve(data.size() + data.size() / 32 + 2);
    for (qsizetype i = 0; i < data.size(); ++i) {
        const char c = data[i];
        if (c == '\r' || c == '\n') {
            out += "\r\n";
            if (c == '\r' && i + 1 < data.size() && data[i + 1] == '\n')
                ++i;
        } else {
            out += c;
        }
    }
    return out;
}

enum class BodyEncoding { SevenBit, QuotedPrintable, Base64 };

// Plain ASCII in short lines travels as it is; text mostly in ASCII as quoted-printable, which
// stays readable; text mostly in other scripts as base64, which is then the shorter.
BodyEncoding chooseEncoding(const QByteArray& body)
{
    qsizetype other = 0, lineLength = 0;
    bool longLine = false, controls = false;
    for (char c : body) {
        const auto b = uchar(c);
        if (b >= 0x80)
            ++other;
        else if (b == 0 || (b < 0x20 && b != '\t' && b != '\r' && b != '\n'))
            controls = true;
        lineLength = b == '\n' ? 0 : lineLength + 1;
        longLine |= lineLength > kMaxLine;
    }
    if (other == 0 && !longLine && !controls)
        return BodyEncoding::SevenBit;
    return other * 5 < body.size() - other ? BodyEncoding::QuotedPrintable : BodyEncoding::Base64;
}

QByteArray base64Lines(const QByteArray& bytes)
{
    const QByteArray encoded = bytes.toBase64();
    QByteArray out;
    for (qsizetype i = 0; i < encoded.size(); i += kBase64LineChars)
        out += encoded.mid(i, kBase64LineChars) + "\r\n";
    return out;
}

// Hard line breaks stay; longer lines get soft breaks ("=" at the end) so none exceeds 76.
QByteArray quotedPrintable(const QByteArray& body)
{
    static const char hex[] = "0123456789ABCDEF";
    QByteArray out;
    const QList<QByteArray> lines = body.split('\n');
    for (qsizetype l = 0; l < lines.size(); ++l) {
        QByteArray line = lines[l];
        if (line.endsWith('\r'))
            line.chop(1);
        if (l == lines.size() - 1 && line.isEmpty())
            break; // the text ended with a line break
        int width = 0;
        for (qsizetype i = 0; i < line.size(); ++i) {
            const auto b = uchar(line[i]);
            const bool last = i == line.size() - 1;
            const bool plain = (b >= 0x21 && b <= 0x7E && b != '=') || ((b == ' ' || b == '\t') && !last);
            const char escaped[] = {'=', hex[b >> 4], hex[b & 15]};
            const QByteArray token = plain ? QByteArray(1, char(b)) : QByteArray(escaped, 3);
            if (width + token.size() > kBase64LineChars - 1) { // room for the soft break's "="
                out += "=\r\n";
                width = 0;
            }
            out += token;
            width += int(token.size());
        }
        out += "\r\n";
    }
    return out;
}

bool validDomain(const QByteArray& domain)
{
    if (domain.isEmpty() || domain.size() > 253 || domain.startsWith('.') || domain.endsWith('.')
        || domain.contains(".."))
        return false;
    for (char c : domain)
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.'))
            return false;
    return true;
}

} // namespace

QByteArray MailComposer::DateField(const QDateTime& when)
{
    static const char* const days[] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
    static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const QDate date = when.date();
    const QTime time = when.time();
    const int offset = when.offsetFromUtc() / 60;
    const int absOffset = offset < 0 ? -offset : offset;
    return QByteArray(days[date.dayOfWeek() - 1]) + ", " + QByteArray::number(date.day()).rightJustified(2, '0') + ' '
           + months[date.month() - 1] + ' ' + QByteArray::number(date.year()).rightJustified(4, '0') + ' '
           + QByteArray::number(time.hour()).rightJustified(2, '0') + ':'
           + QByteArray::number(time.minute()).rightJustified(2, '0') + ':'
           + QByteArray::number(time.second()).rightJustified(2, '0') + ' ' + (offset < 0 ? '-' : '+')
           + QByteArray::number(absOffset / 60).rightJustified(2, '0')
           + QByteArray::number(absOffset % 60).rightJustified(2, '0');
}

QByteArray MailComposer::HeaderText(const QString& value, int nameLength)
{
    if (printableAscii(value) && nameLength + value.size() <= kMaxLine)
        return value.toLatin1();
    // Words end on whole characters: a reader decodes each word on its own.
    const QByteArray utf8 = value.toUtf8();
    QByteArray out;
    int used = nameLength;
    qsizetype at = 0;
    while (at < utf8.size()) {
        const int room = qMin(kEncodedWordMax, kFoldWidth - used) - kWordOverhead;
        qsizetype cut = at + qMax(6, room / 4 * 3); // six bytes hold any character
        if (cut < utf8.size()) {
            while (cut > at && (uchar(utf8[cut]) & 0xC0) == 0x80)
                --cut;
        } else {
            cut = utf8.size();
        }
        if (!out.isEmpty())
            out += "\r\n ";
        out += kWordStart + utf8.mid(at, cut - at).toBase64() + "?=";
        at = cut;
        used = 1;
    }
    return out;
}

QByteArray MailComposer::AddressText(const QString& value, int nameLength)
{
    if (printableAscii(value))
        return value.toLatin1();
    const qsizetype angle = value.lastIndexOf(QLatin1Char('<'));
    QString name = angle > 0 ? value.left(angle).trimmed() : QString();
    if (name.isEmpty() || !printableAscii(value.mid(angle))) {
        // An address in other scripts goes as it is written, on its one line.
        QString line = value;
        for (QChar& c : line)
            if (c.unicode() < 0x20 || c.unicode() == 0x7F)
                c = QLatin1Char(' ');
        return line.toUtf8();
    }
    if (name.size() >= 2 && name.startsWith(QLatin1Char('"')) && name.endsWith(QLatin1Char('"')))
        name = name.mid(1, name.size() - 2);
    const QByteArray encoded = HeaderText(name, nameLength);
    const int lastLine = int(encoded.size() - (encoded.lastIndexOf('\n') + 1));
    const QByteArray address = value.mid(angle).toLatin1();
    return encoded + (lastLine + 1 + address.size() > kFoldWidth ? "\r\n " : " ") + address;
}

QList<QByteArray> MailComposer::MessageIds(const QString& value)
{
    QList<QByteArray> ids;
    qsizetype at = 0;
    while ((at = value.indexOf(QLatin1Char('<'), at)) >= 0) {
        const qsizetype close = value.indexOf(QLatin1Char('>'), at + 1);
        if (close < 0)
            break;
        const QString id = value.mid(at, close - at + 1);
        bool clean = id.size() > 2 && id.size() <= kMaxIdLength;
        for (qsizetype i = 1; clean && i < id.size() - 1; ++i)
            clean = id[i].unicode() > 0x20 && id[i].unicode() < 0x7F && id[i] != QLatin1Char('<');
        if (clean)
            ids.append(id.toLatin1());
        at = clean ? close + 1 : at + 1;
    }
    return ids;
}

QByteArray MailComposer::NewMessageId(const QString& from)
{
    QString address = from;
    const qsizetype angle = address.lastIndexOf(QLatin1Char('<'));
    if (angle >= 0)
        address = address.mid(angle + 1).section(QLatin1Char('>'), 0, 0);
    QByteArray domain = address.section(QLatin1Char('@'), -1).trimmed().toLatin1();
    if (!address.contains(QLatin1Char('@')) || !validDomain(domain))
        domain = "localhost";
    const quint64 random = QRandomGenerator::system()->generate64();
    return '<' + QByteArray::number(random, 36) + '.' + QByteArray::number(QDateTime::currentMSecsSinceEpoch(), 36)
           + '@' + domain + '>';
}

QByteArray MailComposer::compose(const QDateTime& now) const
{
    QByteArray head = "Date: " + DateField(now) + "\r\n";
    head += "From: " + AddressText(From, 6) + "\r\n";
    head += "To: " + AddressText(To, 4) + "\r\n";
    head += "Subject: " + HeaderText(Subject, 9) + "\r\n";
    head += "Message-ID: " + NewMessageId(From) + "\r\n";

    const QList<QByteArray> parent = MessageIds(RepliedMessageID);
    if (!parent.isEmpty()) {
        // The thread so far, then the mail answered; a mail without References names its
        // parent in In-Reply-To when it has exactly one.
        QList<QByteArray> thread = MessageIds(RepliedReferences);
        if (thread.isEmpty()) {
            const QList<QByteArray> up = MessageIds(RepliedInReplyTo);
            if (up.size() == 1)
                thread = up;
        }
        thread.removeAll(parent.first());
        thread.append(parent.first());
        if (thread.size() > kMaxReferences)
            thread.remove(1, thread.size() - kMaxReferences);
        head += "In-Reply-To: " + parent.first() + "\r\n";
        QByteArray references = "References:";
        qsizetype lineStart = 0;
        for (const QByteArray& id : thread) {
            if (references.size() - lineStart + 1 + id.size() > kFoldWidth && references.size() - lineStart > 11) {
                references += "\r\n";
                lineStart = references.size();
            }
            references += ' ' + id;
        }
        head += references + "\r\n";
    }
    if (AutoReplied)
        head += "Auto-Submitted: auto-replied\r\n";

    QByteArray body = crlfLines(Text.toUtf8());
    if (!body.isEmpty() && !body.endsWith("\r\n"))
        body += "\r\n";
    head += "MIME-Version: 1.0\r\nContent-Type: text/plain; charset=UTF-8\r\n";
    switch (chooseEncoding(body)) {
    case BodyEncoding::SevenBit: head += "Content-Transfer-Encoding: 7bit\r\n\r\n" + body; break;
    case BodyEncoding::QuotedPrintable:
        head += "Content-Transfer-Encoding: quoted-printable\r\n\r\n" + quotedPrintable(body);
        break;
    case BodyEncoding::Base64: head += "Content-Transfer-Encoding: base64\r\n\r\n" + base64Lines(body); break;
    }
    return head;
}
