// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include "protocols/CMessage.h"
#include "protocols/CertificateTrust.h"

#include <QAbstractSocket>
#include <QByteArray>
#include <QDate>
#include <QFile>
#include <QObject>
#include <QPointer>
#include <QString>
#include <cstdint>
#include <memory>
#include <optional>

class QSslSocket;
class QTcpSocket;
class QTimer;

// The POP3 client of the mail engine. It drives one session over a socket and a timer that
// its owner lends it, keeps one current message number, and raises POPStatus after every
// completed step; the owner then reads status, ErrNum and the message fields and gives the
// next command. No call blocks.
class CPostOffice : public QObject
{
    Q_OBJECT
public:
    enum Status : int16_t {
        Connecting = 0, // waiting for the greeting
        UserSent = 1,
        PassSent = 2,
        StatSent = 3,
        UidlSent = 4,
        TopSent = 5, // headers only
        RetrSent = 6, // whole message
        DeleSent = 7,
        QuitSent = 8,
        RetrToFile = 9,
        Closed = 10, // finished, failed or closed by the server
        StlsSent = 11, // STLS sent; the session goes on once TLS is up
        CapaSent = 12, // capabilities asked before a listing
    };
    static constexpr int16_t kProtocolError = 9998;
    static constexpr int16_t kTimeoutError = 9999;
    // TLS could not be had: refused certificate, failed handshake, no STLS. ErrDesc says why.
    static constexpr int16_t kSecurityError = 9997;
    static constexpr int16_t kCodePageMismatch = 102;
    static constexpr int16_t kFileError = 75; // the RETR output file cannot be opened or written
    // Very large messages must not grow the buffer: a TOP or RETR reply keeps this many bytes.
    static constexpr int kReplyBufferCap = 31000;
    // A server trickling bytes resets the idle count for ever; no reply may take longer than
    // this many times the idle limit.
    static constexpr int kReplyTickFactor = 4;
    // A status line is at most 512 bytes; a longer one is not from a POP3 server.
    static constexpr int kStatusLineCap = 4096;
    // Messages whose UIDL and TOP are in flight at most when listing ahead: a big mailbox must
    // not put all its commands in the socket, nor all its headers in memory, at once.
    static constexpr int kListAhead = 512;

    explicit CPostOffice(QObject* parent = nullptr);
    ~CPostOffice() override;

    // Lent controls and settings, in the order the engine hands them over.
    void setTimerControl(QTimer* timer);
    void Winsock(QTcpSocket* socket);
    void setWriteLog(bool on);
    void POPHostname(const QString& host);
    QString POPUserName;
    QString POPPassword;
    void POPPort(uint16_t port);
    int16_t TimeoutCount = 40;
    // TLS needs a lent QSslSocket; without one a protected session fails before connecting.
    void Security(MailSecurity security) { security_ = security; }
    // The SHA-256 fingerprint the user trusts for this server when the CAs do not vouch for it.
    void TrustedFingerprint(const QString& fingerprint) { trust_.setTrusted(fingerprint); }

    void Connect();
    void RetrieveMsgNum(int16_t n);
    void RetrieveCurrentMsg();
    void WriteCurrentMsgToFile(const QString& path);
    void DeleteMsgNum(int16_t n);
    void DeleteCurrentMsg();
    void SetCurrentMsg(int16_t n);
    void RetrieveNext();
    // Lists headers from message n on, as SetCurrentMsg, after asking the server's capabilities
    // once a session: a server that announces PIPELINING gets the UIDL and TOP commands of the
    // next messages ahead, and each header still comes as its own POPStatus, in order.
    void ListFrom(int16_t n);
    void MUID(int16_t n);
    // Asks for message n's unique id alone; POPStatus comes with status 4 and MsgUniqueID
    // (empty when the server has no UIDL).
    void AskUniqueID(int16_t n);
    void QuitServer();
    void DisConnect();
    void StartTimeout();
    void StopTimeout();

    int16_t status() const { return int16_t(status_); }
    int16_t CurrentMessageNum() const { return current_; }
    int16_t MsgCount() const { return msgCount_; }
    int16_t ErrNum() const { return errNum_; }
    QString ErrDesc() const { return errDesc_; }
    QString MsgUniqueID() const { return uniqueId_; }
    // Where a failed session stood, and the server's own words when it refused a command.
    int16_t FailedStatus() const { return int16_t(failedAt_); }
    QString ServerReply() const { return serverReply_; }
    // The fingerprint of a certificate refused in this session; empty when none was.
    QString RefusedFingerprint() const { return trust_.refusal().isEmpty() ? QString() : trust_.fingerprint(); }
    // The server announced PIPELINING (known once a listing has asked).
    bool Pipelining() const { return pipelining_ == 1; }

