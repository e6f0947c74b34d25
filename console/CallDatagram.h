// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QByteArray>
#include <QString>
#include <QtGlobal>
#include <optional>

// The internet call's messages: the payload of each typed datagram and how it is read. Every
// reader takes any bytes and answers nothing for what is not a well-formed message.
namespace callmsg {

enum Type : quint8 {
    HangUp = 0, // payload empty
    CallRequest = 1, // "name,encodedKey,port"
    Accepted = 3, // "OK"
    Audio = 4, // one 65-byte GSM block, then the sequence number, low byte first
    Busy = 5, // " is Busy !! "
    Forwarded = 6, // "Your call have been Forward to Phone"
    Digit = 8, // one keypad key: 0-9, * or #
    Notice = 9, // "name,encodedText"
    KeepAlive = 10, // payload empty
};

constexpr int kGsmBlockBytes = 65;
constexpr int kAudioPayload = kGsmBlockBytes + 2;
constexpr int kMaxNameLength = 64; // a user name, not a letter
constexpr int kMaxPayload = 598; // the socket drops datagrams of 600 bytes and more

inline const QByteArray kAcceptedText = QByteArrayLiteral("OK");
inline const QByteArray kBusyText = QByteArrayLiteral(" is Busy !! ");
inline const QByteArray kForwardedText = QByteArrayLiteral("Your call have been Forward to Phone");

struct Request
{
    QString name;
    QString key; // decoded
    quint16 port = 0;
};
QByteArray MakeRequest(const QString& name, const QString& key, quint16 port);
std::optional<Request> ReadRequest(const QByteArray& payload);

struct AudioBlock
{
    const char* gsm = nullptr; // kGsmBlockBytes, inside the payload read
    quint16 sequence = 0;
};
QByteArray MakeAudio(const char* gsm, quint16 sequence);
std::optional<AudioBlock> ReadAudio(const QByteArray& payload);

QByteArray MakeDigit(QChar key);
std::optional<QChar> ReadDigit(const QByteArray& payload);

struct NoticeText
{
    QString name;
    QString text;
};
// The text is shortened (at a character) until the datagram fits.
QByteArray MakeNotice(const QString& name, const QString& text);
std::optional<NoticeText> ReadNotice(const QByteArray& payload);

// A name as it travels: no commas (they separate fields), no control characters, bounded.
QString CleanName(const QString& name);

} // namespace callmsg
