// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QByteArray>
#include <QObject>
#include <QPointer>
#include "mail/MailList.h"
#include <QString>
#include <QTcpSocket>
#include <QTimer>
#include <cstdint>
#include <functional>

#include "mail/MailboxMemory.h"
#include "mail/SenderReplyMemory.h"
#include "protocols/CertificateTrust.h"

class CPostOffice;
class cSmtp;
class MailHost;
namespace telephony {
class ClsAudioControl;
}

// The mail engine: checks the mailbox through the POP3 client step by step, keeps the
// mailbox list in step with the server, counts new mail, removes spam, answers new mail and
// writes the log. Every call returns at once; the work goes on in socket and timer events.
class checkmailClass : public QObject
{
    Q_OBJECT
public:
    // What the engine is doing (MyStatus).
    enum Mode : int32_t { Idle = 0, FirstCheck = 1, TimedCheck = 2, DeleteOne = 3, FetchOne = 4 };
    static constexpr const char* kFetchFailed = "Fail to retrieve E - mail";
    static constexpr const char* kLogPrefix = "kv_";
    // The log pauses this long after a line before the engine's next step.
    static constexpr int kLogPauseSeconds = 2;
    static constexpr int kLogPauseTickMs = 50;

    explicit checkmailClass(QObject* parent = nullptr);
    ~checkmailClass() override;

    // Settings the window writes before every check (16-bit switches: true or false).
    bool PhoneReady = false;
    QString DisplayText;
    int16_t PinTries = 0;
    int16_t VoiceIndex = 0;
    int16_t RepeatCount = 0;
    int16_t PopTimeoutTicks = 40;
    int16_t AlertThreshold = 1;
    QString PhoneNumber;
    QString PinCode;
    QString DigitBuffer;
    QString AlertText;
    QString UserName;
    QString Password;
    QString ServerName;
    int32_t ServerPort = 110;
    MailSecurity ServerSecurity = MailSecurity::None; // TLS needs a lent QSslSocket
    int16_t NewMailCount = 0;
    int16_t LastErrorNumber = 0;
    bool PhoneOn = false;
    bool AutoReplyOn = false;
    // A sender gets at most one automatic reply in this many days (0: no such limit).
    int AutoReplyDays = SenderReplyMemory::kDefaultDays;
    bool AlertAnswered = false;
    bool TodayOnly = false;
    // The log makes a two-second pause after each line; tools that only watch may skip it.
    bool PauseAfterLog = true;

    // Controls the window lends, once.
    void setHost(MailHost* host);
    void SetAudioControl(telephony::ClsAudioControl* control);
    void Popsock(QTcpSocket* socket);
    void setPOPTimerControl(QTimer* timer);
    void SMTPsock(QTcpSocket* socket);
    // Sockets made the first time a session needs one.
    void Popsock(std::function<QTcpSocket*()> make);
    void SMTPsock(std::function<QTcpSocket*()> make);
    void setSMTPTimerControl(QTimer* timer);
    void setListView(MailList* list);
    void writelog(bool on);
    void allowdelete(bool on);

    void CheckMail(int32_t kind);
    void RetrieveMailInServer(int16_t n);
    void DelMailInServer(int16_t n);
    void ResetMailCount(int32_t n);
    void killPop();
    void updateAll(int) { }

    int32_t MyStatus() const { return myStatus_; }
    int32_t KnownCount() const { return knownCount_; }
    QString ToMailAddress() const { return toMailAddress_; }
    QString FromOrg() const { return fromOrg_; }
    int32_t Charaset() const { return charset_; }
    bool SingleByteSystem() const { return singleByteSystem_; }
    bool SessionRunning() const { return ObjPop != nullptr; }
    // Why the last session failed, in words for the status bar and the log; empty when it
    // ended well.
    QString LastFailure() const { return lastFailure_; }
    // The last certificate refused, POP3 or SMTP, for the user to trust: server "host:port" and
    // fingerprint; empty when the last session of each kind refused none.
    struct RefusedCertificate
    {
        QString server, fingerprint;
    };
    RefusedCertificate LastRefusedCertificate() const { return refused_; }
    static QString ServerIdentity(const QString& host, int32_t port);
    // The new mail the last request found: how many, and the first few in list order.
    struct NewMail
    {
        QString sender, subject;
    };
    static constexpr int kNewMailKept = 10; // more than a notice shows
    int NewMailFound() const { return newMailFound_; }
    QList<NewMail> NewMailListed() const { return newMail_; }
    // Where the engine keeps what it has listed and answered of the current mailbox.
    QString MemoryFile() const { return memory_.filePath(); }
    QString SenderMemoryFile() const { return senders_.filePath(); }
    // The memory file is written beside the event loop after a check; this waits until it is
    // on disk (the next check and the engine's end wait by themselves).
    void FinishMemoryWrite() { memory_.finishWrite(); }
    bool Sending() const { return ObjSmtp != nullptr; }

