// SPDX-License-Identifier: GPL-3.0-or-later
#include "console/CallDatagram.h"

#include "console/CallCodec.h"

#include <QList>

namespace callmsg {

namespace {

bool IsKey(QChar c)
{
    return (c >= u'0' && c <= u'9') || c == u'*' || c == u'#';
}

// Encoded text is digits and dashes only.
bool IsEncoded(const QByteArray& field)
{
    for (char c : field)
        if (!((c >= '0' && c <= '9') || c == '-'))
            return false;
    return true;
}

} // namespace

QString CleanName(const QString& name)
{
    QString out;
    for (QChar c : name) {
        if (out.size() >= kMaxNameLength)
            break;
        if (c != u',' && c.isPrint())
            out += c;
    }
    return out.trimmed();
}

QByteArray MakeRequest(const QString& name, const QString& key, quint16 port)
{
    return CleanName(name).toUtf8() + ',' + callcodec::EncodeText(key).toLatin1() + ',' + QByteArray::number(port);
}

std::optional<Request> ReadRequest(const QByteArray& payload)
{
    const QList<QByteArray> f = payload.split(',');
    if (f.size() != 3 || !IsEncoded(f[1]))
        return std::nullopt;
    bool ok = false;
    const uint port = f[2].toUInt(&ok);
    if (!ok || port == 0 || port > 65535)
        return std::nullopt;
    Request r;
    r.name = CleanName(QString::fromUtf8(f[0]));
    if (r.name.isEmpty())
        return std::nullopt;
    r.key = callcodec::DecodeText(QString::fromLatin1(f[1]));
    r.port = quint16(port);
    return r;
}

QByteArray MakeAudio(const char* gsm, quint16 sequence)
{
    QByteArray p(gsm, kGsmBlockBytes);
    p.append(char(sequence & 0xFF)).append(char(sequence >> 8));
    return p;
}

std::optional<AudioBlock> ReadAudio(const QByteArray& payload)
{
    if (payload.size() != kAudioPayload)
        return std::nullopt;
    const auto low = quint8(payload[kGsmBlockBytes]);
    const auto high = quint8(payload[kGsmBlockBytes + 1]);
    return AudioBlock{payload.constData(), quint16(low | (high << 8))};
}

QByteArray MakeDigit(QChar key)
{
    return IsKey(key) ? QByteArray(1, char(key.unicode())) : QByteArray();
}

std::optional<QChar> ReadDigit(const QByteArray& payload)
{
    if (payload.size() != 1 || !IsKey(QChar(payload[0])))
        return std::nullopt;
    return QChar(payload[0]);
}

QByteArray MakeNotice(const QString& name, const QString& text)
{
    const QByteArray head = CleanName(name).toUtf8() + ',';
    QString t = text;
    QByteArray body = callcodec::EncodeText(t).toLatin1();
    while (head.size() + body.size() > kMaxPayload && !t.isEmpty()) {
        // Each byte becomes at most six characters: cut close to the limit, then by characters.
        const qsizetype room = (kMaxPayload - head.size()) / 6;
        t.chop(t.size() > room ? t.size() - room : 1);
        if (t.size() && t.back().isHighSurrogate())
            t.chop(1);
        body = callcodec::EncodeText(t).toLatin1();
    }
    return head + body;
}

std::optional<NoticeText> ReadNotice(const QByteArray& payload)
{
    const qsizetype comma = payload.indexOf(',');
    if (comma < 0 || payload.indexOf(',', comma + 1) >= 0)
        return std::nullopt;
    const QByteArray encoded = payload.mid(comma + 1);
    if (!IsEncoded(encoded))
        return std::nullopt;
    return NoticeText{CleanName(QString::fromUtf8(payload.left(comma))),
                      callcodec::DecodeText(QString::fromLatin1(encoded))};
}

} // namespace callmsg
