// SPDX-License-Identifier: GPL-3.0-or-later
// A POP3 listing against a server that may announce PIPELINING, so that the client sends its
// UIDL and TOP commands ahead and parses the replies as they come. The server's every other
// reply comes from the input. The session must end (status Closed, the owner told) however the
// server behaves; the client may only send well-formed commands, TOP n right behind UIDL n,
// numbers within the STAT count, nothing after QUIT, and one at a time until the server has
// announced PIPELINING; the owner sees each header it asked for, in order.
//
// Input: the first byte is the plan (low 2 bits: the owner's move on a header; bit 2: the
// server answers CAPA itself with PIPELINING; bits 3-4: the system; bits 5-6: the time-out
// count; bit 7: the owner asks message 1's id before listing, as the engine checks its anchor),
// then records separated by NUL bytes as in fuzz_pop3: "\x01" the server closes, "\x02" plus a
// byte a socket error, "\x03" plus a byte that many timer ticks, anything else is sent by the
// server as it is.
#include "FakeSocket.h"
#include "FuzzSupport.h"
#include "protocols/CPostOffice.h"

#include <QRegularExpression>

#include <algorithm>

namespace {

// What the owner does with a header: go on to the next, delete spam as the engine does, list
// again from message 1 once (a changed mailbox), or quit while commands are in flight.
enum Move { Next, Spam, Restart, QuitEarly };
using Status = CPostOffice::Status;

const QByteArray kCapaAnswer = QByteArrayLiteral("+OK Capability list follows\r\nTOP\r\nUIDL\r\nPIPELINING\r\n.\r\n");

struct Session
{
    fuzz::FakeSocket socket;
    QTimer timer;
    CPostOffice pop;
    Move move = Next;
    bool anchorFirst = false;
    bool restarted = false;
    int lastRaised = -1; // status at the last POPStatus
    int deliveries = 0; // server data sent since the client's last command
    qsizetype checked = 0; // bytes of socket.written already checked
    QByteArrayList commands;
    int count = -1; // the STAT count the client read
    int wanted = 0; // the message whose header or deletion the owner waits for
    QByteArray afterQuit; // what the server said after QUIT

    void listFrom(int n)
    {
        wanted = n;
        pop.ListFrom(int16_t(n));
    }
    void next()
    {
        if (pop.CurrentMessageNum() >= count)
            return pop.QuitServer();
        wanted = pop.CurrentMessageNum() + 1;
        pop.RetrieveNext();
    }

    void react()
    {
        lastRaised = pop.status();
        if (fuzz::Tracing())
            std::fprintf(stderr, "status %d message %d subject %s\n", pop.status(), pop.CurrentMessageNum(),
                         qPrintable(pop.MsgSubject()));
        switch (pop.status()) {
        case Status::StatSent:
            count = pop.MsgCount();
            if (count == 0)
                return pop.QuitServer();
            if (anchorFirst)
                return pop.AskUniqueID(1);
            return listFrom(1);
        case Status::UidlSent: return listFrom(std::min(2, count)); // the anchor's id is in
        case Status::TopSent:
            if (pop.CurrentMessageNum() != wanted)
                fuzz::Fail("the owner got another header than the one it asked for", pop.CurrentMessageNum(), wanted);
            switch (move) {
            case Next: return next();
            case Spam:
                if (pop.MsgSubject().contains(QLatin1String("SPAM")))
                    return pop.DeleteCurrentMsg();
                return next();
            case Restart:
                if (!restarted && wanted >= 2) {
                    restarted = true;
                    return listFrom(1);
                }
                return next();
            case QuitEarly: return pop.QuitServer();
            }
            return;
        case Status::DeleSent:
            if (pop.CurrentMessageNum() != wanted)
                fuzz::Fail("the owner heard of another deletion than the one it asked for", pop.CurrentMessageNum(),
                           wanted);
            return next();
        }
    }

