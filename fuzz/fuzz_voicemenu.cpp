// SPDX-License-Identifier: GPL-3.0-or-later
// The telephone voice menu driven by a caller's keys and whatever else happens meanwhile: the
// speech of the last answer ends, a fetched message comes in with text from the input, the
// mail server fails, the caller hangs up, the hang-up timer runs out, a check or a dictated
// reply ends. The engine and the call controller are the real ones; the window's part is wired
// as the main window wires it, the mail servers are played by fake sockets that answer every
// command, and there is no voice: each speech ends when the input says so.
// Nothing may crash; the call status stays one of its known values; speech is always a text
// without control characters, and none is asked for once the call has ended.
//
// Input: the first byte is the plan (low 3 bits: messages in the mailbox; bits 3-4: how many
// of them are new; bits 5-6: the system), then one event a byte:
//   0-9 * #  a keypad key            c  a simulated call starts   n  an internet call starts
//   e  the speech ends               h  the caller hangs up       t  a tick of the hang-up timer
//   s  the mail server answers what it was asked                  m  the same, the messages it
//      sends being the text up to the next NUL byte               f  the mail server closes
//   F  the mail server's connection fails                         p  a tick of the POP3 time-out
//   x  the SMTP server answers what it was asked                  X  the SMTP server closes
//   C  a timed check starts                                       anything else is ignored
#include "FakeSocket.h"
#include "FuzzSupport.h"
#include "mail/StandaloneMail.h"
#include "platform/Clock.h"
#include "platform/ProgramFolder.h"
#include "telephony/ClsAudioControl.h"
#include "tests/mail/ComposePage.h"
#include "tests/telephony/FixedCallHost.h"

#include <QDir>
#include <QTemporaryDir>

using telephony::ClsAudioControl;

namespace {

bool knownStatus(int32_t status)
{
    switch (status) {
    case ClsAudioControl::Idle:
    case ClsAudioControl::Connecting:
    case ClsAudioControl::AlertSaying:
    case ClsAudioControl::WaitingForPin:
    case ClsAudioControl::MenuRepeating:
    case ClsAudioControl::ReadingPieces:
    case ClsAudioControl::Disconnecting:
    case ClsAudioControl::GoodBye:
    case ClsAudioControl::ReadingList:
    case ClsAudioControl::ReadingOne:
    case ClsAudioControl::MenuSpeech:
    case ClsAudioControl::WaitingForInput:
    case ClsAudioControl::FarEndHungUp:
    case ClsAudioControl::Ringing: return true;
    default: return false;
    }
}

// A server that answers every complete command line it has not answered yet, in order.
class Responder
{
public:
    explicit Responder(fuzz::FakeSocket& socket) : socket_(socket) { }

    // The lines the client wrote since the last call; a fresh connection starts over.
    QByteArrayList unanswered()
    {
        if (socket_.connects != connects_) {
            connects_ = socket_.connects;
            from_ = socket_.written.size();
        }
        QByteArrayList lines;
        qsizetype end;
        while ((end = socket_.written.indexOf("\r\n", from_)) >= 0) {
            lines << socket_.written.mid(from_, end - from_);
            from_ = end + 2;
        }
        return lines;
    }

private:
    fuzz::FakeSocket& socket_;
    int connects_ = 0;
    qsizetype from_ = 0;
};

struct Call
{
    FixedMailHost host;
    FixedCallHost callHost;
    ComposePage form;
    fuzz::FakeSocket popSocket, smtpSocket;
    QTimer popTimer, smtpTimer, callTimer;
    MailList list;
    ClsAudioControl audio;
    checkmailClass engine;
    Responder pop{popSocket}, smtp{smtpSocket};
    int mailbox = 0; // messages on the server
    QByteArray text; // what RETR returns
    int said = 0;

