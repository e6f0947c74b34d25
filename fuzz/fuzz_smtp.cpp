// SPDX-License-Identifier: GPL-3.0-or-later
// One mail sent to a server whose every reply comes from the input. The session must end with
// exactly one ServerClose however the server behaves; the client sends only the dialogue's
// commands in their order, the message text only after 354, nothing after QUIT or the close;
// the header names sender, recipient, subject and a UTF-8 text whose transfer encoding gives
// back every line of the text (CR LF, dot-stuffed); "delivered" means the server took the text.
//
// Input: the first byte picks the system (low 2 bits) and whether a file goes along (bit 2);
// the first record is the message text; the rest are records as for fuzz-pop3: NUL-separated,
// "\x01" the server closes, "\x02" plus a byte a socket error, "\x03" plus a byte that many
// ticks, anything else is sent by the server as it is.
#include "FakeSocket.h"
#include "FuzzSupport.h"
#include "platform/Clock.h"
#include "platform/ProgramFolder.h"
#include "platform/SystemLocale.h"
#include "protocols/cSmtp.h"

#include <QFile>
#include <QTemporaryDir>

namespace {

// Lines as the message text gives them: CR LF, a bare CR and a bare LF each end one.
QByteArrayList linesOf(const QByteArray& text)
{
    QByteArrayList lines{QByteArray()};
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' || text[i] == '\n') {
            if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
            lines << QByteArray();
        } else {
            lines.last() += text[i];
        }
    }
    return lines;
}

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
    static QTemporaryDir folder(QStringLiteral("/dev/shm/fuzz-smtp-XXXXXX"));
    static platform::ManualClock clock(1044349507000); // 4 Feb 2003
    platform::SetProgramFolderOverride(folder.path());
    platform::SetAppClock(&clock);
    fuzz::PickSystem(data[0] & 3, 3);
    const bool attach = data[0] & 4;
    const QString attachment = folder.filePath(QStringLiteral("a.bin"));
    if (attach && !QFile::exists(attachment)) {
        QFile f(attachment);
        if (f.open(QIODevice::WriteOnly))
            f.write("Cats and dogs!\n.\r\n");
    }

    QByteArrayList records = fuzz::Bytes(data + 1, size - 1).split('\0');
    const QByteArray text = records.takeFirst();

    fuzz::FakeSocket socket;
    QTimer timer;
    timer.setInterval(3600 * 1000); // fired by hand only
    cSmtp smtp;
    smtp.setWsock(&socket);
    smtp.setWtimeout(&timer);
    smtp.Server = QStringLiteral("mx.example");
    smtp.MailFrom = QStringLiteral("ann@x.org");
    smtp.SendTo = QStringLiteral("bob@y.org");
    smtp.MessageSubject = QStringLiteral("hi");
    smtp.MessageText = QString::fromLatin1(text);
    int closes = 0, code = -1;
    qsizetype writtenAtClose = -1;
    QObject::connect(&smtp, &cSmtp::ServerClose, [&](int16_t c) {
        ++closes;
        code = c;
        writtenAtClose = socket.written.size();
    });
    smtp.Connect(attach ? 1 : 0, attachment);
    socket.accept();

    QByteArray replies; // what the server said, for the verdict
    qsizetype sentBefore = 0;
    const auto after = [&] {
        fuzz::DeliverPosted();
        if (socket.written.size() > sentBefore) {
            emit socket.bytesWritten(socket.written.size() - sentBefore);
            sentBefore = socket.written.size();
        }
    };
    for (const QByteArray& record : records) {
        if (record.isEmpty())
            continue;
        switch (record[0]) {
        case '\x01': socket.serverCloses(); break;
        case '\x02': socket.fails(QAbstractSocket::SocketError(record.size() > 1 ? uchar(record[1]) % 24 : 0)); break;
        case '\x03':
            for (int i = 0; i < (record.size() > 1 ? uchar(record[1]) % 64 : 1); ++i)
                fuzz::Tick(timer);
            break;
        default:
            replies += record;
            socket.serverSends(record);
            break;
        }
        after();
    }
    const int bound = cSmtp::kTimeoutTicks * cSmtp::kReplyTickFactor + 2;
    for (int i = 0; i < bound && closes == 0; ++i) {
        if (!timer.isActive())
            fuzz::Fail("the session waits with no time-out running", i, bound);
        fuzz::Tick(timer);
        after();
    }
    if (closes != 1)
        fuzz::Fail("a session must end with exactly one ServerClose", closes, 1);
    if (socket.written.size() != writtenAtClose)
        fuzz::Fail("the client wrote after the session ended", socket.written.size(), writtenAtClose);

    // The dialogue as written: every line ends in CR LF, nothing is left half-written.
    const QByteArray& out = socket.written;
    if (!out.isEmpty() && !out.endsWith("\r\n"))
        fuzz::Fail("a command is not ended by CR LF", out.size(), 0);
    QByteArrayList lines = out.split('\n');
    lines.removeLast();
    for (QByteArray& l : lines) {
        if (!l.endsWith('\r') || l.count('\r') != 1)
            fuzz::Fail("a bare CR or LF was sent", l.size(), 0);
        l.chop(1);
    }
    // EHLO, HELO only when EHLO was refused, then the envelope.
    qsizetype i = 0;
    if (i < lines.size() && lines[i] == "EHLO mx.example")
        ++i;
    if (i == 1 && i < lines.size() && lines[i] == "HELO mx.example")
        ++i;
    const QByteArrayList commands{"MAIL FROM:<ann@x.org>", "RCPT TO:<bob@y.org>", "DATA"};
    qsizetype c = 0;
    for (; i < lines.size() && c < commands.size() && lines[i] == commands[c]; ++i, ++c) { }
    bool textSent = false;
    if (c == 3 && i < lines.size() && lines[i] != "QUIT") {
        // the message: its own lines come back after the headers once the dots are taken out
        if (replies.indexOf("354") < 0)
            fuzz::Fail("the message text went out before 354", i, 0);
        const qsizetype end = lines.indexOf(".", i);
        if (end < 0)
            fuzz::Fail("the message text was not ended by a lone dot", i, 0);
        QByteArrayList body = lines.mid(i, end - i);
        for (QByteArray& l : body)
            if (l.startsWith('.'))
                l.remove(0, 1);
        const qsizetype blank = body.indexOf(QByteArray());
        const QByteArrayList head = body.mid(0, blank);
        if (blank < 0 || !head.contains("From: ann@x.org") || !head.contains("To: bob@y.org")
            || !head.contains("Subject: hi") || !head.contains("MIME-Version: 1.0")
            || !head.contains("Content-Type: text/plain; charset=UTF-8") || !head.value(0).startsWith("Date: "))
            fuzz::Fail("the message headers are not as given", body.size(), blank);
        // The text comes back, in UTF-8 with CR LF line ends, from its transfer encoding.
        // (the CR LF before the closing dot ends the text's last line)
        const QByteArray encoded = body.mid(blank + 1).join("\r\n") + "\r\n";
        QByteArray decoded;
        if (head.contains("Content-Transfer-Encoding: base64")) {
            decoded = QByteArray(encoded).replace("\r\n", "").replace('\n', "").trimmed();
            decoded = QByteArray::fromBase64(decoded);
        } else if (head.contains("Content-Transfer-Encoding: quoted-printable")) {
            const QByteArray soft = QByteArray(encoded).replace("=\r\n", "");
            for (qsizetype k = 0; k < soft.size(); ++k) {
                if (soft[k] == '=' && k + 2 < soft.size()) {
                    decoded += char(soft.mid(k + 1, 2).toInt(nullptr, 16));
                    k += 2;
                } else {
                    decoded += soft[k];
                }
            }
        } else if (head.contains("Content-Transfer-Encoding: 7bit")) {
            decoded = encoded;
        } else {
            fuzz::Fail("the message names no transfer encoding", body.size(), 0);
        }
        const QByteArray expected = linesOf(smtp.MessageText.toUtf8()).join("\r\n");
        if (!decoded.startsWith(expected))
            fuzz::Fail("the message text lost or changed a line", decoded.size(), expected.size());
        textSent = true;
        i = end + 1;
    }
    if (i < lines.size() && lines[i] == "QUIT")
        ++i;
    if (i != lines.size())
        fuzz::Fail("the client sent a command out of order or after QUIT", i, lines.size());
    if (code == cSmtp::Delivered && !(textSent && lines.endsWith("QUIT")))
        fuzz::Fail("delivered without the text and QUIT", code, 0);
    if ((code == cSmtp::Delivered || code == cSmtp::ServerClosed) && smtp.status() != QLatin1String("Message sent"))
        fuzz::Fail("the status does not say what became of the message", code, 0);
    platform::SetProgramFolderOverride(QString());
    return 0;
}