    // The current message (the last one fetched in full, or the error placeholder).
    QString Sender() const { return sender_; }
    QString Subject() const { return subject_; }
    QString Body() const { return body_; }

    // Readable form of a field on this system, converting between Big5 and GB2312 where the
    // interface language asks for the other script.
    QString DisplayStringconv(const QString& text, const QByteArray& bytes, int32_t charset) const;
    static QString CodeConvert(const QString& text, int target);
    static QByteArray ByteConvert(const QByteArray& bytes, int target);

    void SendMail(const QString& to, const QString& from, const QString& subject, const QString& body);

    // Tells the user that enough new mail has come: rings the telephone when telephone
    // features are on, otherwise speaks the announcement while spoken captions are on.
    // Returns -1 when an alert call was placed, otherwise 0.
    int16_t AlertUser();
    // Speaks a short text in the language of the user interface.
    void ButtonSpeak(const QString& text);

    // ---- the keypad voice menu
    static constexpr const char* kPleaseWait = "Please wait.";
    static constexpr int kPinLength = 8; // digits a PIN may have
    static constexpr int kPinTriesPerCall = 3;
    static constexpr int kLockoutCalls = 3; // calls with wrong PINs ...
    static constexpr int kLockoutSeconds = 15 * 60; // ... within this long lock the line this long
    static constexpr int kDigitBufferCap = 64; // keys kept; a caller cannot grow it further

    // One keypad key ("0"-"9", "*", "#"); anything else is dropped.
    void DigitReceived(const QString& key);
    void GoodByeHangup();
    void ModemOnHook();
    void ListOne(int16_t n);
    void listAll(int16_t n);
    // A call starts: nothing of an earlier call's keys, tries or reading remains. A line call
    // made while wrong PINs have locked the line is said good-bye to at once.
    void CallStarted(bool lineCall);
    // The message just fetched is spoken, when a caller or a list reading still waits for it.
    void ReadFetchedMessage();
    int16_t ReadIndex() const { return readIndex_; }

    // ---- spoken text
    static bool isGBByte(uchar b) { return b >= 0xA1 && b <= 0xFE; }
    static bool isBig5HighByte(uchar b) { return b >= 0xA1 && b <= 0xFE; }
    static bool isBig5LowByte(uchar b) { return (b >= 0x40 && b <= 0x7E) || (b >= 0xA1 && b <= 0xFE); }
    // The text without control characters; line breaks and tabs become blanks.
    static QString Speakable(const QString& text);
    static QString FindEmailaddress(const QString& text);
    QString ReturnBodyIn(int target) const;
    void saySubDateBody(const QString& date, const QString& subject, const QString& sender, const QString& body);
    // Speaks mixed Chinese and Latin text run by run, each in its own voice.
    void TTSGB(const QByteArray& bytes);
    void TTSText(const QString& text);
    void TTSRemain();

    // One line of the log: shown and written at once. The log then pauses: what the engine
    // does next (then) runs when the pause is over, while every other event goes on.
    void WriteLogLine(const QString& name, const QString& text, std::function<void()> then = {});

signals:
    void PhoneCall();
    void CheckmailStart();
    void showListViewCount();
    void DisplayEMessage(const QString& text);
    void EnDePhoneCall(bool on);
    void DebugPrint(const QString& text);
    void CheckmailFinish(int32_t mode);
    void DisplayDigitInput(const QString& key);
    void ChangeVoiceEngine(int32_t language);
    void ChangeVoiceLanguage(int32_t language);

private:
    void ObjPop_POPStatus();
    void onCountKnown();
    void onAnchorChecked();
    void listFromCount(int count);
    void rebuildList();
    void quitListed();
    void saveMemory();
    void onHeadersIn();
    void onMessageIn();
    void onDeleted();
    void onSessionEnded();
    void startSession();
    void finish();
    void addListItem(const QString& sender, const QString& subject, const QString& date, const QString& file,
                     const QString& id, bool isNew);
    QString idAtRow(int row) const;
    void undoDeletions();
    void forgetGoneMail();
    QString failureReason() const;
    void onLogPauseTick();
    void setErrorMessage(const QString& text, int16_t number);
    void clearList();
    bool isSpam() const;
    void sendAutoReply(const QString& id);
    QString autoReplySkipped() const;
    void resumeAfterReply();
    void ObjSmtp_Sending();
    void ObjSmtp_ServerClose(int16_t code);
    void resumeListing();

    int16_t ringUser();

