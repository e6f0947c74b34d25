// SPDX-License-Identifier: GPL-3.0-or-later
// A whole POP3 session against a server whose every reply comes from the input, with the
// mail engine's usual moves on each POPStatus. The session must end (status Closed, the owner
// told) however the server behaves, and the client may only ever send well-formed commands in
// the dialogue's order, one at a time, none after QUIT, numbers within the STAT count.
//
// Input: the first byte is the plan (low 3 bits: the owner's move once the count is known;
// bits 3-4: the system; bits 5-7: the time-out count), then records separated by NUL bytes:
// "\x01" the server closes, "\x02" plus a byte a socket error, "\x03" plus a byte that many
// timer ticks, anything else is sent by the server as it is.
#include "FakeSocket.h"
#include "FuzzSupport.h"
#include "protocols/CPostOffice.h"

#include <QRegularExpression>
#include <QTemporaryDir>

#include <algorithm>

namespace {

enum Move { Headers, Whole, ToFile, Delete, Quit, Drop, Id, Nothing };
using Status = CPostOffice::Status;

struct Session
{
    fuzz::FakeSocket socket;
    QTimer timer;
    CPostOffice pop;
    Move move = Nothing;
    QString filePath;
    bool dropped = false; // the owner closed the session itself
    int lastRaised = -1; // status at the last POPStatus
    int deliveries = 0; // server data sent since the client's last command
    qsizetype checked = 0; // bytes of socket.written already checked
    QByteArrayList commands;
    int count = -1; // the STAT count the client read
    QByteArray afterQuit; // what the server said after QUIT

    void react()
    {
        lastRaised = pop.status();
        const int first = qMax(1, count - 2); // a few messages are enough
        switch (pop.status()) {
        case Status::RetrSent:
            if (move == ToFile)
                return pop.WriteCurrentMsgToFile(filePath);
            [[fallthrough]];
        case Status::TopSent:
        case Status::RetrToFile: return pop.CurrentMessageNum() < count ? pop.RetrieveNext() : pop.QuitServer();
        case Status::DeleSent:
            return pop.CurrentMessageNum() < count ? pop.DeleteMsgNum(int16_t(pop.CurrentMessageNum() + 1))
                                                   : pop.QuitServer();
        case Status::UidlSent:
            if (move == Id)
                return pop.QuitServer();
            return;
        case Status::StatSent:
            count = pop.MsgCount();
            if (count == 0 && move != Nothing && move != Drop)
                return pop.QuitServer();
            switch (move) {
            case Headers: return pop.SetCurrentMsg(int16_t(first));
            case Whole:
            case ToFile: return pop.RetrieveMsgNum(int16_t(first));
            case Delete: return pop.DeleteMsgNum(int16_t(first));
            case Quit: return pop.QuitServer();
            case Drop: dropped = true; return pop.DisConnect();
            case Id: return pop.AskUniqueID(int16_t(first));
            case Nothing: return;
            }
        }
    }

    // Every command the client wrote since the last look.
    void checkCommands()
    {
        static const QRegularExpression kCommand(QStringLiteral(
            "^(USER alice|PASS secret|STAT|QUIT|(UIDL|RETR|DELE) ([1-9][0-9]{0,4})|TOP ([1-9][0-9]{0,4}) 0)$"));
        while (true) {
            const qsizetype end = socket.written.indexOf("\r\n", checked);
            if (end < 0)
                break;
            const QByteArray line = socket.written.mid(checked, end - checked);
            checked = end + 2;
            const auto m = kCommand.match(QString::fromLatin1(line));
            if (!m.hasMatch() || line.contains('\r') || line.contains('\n'))
                fuzz::Fail("the client sent a malformed command", line.size(), 0);
            const QString number = m.captured(3).isEmpty() ? m.captured(4) : m.captured(3);
            if (!number.isEmpty() && (count < 0 || number.toInt() > count))
                fuzz::Fail("the client asked for a message beyond the STAT count", number.toInt(), count);
            const QByteArray previous = commands.isEmpty() ? QByteArray() : commands.last();
            if (previous == "QUIT")
                fuzz::Fail("the client sent a command after QUIT", commands.size(), 0);
            if ((line.startsWith("USER") != commands.isEmpty())
                || (line.startsWith("PASS") != previous.startsWith("USER"))
                || (line == "STAT") != previous.startsWith("PASS"))
                fuzz::Fail("the client left the login order", commands.size(), 0);
            if (deliveries == 0)
                fuzz::Fail("the client sent a command before the server answered the last one", commands.size(), 0);
            deliveries = 0;
            commands << line;
        }
    }

