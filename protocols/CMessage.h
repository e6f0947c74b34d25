// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <cstdint>

// Charset codes of a message and its fields.
enum CharsetCode : int32_t {
    CharsetNotSet = 0,
    CharsetOther = 1, // plain, read in the system code page
    CharsetBig5 = 2, // traditional Chinese, code page 950
    CharsetGB2312 = 3, // simplified Chinese, code page 936
    CharsetUtf8 = 4,
};

// Content-Transfer-Encoding codes.
enum TransferCode : int {
    TransferNone = 0,
    TransferBit = 1, // 7bit or 8bit
    TransferQuotedPrintable = 2,
    TransferBase64 = 3,
};

// One received mail: the raw header block, the header fields the program shows, speaks and
// filters on, and the body as text and as bytes. One object serves a whole mailbox session;
// each CreateHeader or CreateFromText starts from empty fields, so a message is judged on its
// own header only.
//
// The byte forms take the message as received, so 8-bit Big5, GB2312 and UTF-8 decode with
// their own code page whatever the system's is. The text forms stand for bytes in the system
// code page.
class CMessage
{
public:
    // The header block ends at the first empty line; without one, the whole text is header (a
    // message of headers only, or a header cut short by the mail client's reply cap).
    void CreateHeader(const QByteArray& received);
    void CreateHeader(const QString& text);
    // As CreateHeader, but Headers stays empty: a listing reads the fields of many headers and
    // wants the whole block of few; HeaderText gives it then.
    void CreateHeaderFields(const QByteArray& received);
    // As CreateHeaderFields, but only the fields a list row and its filters read: From,
    // Subject, Date, Return-Path and what names the charset. To, Cc, Message-ID and the other
    // plain fields stay empty until CreateHeaderFields reads them all.
    void CreateListedFields(const QByteArray& received);
    // The header block of received text as CreateHeader keeps it in Headers.
    static QString HeaderText(const QByteArray& received);
    // Header as above, then the body after the empty line; without a body, MessageBody is " ".
    void CreateFromText(const QByteArray& received);
    void CreateFromText(const QString& text);

    // 1 plain, 2 Big5 or 3 GB2312, judged by the text's characters in the locale's code page.
    static int IdentifyStringCharset(const QString& text, int locale);
    // The same judgement on received bytes, paired as code page 950 pairs them: a lead byte
    // 0x81..0xFE and a trail byte 0x40..0x7E or 0xA1..0xFE.
    static int IdentifyBytesCharset(const QByteArray& bytes);

    // Sender used when a message names neither From nor Return-Path.
    static constexpr const char* kUnknownSender = "unknown@unknown.invalid";

    QString Headers;
    QString ReturnPath;
    QString Received;
    QString MessageID;
    QString MessageTo;
    QString CC;
    QString BCC;
    QString Sender;
    QString ReplyTo;
    QString InReplyTo;
    QString References;
    QString Keywords;
    QString Comments;
    QString Encrypted;
    QString SendDate;
    QString From;
    QString Subject;

    int16_t DayNum() const { return day_; }
    int16_t MonthNum() const { return month_; }
    int16_t YearNum() const { return year_; }
    QString FromOrg() const { return fromOrg_; }
    // The Subject value as received, before any decoding.
    QString SubjectOrg() const { return subjectOrg_; }
    QByteArray FromByte() const { return fromByte_; }
    int32_t FromCharset() const { return fromCharset_; }
    QByteArray SubjectByte() const { return subjectByte_; }
    int32_t SubjectCharset() const { return subjectCharset_; }
    QString MessageBody() const { return body_; }
    QByteArray MessageBodyByte() const { return bodyByte_; }
    int32_t Charset() const { return charset_; }
    // The upper index of the body bytes: their count less one.
    int32_t Size() const { return int32_t(bodyByte_.size()) - 1; }

    QString MimeVersion() const { return mimeVersion_; }
    QString ContentType() const { return contentType_; }
    QString Boundary() const { return boundary_; }
    int TransferEncoding() const { return transfer_; }

private:
    bool parseHeaders(QByteArrayView block, bool partHeader);
    void parseHeaderLine(QByteArrayView name, QByteArrayView value, QByteArrayView line, bool partHeader,
                         bool& separateParts);
    QString* plainField(QByteArrayView name);
    void setCharset(int code, bool fromToo);
    void decodeFrom(const QByteArray& value);
    void decodeSubject(const QByteArray& value);
    void redecodePlainHeaders();
    void parseDate(const QString& value);

    void decodeBody(QByteArrayView body, bool separateParts);
    void decodeNonMimeBody(QByteArrayView body);
    void readUnlabelledText(const QByteArray& text);
    void decodeMultipartBody(QByteArrayView body, bool separateParts);
    void decodeSinglePartBody(QByteArrayView body);
    void convertBody(QByteArray decoded, bool html);
    void setEmptyBody(const QString& text);

    int16_t day_ = 0;
    int16_t month_ = 0;
    int16_t year_ = 0;
    QString fromOrg_;
    QString subjectOrg_;
    QByteArray fromByte_;
    int32_t fromCharset_ = CharsetNotSet;
    QByteArray subjectByte_;
    int32_t subjectCharset_ = CharsetNotSet;
    QString body_;
    QByteArray bodyByte_;
    int32_t charset_ = CharsetNotSet;

    QString mimeVersion_;
    QString contentType_;
    QString boundary_;
    int transfer_ = TransferNone;
    char separator_ = ':';
    bool listedOnly_ = false; // CreateListedFields: the plain fields are skipped

    // 8-bit Subject and From values as received, and the charset they were read with.
    QByteArray subjectPlain_;
    QByteArray fromPlain_;
    int32_t subjectDecodedWith_ = CharsetNotSet;
    int32_t fromDecodedWith_ = CharsetNotSet;
};