    // The voice menu's steps, one per call status.
    void handleKey(const QString& key);
    void onAlertAnsweredKey();
    void onPinKey();
    void onMenuKey();
    void onListeningKey();
    void onNumberKey();
    void onDictationKey();
    void onLongNumberKey();
    bool readMessage(int n);
    void startReply();
    void sendReply();
    void deleteReadMessage();
    void say(const QString& text);
    void sayTotals();
    void sayMenu(const QString& extra = QString());
    void logPhone(const QString& text);
    bool lockedOut();
    void notePinFailure();
    bool placeholderIsCurrent() const { return placeholder_; }
    // Requests that wait while a session runs; they start when it has ended.
    struct Request
    {
        int32_t mode;
        int16_t n;
        QString id;
    };
    void request(int32_t mode, int16_t n, const QString& id = QString());
    void startRequest(const Request& r);
    void runWaitingRequest();

    MailHost* host_ = nullptr;
    QPointer<telephony::ClsAudioControl> audio_;
    QPointer<QTcpSocket> popSocket_;
    QPointer<QTimer> popTimer_;
    QPointer<QTcpSocket> smtpSocket_;
    std::function<QTcpSocket*()> makePopSocket_, makeSmtpSocket_;
    QPointer<QTimer> smtpTimer_;
    QPointer<MailList> list_;
    bool writeLog_ = false;

    CPostOffice* ObjPop = nullptr;
    cSmtp* ObjSmtp = nullptr;
    int32_t myStatus_ = Idle;
    int32_t knownCount_ = 0;
    int16_t targetMessage_ = 0;
    bool continueAfterDelete_ = false;

    // The session's view of the mailbox, kept sound whatever happens to the session.
    MailboxMemory memory_;
    SenderReplyMemory senders_; // who got an automatic reply, and when
    int32_t knownAtFirstDelete_ = -1; // rows that stay valid when the session's DELEs are undone
    bool userDeleted_ = false; // the server accepted the user's DELE, pending QUIT
    bool listedToEnd_ = false; // the session looked at every message up to the count
    bool firstListing_ = false; // the first check's listing is not complete yet
    int32_t existingAtStart_ = -1; // messages there at the first check: never new
    QString lastFailure_;
    RefusedCertificate refused_;
    QList<NewMail> newMail_;
    int newMailFound_ = 0;
    QStringList monthNames_; // the system's short month names, read when a session starts
    QList<Request> waiting_;
    QString targetId_; // the id the fetched or deleted message must have
    bool menuDelete_ = false; // the delete was asked on the telephone
    bool dictatedSend_ = false; // the send in progress is the caller's reply

    // The call.
    int16_t readIndex_ = 0;
    bool deleteArmed_ = false; // "0" once: the next "0" deletes the message read
    bool pinFailedThisCall_ = false;
    bool lineCall_ = false;
    QList<double> pinFailureTimes_; // seconds since epoch, one per call with a wrong PIN
    double lockedUntil_ = 0;
    QStringList pendingKeys_;
    bool handlingKey_ = false;
    QString remainingSpeech_;
    QString readId_; // the id of the message read, for its deletion
    int16_t readPosition_ = 0;
    QString date_; // the fetched message's date, as the list shows it
    bool placeholder_ = true; // the current message is a placeholder, not a mail

    // An automatic reply holds the listing until the send has closed and the log has paused.
    struct ReplyWait
    {
        QPointer<CPostOffice> session;
        bool sendClosed = false;
        bool pauseOver = false;
    } replyWait_;
    // The header fields that place a reply in its thread.
    struct ThreadIds
    {
        QString messageId, references, inReplyTo;
    };
    static ThreadIds threadIdsOf(const QString& headers);
    ThreadIds readThread_; // of the message fetched
    ThreadIds replyThread_; // of the message the caller is answering
    // An automatic reply that waits for the send in progress to close.
    struct PendingSend
    {
        QString to, from, subject, body;
        enum Kind { Other, Auto, Dictated } kind = Other;
        ThreadIds answered; // the mail this one answers
    };
    QList<PendingSend> pendingSends_;
    PendingSend::Kind sendKind_ = PendingSend::Other;
    void queueSend(const PendingSend& send);
    void startSend(const PendingSend& send);

    struct LogPause
    {
        double start;
        qint64 realStart;
        std::function<void()> then;
    };
    QList<LogPause> logPauses_;
    QTimer logPauseTimer_;
    bool singleByteSystem_ = false;

    QString toMailAddress_;
    QString fromOrg_;
    QString sender_;
    QString subject_;
    QString body_;
    QByteArray senderBytes_;
    QByteArray subjectBytes_;
    QByteArray bodyBytes_;
    int32_t senderCharset_ = 1;
    int32_t subjectCharset_ = 1;
    int32_t charset_ = 1;
};