    Call()
    {
        host.server = QStringLiteral("smtp.example");
        host.form = &form;
        callHost.hangup = 10;
        for (QTimer* timer : {&popTimer, &smtpTimer, &callTimer})
            timer->setInterval(3600 * 1000); // fired by hand only
        engine.setHost(&host);
        engine.Popsock(&popSocket);
        engine.setPOPTimerControl(&popTimer);
        engine.SMTPsock(&smtpSocket);
        engine.setSMTPTimerControl(&smtpTimer);
        engine.setListView(&list);
        engine.SetAudioControl(&audio);
        engine.PauseAfterLog = false;
        engine.PopTimeoutTicks = 2;
        engine.UserName = QStringLiteral("alice");
        engine.Password = QStringLiteral("secret");
        engine.ServerName = QStringLiteral("pop.example");
        engine.PinCode = QStringLiteral("2468");
        audio.timercontrol(&callTimer);
        audio.setHost(&callHost);
        // What the main window does with the engine's and the controller's events.
        QObject::connect(&audio, &ClsAudioControl::Saying, [this](const QString& t) { heard(t); });
        QObject::connect(&audio, &ClsAudioControl::IncomingPhone, [this] { engine.CallStarted(true); });
        QObject::connect(&audio, &ClsAudioControl::SpeakRemain, &engine, &checkmailClass::TTSRemain);
        QObject::connect(&engine, &checkmailClass::CheckmailFinish, [this](int32_t mode) {
            if (mode == checkmailClass::FetchOne)
                engine.ReadFetchedMessage();
        });
        QObject::connect(&engine, &checkmailClass::DisplayDigitInput, [this](const QString& c) { form.key(c); });
    }

    void fill(int rows, int fresh)
    {
        mailbox = rows;
        for (int n = 1; n <= rows; ++n)
            list.append({QStringLiteral("Bob <bob@example.com>"), QStringLiteral("Hello %1").arg(n),
                         QStringLiteral("Jan 1 2026"), QString(), QStringLiteral("id%1").arg(n)});
        engine.ResetMailCount(rows);
        engine.NewMailCount = int16_t(std::min(fresh, rows));
    }

    void heard(const QString& t)
    {
        ++said;
        if (audio.getStatus() == ClsAudioControl::Idle)
            fuzz::Fail("speech was asked for with no call on", said, 0);
        for (QChar c : t)
            if (c.unicode() < 0x20 || c.unicode() == 0x7F)
                fuzz::Fail("the speech holds a control character", c.unicode(), said);
        fuzz::Keep(fuzz::Touch(t));
        if (fuzz::Tracing())
            std::fprintf(stderr, "[%d] says \"%s\"\n", audio.getStatus(), qPrintable(t));
    }

    QByteArray popAnswer(const QByteArray& line) const
    {
        const QByteArrayList words = line.split(' ');
        const QByteArray command = words.value(0);
        const QByteArray n = words.value(1);
        if (command == "STAT")
            return "+OK " + QByteArray::number(mailbox) + " 1000\r\n";
        if (command == "UIDL")
            return "+OK " + n + " id" + n + "\r\n";
        if (command == "CAPA")
            return "+OK\r\nUIDL\r\nTOP\r\nPIPELINING\r\n.\r\n";
        if (command == "TOP")
            return "+OK\r\nFrom: Bob <bob@example.com>\r\nSubject: Hello " + n + "\r\n\r\n.\r\n";
        if (command == "RETR")
            return "+OK\r\n" + text + "\r\n.\r\n";
        return "+OK\r\n";
    }

    // One round of answers; false when the server had nothing to answer.
    bool popAnswers()
    {
        if (popSocket.state() == QAbstractSocket::ConnectingState) {
            pop.unanswered();
            popSocket.accept();
            popSocket.serverSends("+OK ready\r\n");
            return true;
        }
        const QByteArrayList lines = pop.unanswered();
        QByteArray out;
        for (const QByteArray& line : lines)
            out += popAnswer(line);
        if (out.isEmpty())
            return false;
        popSocket.serverSends(out);
        return true;
    }

