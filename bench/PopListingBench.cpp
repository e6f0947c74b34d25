// SPDX-License-Identifier: GPL-3.0-or-later
// korvalen-pop-bench: times one timed check of the mail engine against a POP3 server, from
// CheckMail to CheckmailFinish, and prints the time and the rows it listed. bench/pop-listing
// runs it next to other POP3 clients.
//
//   korvalen-pop-bench --host H --port P --user U --password PW [--rows FILE]
//
// Output, one line: "ms=<wall time> saved_ms=<until the memory file is on disk> cpu_ms=<processor time of this process
// meanwhile> peak_kb=<peak resident memory> rows=<list rows> new=<new mail count> error=<number>".
// --rows writes the listed rows (sender, subject, date; tab-separated, UTF-8) after the timing.
#include "mail/StandaloneMail.h"
#include "mail/checkmailClass.h"
#include "platform/ProgramFolder.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <ctime>

namespace {

// Peak resident memory of this process in KB (Linux), 0 where unknown.
long peakResidentKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    return 0;
}

int fail(const QString& message)
{
    std::fprintf(stderr, "korvalen-pop-bench: %s\n", qPrintable(message));
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCommandLineParser p;
    p.setApplicationDescription("Times one timed check (kind 2) of the mail engine.");
    p.addHelpOption();
    p.addOptions({
        {"host", "POP3 server (127.0.0.1).", "name", "127.0.0.1"},
        {"port", "POP3 port.", "n"},
        {"user", "POP3 user name.", "name"},
        {"password", "POP3 password.", "text"},
        {"rows", "Write the listed rows to this file.", "file"},
        {"timeout", "Seconds of server silence before giving up (40).", "n", "40"},
    });
    p.process(app);

    bool ok = false;
    const int port = p.value("port").toInt(&ok);
    if (!ok || port < 1 || port > 65535)
        return fail("--port wants a number from 1 to 65535");
    if (p.value("user").isEmpty() || p.value("password").isEmpty())
        return fail("give --user and --password");

    // Every run lists the mailbox as new: the engine's memory of listed mail starts empty.
    QTemporaryDir programFolder;
    platform::SetProgramFolderOverride(programFolder.path());

    FixedMailHost host; // signed in, no spam lists, no automatic replies
    checkmailClass engine;
    engine.ServerName = p.value("host");
    engine.ServerPort = port;
    engine.UserName = p.value("user");
    engine.Password = p.value("password");
    engine.AutoReplyOn = false;
    engine.writelog(false);
    engine.PopTimeoutTicks = int16_t(p.value("timeout").toInt());

    // The log pauses two seconds after each line; only the POP3 work is timed.
    engine.PauseAfterLog = false;

    MailControls controls;
    controls.lendTo(engine, host);
    MailList& list = controls.list;

    QElapsedTimer wall;
    qint64 elapsedNs = -1;
    std::clock_t cpuStart = 0, cpuEnd = 0;
    QObject::connect(&engine, &checkmailClass::CheckmailFinish, [&](int32_t) {
        elapsedNs = wall.nsecsElapsed();
        cpuEnd = std::clock();
        QTimer::singleShot(0, &app, [&] { app.exit(0); });
    });
    QTimer::singleShot(0, [&] {
        wall.start();
        cpuStart = std::clock();
        engine.CheckMail(checkmailClass::TimedCheck);
    });
    app.exec();
    // The memory file's write runs on beside the event loop after CheckmailFinish; the time
    // until it is on disk is shown beside the listing's.
    engine.FinishMemoryWrite();
    const qint64 savedNs = wall.nsecsElapsed();

    if (p.isSet("rows")) {
        QFile out(p.value("rows"));
        if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return fail("cannot write " + p.value("rows"));
        for (int r = 0; r < list.rowCount(); ++r) {
            const QString line = list.text(r, 0) + '\t' + list.text(r, 1) + '\t' + list.text(r, 2) + '\n';
            out.write(line.toUtf8());
        }
    }

    std::printf("ms=%.3f saved_ms=%.3f cpu_ms=%.3f peak_kb=%ld rows=%d new=%d error=%d\n", double(elapsedNs) / 1e6,
                double(savedNs) / 1e6, double(cpuEnd - cpuStart) * 1e3 / CLOCKS_PER_SEC, peakResidentKb(),
                list.rowCount(), int(engine.NewMailCount), int(engine.LastErrorNumber));
    return engine.LastErrorNumber == 0 && elapsedNs >= 0 ? 0 : 1;
}