    // Every command the client wrote since the last look; true when the last one is CAPA.
    bool checkCommands()
    {
        static const QRegularExpression kCommand(
            QStringLiteral("^(USER alice|PASS secret|STAT|CAPA|QUIT|(UIDL|DELE) ([1-9][0-9]{0,4})|TOP "
                           "([1-9][0-9]{0,4}) 0)$"));
        int batch = 0;
        bool capa = false;
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
            if (line == "CAPA" && (commands.contains("CAPA") || !(previous == "STAT" || previous.startsWith("UIDL"))))
                fuzz::Fail("the client asked the capabilities out of turn", commands.size(), 0);
            if ((line.startsWith("UIDL") || line.startsWith("TOP")) && commands.contains("STAT")
                && !commands.contains("CAPA") && !(anchorFirst && !commands.contains("UIDL 1") && line == "UIDL 1"))
                fuzz::Fail("the client listed without asking the capabilities", commands.size(), 0);
            // Ahead, a message's TOP is written right behind its UIDL.
            if (pop.Pipelining() && line.startsWith("TOP") && previous != "UIDL " + number.toLatin1())
                fuzz::Fail("the client wrote a TOP without its UIDL just before", number.toInt(), 0);
            if (deliveries == 0 && !pop.Pipelining())
                fuzz::Fail("the client sent a command before the server answered the last one", commands.size(), 0);
            // A window of messages goes out at once, and never more.
            if (++batch > 2 * CPostOffice::kListAhead + 1)
                fuzz::Fail("the client put more commands in flight than its window", batch,
                           2 * CPostOffice::kListAhead);
            deliveries = 0;
            commands << line;
            if (fuzz::Tracing())
                std::fprintf(stderr, "C: %s\n", line.constData());
            capa = line == "CAPA";
        }
        return capa;
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
    const uint8_t plan = data[0];
    fuzz::PickSystem(plan >> 3 & 3);
    const bool capaAhead = plan & 4;

    Session s;
    s.move = Move(plan & 3);
    s.anchorFirst = plan & 0x80;
    s.timer.setInterval(3600 * 1000); // fired by hand only
    s.pop.setTimerControl(&s.timer);
    s.pop.Winsock(&s.socket);
    s.pop.POPHostname(QStringLiteral("pop.example"));
    s.pop.POPUserName = QStringLiteral("alice");
    s.pop.POPPassword = QStringLiteral("secret");
    s.pop.TimeoutCount = int16_t(1 + (plan >> 5 & 3));
    QObject::connect(&s.pop, &CPostOffice::POPStatus, [&s] { s.react(); });
    s.pop.Connect();
    s.socket.accept();

    const auto settle = [&] {
        fuzz::DeliverPosted();
        if (s.checkCommands() && capaAhead) {
            s.serverSends(kCapaAnswer);
            fuzz::DeliverPosted();
            s.checkCommands();
        }
    };
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
        settle();
    }

    // The server falls silent: the time-out must end whatever is left.
    const int bound = (s.pop.TimeoutCount + 1) * CPostOffice::kReplyTickFactor + 2;
    for (int i = 0; i < bound && s.pop.status() != Status::Closed; ++i) {
        if (!s.timer.isActive())
            fuzz::Fail("the session waits with no time-out running", s.pop.status(), i);
        fuzz::Tick(s.timer);
        settle();
    }
    if (s.pop.status() != Status::Closed)
        fuzz::Fail("the session did not end within its time-out", s.pop.status(), bound);
    if (s.lastRaised != Status::Closed)
        fuzz::Fail("the session ended without telling the owner", s.lastRaised, Status::Closed);
    // a close after QUIT is a good end, unless messages were deleted: those need "+OK" to QUIT
    const bool deleted =
        std::any_of(s.commands.cbegin(), s.commands.cend(), [](const QByteArray& c) { return c.startsWith("DELE"); });
    if (s.pop.ErrNum() == 0 && !(s.commands.endsWith("QUIT") && (!deleted || s.afterQuit.contains('+'))))
        fuzz::Fail("a session ended well without QUIT, or deleted without a confirmed QUIT", s.commands.size(), 0);
    if (fuzz::Tracing())
        std::fprintf(stderr, "end: error %d %s\n", s.pop.ErrNum(), qPrintable(s.pop.ErrDesc()));
    if (s.pop.ErrNum() != 0 && s.pop.ErrDesc().isEmpty())
        fuzz::Fail("a failed session has no description", s.pop.ErrNum(), 0);
    fuzz::Keep(fuzz::Touch(s.pop.MsgSubject()) + fuzz::Touch(s.pop.MsgHeaders()) + fuzz::Touch(s.pop.MsgUniqueID()));
    return 0;
}
