#pragma once
#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QStandardItemModel>
#include <QString>
#include <QTcpSocket>
#include <QTimer>
#include <cstdint>
#include <functional>

#include "mail/MailboxMemory.h"

class CPostOffice;
class cSmtp;
class MailHost;
namespace telephony { class ClsAudioControl; }

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
    // The list row's first column holds the message's unique id under this role.
    static constexpr int kIdRole = Qt::UserRole + 1;

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
    int16_t NewMailCount = 0;
    int16_t LastErrorNumber = 0;
    bool PhoneOn = false;
    bool AutoReplyOn = false;
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
    void setSMTPTimerControl(QTimer* timer);
    void setListView(QStandardItemModel* list);
    void writelog(bool on);
    void allowdelete(bool on);

    void CheckMail(int32_t kind);
    void RetrieveMailInServer(int16_t n);
    void DelMailInServer(int16_t n);
    void ResetMailCount(int32_t n);
    void killPop();
    void updateAll(int) {}

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
    // Where the engine keeps what it has listed and answered of the current mailbox.
    QString MemoryFile() const { return memory_.filePath(); }
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
    void onHeadersIn();
    void onMessageIn();
    void onDeleted();
    void onSessionEnded();
    void startSession();
    void finish();
    void addListItem(const QString& sender, const QString& subject, const QString& date,
                     const QString& file, const QString& id, bool isNew);
    QString idAtRow(int row) const;
    void undoDeletions();
    void forgetGoneMail();
    QString failureReason() const;
    void onLogPauseTick();
    void setErrorMessage(const QString& text, int16_t number);
    void clearList();
    bool isSpam() const;
    void sendAutoReply(const QString& id);
    void resumeAfterReply();
    void ObjSmtp_Sending();
    void ObjSmtp_ServerClose(int16_t code);
    void resumeListing();

    int16_t ringUser();

    MailHost* host_ = nullptr;
    QPointer<telephony::ClsAudioControl> audio_;
    QPointer<QTcpSocket> popSocket_;
    QPointer<QTimer> popTimer_;
    QPointer<QTcpSocket> smtpSocket_;
    QPointer<QTimer> smtpTimer_;
    QPointer<QStandardItemModel> list_;
    bool writeLog_ = false;

    CPostOffice* ObjPop = nullptr;
    cSmtp* ObjSmtp = nullptr;
    int32_t myStatus_ = Idle;
    int32_t knownCount_ = 0;
    int16_t targetMessage_ = 0;
    bool continueAfterDelete_ = false;

    // The session's view of the mailbox, kept sound whatever happens to the session.
    MailboxMemory memory_;
    int32_t knownAtFirstDelete_ = -1; // rows that stay valid when the session's DELEs are undone
    bool userDeleted_ = false;        // the server accepted the user's DELE, pending QUIT
    bool listedToEnd_ = false;        // the session looked at every message up to the count
    bool firstListing_ = false;       // the first check's listing is not complete yet
    int32_t existingAtStart_ = -1;    // messages there at the first check: never new
    QString lastFailure_;

    // An automatic reply holds the listing until the send has closed and the log has paused.
    struct ReplyWait {
        QPointer<CPostOffice> session;
        bool sendClosed = false;
        bool pauseOver = false;
    } replyWait_;

    struct LogPause {
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