    // The fields of the last message read.
    QString MsgContents() const;
    QByteArray MsgContentsByte() const;
    QString MsgSubject() const;
    QByteArray MsgSubjectByte() const;
    int32_t MsgSubjectCharset() const;
    QString MsgFrom() const;
    QString MsgFromOrg() const;
    QString MsgSubjectOrg() const; // the Subject value as received
    QByteArray MsgFromByte() const;
    int32_t MsgFromCharset() const;
    QString MsgTo() const;
    QString MsgSendDatetime() const;
    int16_t MsgMonth() const;
    int16_t MsgYear() const;
    int32_t Charset() const;
    QDate MsgSendDate() const;
    // The header block of the last message read, as received.
    QString MsgHeaders() const;

signals:
    void POPStatus();
    // Notes for the log: code-page mismatches and the like.
    void DebugPrint(const QString& text);

private:
    void onDataArrival();
    void onReply(const QByteArray& reply);
    void onTick();
    void onSocketError(QAbstractSocket::SocketError error);
    void onServerClosed();
    void onEncrypted();
    void onSslErrors(const QList<QSslError>& errors);
    QSslSocket* sslSocket() const;
    QString peer() const;
    bool send(Status next, const QString& line);
    void fail(int16_t num, const QString& desc);
    void raise();
    void ask(int n);
    bool refused(int n);
    bool readCount(const QByteArray& reply);
    bool collectReply(const QByteArray& chunk);
    bool collectToFile(const QByteArray& chunk);
    bool multiLine() const
    {
        return status_ == TopSent || status_ == RetrSent || status_ == RetrToFile || status_ == CapaSent;
    }
    void noteCodePage(const QByteArray& chunk);
    void closeSocket();
    void closeFile();
    bool holdsSocket() const;
    bool holdsTimer() const;
    CMessage& message() const;
    void readHeader(const QByteArray& reply);
    // The last header with all its fields read, not only those of a list row.
    CMessage& wholeHeader() const;

    // Listing ahead: commands written, replies parsed in order, delivered as the owner asks.
    enum class Ahead : uint8_t { Uidl, Top, Dele, Quit };
    struct Sent
    {
        Ahead cmd;
        int16_t n;
    };
    struct Parsed
    {
        Ahead cmd;
        int16_t n;
        bool positive;
        QByteArray text; // a UIDL line, or a header block without status line and end marker
    };
    void onCapabilities(const QByteArray& reply, bool positive);
    void listAhead(int n);
    bool sendAhead(Ahead cmd, int16_t n, Status next);
    void topUp();
    void readAhead();
    void emptyInput();
    bool parseAhead();
    void deliverAhead();
    bool deliverOne(const Parsed& reply);
    void clipAhead();
    bool leaveAhead();
    void resetAhead();

    QPointer<QTcpSocket> socket_;
    QPointer<QTimer> timer_;
    QString host_;
    uint16_t port_ = 110;
    bool writeLog_ = false;
    MailSecurity security_ = MailSecurity::None;
    CertificateTrust trust_;

    int32_t status_ = Connecting;
    int16_t current_ = 0;
    int16_t msgCount_ = 0;
    int16_t errNum_ = 0;
    QString errDesc_;
    QString uniqueId_;
    int32_t failedAt_ = Connecting;
    QString serverReply_;

    bool awaiting_ = false; // a command was sent and its reply is not complete yet
    bool closing_ = false; // our own close is under way, not the server's
    bool codePageNoted_ = false;
    bool negative_ = false; // a TOP or RETR was answered "-ERR": one line, not a message
    bool idOnly_ = false; // the UIDL asked for the id alone, no headers after it
    int deletions_ = 0; // DELEs the server accepted; they happen only at a confirmed QUIT
    QByteArray buffer_; // the reply so far, bounded
    QByteArray tail_; // the last bytes received, to find an end marker split over chunks
    qint64 replyBytes_ = 0; // bytes of the multi-line reply received, kept or not
    int idleTicks_ = 0; // ticks since the last data
    int replyTicks_ = 0; // ticks since the command was sent
    QFile file_;

    int pipelining_ = -1; // -1 not asked yet, 0 no, 1 yes
    int16_t listFrom_ = 0; // the message a listing waits to start from, while CAPA is out
    bool ahead_ = false; // commands go ahead; replies are read by readAhead
    QList<Sent> sent_; // written, reply not parsed yet
    QList<Parsed> parsed_; // parsed, not asked for yet
    Sent want_{Ahead::Uidl, 0}; // the reply the owner waits for
    int16_t sentUpTo_ = 0; // the last message whose commands are written
    QByteArray in_; // received, from inPos_ on not parsed yet
    qsizetype inPos_ = 0;
    qsizetype scanFrom_ = 0; // where the search for the end marker goes on
    bool clipped_ = false; // the header being read outgrew kReplyBufferCap
    bool delivering_ = false;
    mutable std::unique_ptr<CMessage> message_;
    // The last TOP reply, until the owner asks for its header block as text.
    mutable std::optional<QByteArray> headerReply_;
    mutable bool otherFields_ = false; // its fields beyond a list row's are not read yet
};