    void serverSends(const QByteArray& bytes)
    {
        if (commands.endsWith("QUIT"))
            afterQuit += bytes;
        ++deliveries;
        socket.serverSends(bytes);
    }
};

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::EnsureApplication();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    static QTemporaryDir folder(QStringLiteral("/dev/shm/fuzz-pop3-XXXXXX"));
    const uint8_t plan = data[0];
    fuzz::PickSystem(plan >> 3 & 3);

    Session s;
    s.move = Move(plan & 7);
    s.filePath = folder.filePath(QStringLiteral("message.eml"));
    s.timer.setInterval(3600 * 1000); // fired by hand only
    s.pop.setTimerControl(&s.timer);
    s.pop.Winsock(&s.socket);
    s.pop.POPHostname(QStringLiteral("pop.example"));
    s.pop.POPUserName = QStringLiteral("alice");
    s.pop.POPPassword = QStringLiteral("secret");
    s.pop.TimeoutCount = int16_t(1 + (plan >> 5));
    QObject::connect(&s.pop, &CPostOffice::POPStatus, [&s] { s.react(); });
    s.pop.Connect();
    s.socket.accept();

    const QByteArray input = fuzz::Bytes(data + 1, size - 1);
    for (const QByteArray& record : input.split('\0')) {
        if (record.isEmpty())
            continue;
        switch (record[0]) {
        case '\x01': s.socket.serverCloses(); break;
        case '\x02': s.socket.fails(QAbstractSocket::SocketError(record.size() > 1 ? uchar(record[1]) % 24 : 0)); break;
        case '\x03':
            for (int i = 0; i < (record.size() > 1 ? uchar(record[1]) % 64 : 1); ++i)
                fuzz::Tick(s.timer);
            break;
        default: s.serverSends(record); break;
        }
        fuzz::DeliverPosted();
        s.checkCommands();
    }

    // The server falls silent: the time-out must end whatever is left.
    const int bound = (s.pop.TimeoutCount + 1) * CPostOffice::kReplyTickFactor + 2;
    for (int i = 0; i < bound && s.pop.status() != Status::Closed; ++i) {
        if (!s.timer.isActive())
            fuzz::Fail("the session waits with no time-out running", s.pop.status(), i);
        fuzz::Tick(s.timer);
        fuzz::DeliverPosted();
        s.checkCommands();
    }
    if (s.pop.status() != Status::Closed)
        fuzz::Fail("the session did not end within its time-out", s.pop.status(), bound);
    if (!s.dropped && s.lastRaised != Status::Closed)
        fuzz::Fail("the session ended without telling the owner", s.lastRaised, Status::Closed);
    // a close after QUIT is a good end, unless messages were deleted: those need "+OK" to QUIT
    const bool deleted =
        std::any_of(s.commands.cbegin(), s.commands.cend(), [](const QByteArray& c) { return c.startsWith("DELE"); });
    if (!s.dropped && s.pop.ErrNum() == 0
        && !(s.commands.endsWith("QUIT") && (!deleted || s.afterQuit.startsWith('+'))))
        fuzz::Fail("a session ended well without QUIT, or deleted without a confirmed QUIT", s.commands.size(), 0);
    if (s.pop.ErrNum() != 0 && s.pop.ErrDesc().isEmpty())
        fuzz::Fail("a failed session has no description", s.pop.ErrNum(), 0);
    fuzz::Keep(fuzz::Touch(s.pop.MsgSubject()) + fuzz::Touch(s.pop.MsgContentsByte())
               + fuzz::Touch(s.pop.MsgUniqueID()));
    return 0;
}