    bool smtpAnswers()
    {
        if (smtpSocket.state() == QAbstractSocket::ConnectingState) {
            smtp.unanswered();
            smtpSocket.accept();
            smtpSocket.serverSends("220 ready\r\n");
            return true;
        }
        QByteArray out;
        for (const QByteArray& line : smtp.unanswered())
            out += line == "DATA" ? "354 go on\r\n" : line == "QUIT" ? "221 bye\r\n" : "250 ok\r\n";
        if (out.isEmpty())
            return false;
        smtpSocket.serverSends(out);
        return true;
    }

    void check() const
    {
        if (!knownStatus(audio.getStatus()))
            fuzz::Fail("the call status is none of its values", audio.getStatus(), 0);
        if (engine.MyStatus() < checkmailClass::Idle || engine.MyStatus() > checkmailClass::FetchOne)
            fuzz::Fail("the engine's mode is none of its values", engine.MyStatus(), 0);
        if (engine.DigitBuffer.size() > checkmailClass::kDigitBufferCap)
            fuzz::Fail("the keys kept outgrew their cap", engine.DigitBuffer.size(), checkmailClass::kDigitBufferCap);
    }
};

const QByteArray kDefaultText = QByteArrayLiteral("From: Bob <bob@example.com>\r\nTo: alice@example.com\r\n"
                                                  "Subject: Lunch\r\nDate: Mon, 7 Dec 2026 10:00:00 +0000\r\n\r\n"
                                                  "See you at noon.");

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::EnsureApplication();
    static platform::ManualClock clock(1'800'000'000'000, 1000);
    platform::SetAppClock(&clock);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    // The engine keeps its memory of the mailbox in the program folder: a fresh one each run.
    static QTemporaryDir folder(QStringLiteral("/dev/shm/fuzz-voicemenu-XXXXXX"));
    QDir(folder.path()).removeRecursively();
    QDir().mkpath(folder.path());
    platform::SetProgramFolderOverride(folder.path());
    const uint8_t plan = data[0];
    fuzz::PickSystem(plan >> 5 & 3);

    Call call;
    call.fill(plan & 7, plan >> 3 & 3);
    call.text = kDefaultText;

    for (size_t i = 1; i < size; ++i) {
        const char event = char(data[i]);
        switch (event) {
        case 'c':
            call.audio.simPhoneConnected(0);
            call.engine.CallStarted(false);
            break;
        case 'n': call.audio.netPhoneConnected(1); break;
        case 'e': fuzz::DeliverPosted(); break;
        case 'h':
            // The caller went: the call ends as the window ends it.
            if (call.audio.getStatus() != ClsAudioControl::Idle) {
                call.audio.ResetPlay();
                call.audio.Vhangup();
            }
            break;
        case 't': fuzz::Tick(call.callTimer); break;
        case 'm': {
            const size_t end = std::find(data + i + 1, data + size, uint8_t(0)) - data;
            call.text = fuzz::Bytes(data + i + 1, end - i - 1);
            i = end;
            for (int round = 0; round < 8 && call.popAnswers(); ++round) { }
            break;
        }
        case 's': call.popAnswers(); break;
        case 'f': call.popSocket.serverCloses(); break;
        case 'F': call.popSocket.fails(QAbstractSocket::NetworkError); break;
        case 'p': fuzz::Tick(call.popTimer); break;
        case 'x': call.smtpAnswers(); break;
        case 'X': call.smtpSocket.serverCloses(); break;
        case 'C': call.engine.CheckMail(checkmailClass::TimedCheck); break;
        default:
            if (QByteArrayLiteral("0123456789*#").contains(event))
                call.engine.DigitReceived(QString(QLatin1Char(event)));
            break;
        }
        call.check();
        if (fuzz::Tracing())
            std::fprintf(stderr, "%c -> call %d, engine %d\n", event, call.audio.getStatus(), call.engine.MyStatus());
    }
    // Whatever was left: the speech ends, the servers answer or fall silent.
    for (int round = 0; round < 16; ++round) {
        fuzz::DeliverPosted();
        if (!call.popAnswers() && !call.smtpAnswers())
            break;
        call.check();
    }
    fuzz::DeliverPosted();
    call.check();
    platform::SetProgramFolderOverride(QString());
    return 0;
}
