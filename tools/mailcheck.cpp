// SPDX-License-Identifier: GPL-3.0-or-later
// korvalen-mailcheck: runs one mail check, fetch or delete headless and prints what the
// engine does as it happens. Handy for trying an account and for watching the engine work.
#include "mail/StandaloneMail.h"
#include "mail/SpamList.h"
#include "mail/checkmailClass.h"
#include "platform/ProgramFolder.h"
#include "platform/ProgramWide.h"
#include "platform/Keyring.h"
#include "platform/SettingsStore.h"
#include "platform/SystemLocale.h"
#include "app/SettingKeys.h"
#include "protocols/CertificateTrust.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QTcpSocket>
#include <QTimer>

#include <cstdio>

namespace {

// One printed value: a line break, a field separator or the escape itself from outside
// (a subject, a sender, a server's reply) must not break a line or a row.
QString escaped(const QString& value)
{
    QString out;
    out.reserve(value.size());
    for (const QChar c : value) {
        switch (c.unicode()) {
        case '\\': out += QStringLiteral("\\\\"); break;
        case '\r': out += QStringLiteral("\\r"); break;
        case '\n': out += QStringLiteral("\\n"); break;
        case '|': out += QStringLiteral("\\|"); break;
        default: out += c;
        }
    }
    return out;
}

void say(const QString& line)
{
    std::printf("%s\n", qPrintable(line));
    std::fflush(stdout);
}

constexpr const char* kNoAccount = "give the POP3 server, user and password (options or --settings; see --help)";

int fail(const QString& message)
{
    std::fprintf(stderr, "korvalen-mailcheck: %s\n", qPrintable(message));
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    // Mail in Chinese is converted for the system's language, as in the program.
    platform::Globals().lcid = platform::SystemLcid();
    QCommandLineParser p;
    p.setApplicationDescription(
        "Checks a POP3 mailbox the way the program does and prints each list row, the counts and\n"
        "every log line. The account comes from a settings file or from the options; the\n"
        "password may also come from the KORVALEN_PASSWORD environment variable.\n"
        "Chinese subjects are shown as the program shows them in the system's language.\n"
        "Each line is one record: in what the mail or the server gave, \\ is written \\\\,\n"
        "CR \\r, LF \\n and | \\|, so a row's fields split at \" | \".");
    p.addHelpOption();
    p.addOptions({
        {"settings", "Read the account from this settings file (the program's own by default).", "file"},
        {"host", "POP3 server.", "name"},
        {"port", "POP3 port (995 with TLS, else 110).", "n"},
        {"security",
         "POP3 protection: none, starttls or tls. By default the settings file's, or with\n"
         "--host: tls on port 995, else none.",
         "kind"},
        {"user", "POP3 user name.", "name"},
        {"password", "POP3 password.", "text"},
        {"kind", "1: first check (existing mail is not new), 2: timed check (default 1).", "n"},
        {"known", "Messages an earlier check already listed: a timed check lists only those after them.", "n"},
        {"fetch", "Fetch message n in full and print its text.", "n"},
        {"delete", "Delete message n on the server.", "n"},
        {"spam-folder", "Read spam.txt and spamfrom.txt from this folder (default: the program folder).", "dir"},
        {"auto-reply", "Answer new mail of a timed check automatically."},
        {"smtp-host", "SMTP server for automatic replies.", "name"},
        {"smtp-port", "SMTP port (587 with STARTTLS, 465 with TLS, else 25).", "n"},
        {"smtp-security",
         "SMTP protection: none, starttls or tls. By default the settings file's, or\n"
         "with --smtp-host: tls on port 465, starttls on 587, else none.",
         "kind"},
        {"smtp-user", "SMTP user for the login (none: no login).", "name"},
        {"smtp-password", "SMTP password (or KORVALEN_SMTP_PASSWORD).", "text"},
        {"trust",
         "Trust the certificate with this SHA-256 fingerprint (as a refusal prints it) for the\n"
         "POP3 and SMTP servers, and remember it in the settings file.",
         "fingerprint"},
        {"reply-text", "Text of the automatic reply.", "text"},
        {"log", "Also append the log lines to kv_.log in the program folder."},
        {"no-pause", "Skip the two-second pause the log makes after each line."},
        {"timeout", "Seconds of server silence before giving up (40).", "n"},
    });
    p.process(app);

    // The program's own settings keep their passwords in the keyring where one runs.
    platform::Keyring keyring;
    if (!p.isSet("settings"))
        platform::SettingsStore::SetProgramKeyring(&keyring);
    std::unique_ptr<platform::SettingsStore> store =
        p.isSet("settings") ? std::make_unique<platform::SettingsStore>(p.value("settings"))
                            : std::make_unique<platform::SettingsStore>();
    const auto setting = [&](const char* option, const char* key, const char* byDefault) {
        return p.isSet(option) ? p.value(option) : store->GetSetting(key, byDefault);
    };

    FixedMailHost host;
    checkmailClass engine;
    engine.ServerName = setting("host", "popserver", "");
    engine.UserName = setting("user", "EmailUID", "");
    engine.Password = p.isSet("password")                              ? p.value("password")
                      : qEnvironmentVariableIsSet("KORVALEN_PASSWORD") ? qEnvironmentVariable("KORVALEN_PASSWORD")
                                                                       : QString();
    // Security and ports: the options, else the settings file with its own defaults.
    const keys::MailDefaults defaults(*store);
    bool ok = true;
    const auto security = [&](const char* option, MailSecurity stored) {
        const MailSecurity chosen = MailSecurityFromText(p.value(option), MailSecurity(-1));
        ok = !p.isSet(option) || chosen != MailSecurity(-1);
        return p.isSet(option) ? chosen : stored;
    };
    // A server named on the command line is protected as its port says, unless told.
    const auto byPort = [&](const char* portOption, const char* hostOption, MailSecurity stored) {
        if (!p.isSet(hostOption))
            return stored;
        const int port = p.value(portOption).toInt();
        return port == 995 || port == 465 ? MailSecurity::Tls
               : port == 587              ? MailSecurity::StartTls
                                          : MailSecurity::None;
    };
    engine.ServerSecurity = security("security", byPort("port", "host", defaults.popSecurity(*store)));
    if (!ok)
        return fail("--security is none, starttls or tls");
    host.security = security("smtp-security", byPort("smtp-port", "smtp-host", defaults.smtpSecurity(*store)));
    if (!ok)
        return fail("--smtp-security is none, starttls or tls");
    const bool popPortByChoice = p.isSet("security") || p.isSet("host");
    engine.ServerPort = (p.isSet("port")   ? p.value("port")
                         : popPortByChoice ? QString::number(keys::PopPortFor(engine.ServerSecurity))
                                           : defaults.popPort(*store))
                            .toInt(&ok);
    if (!ok || engine.ServerPort < 1 || engine.ServerPort > 65535)
        return fail("the POP3 port must be a number from 1 to 65535");
    if (engine.ServerName.isEmpty() || engine.UserName.isEmpty())
        return fail(kNoAccount);
    host.server = setting("smtp-host", "smtpserver", "");
    host.port = (p.isSet("smtp-port")                               ? p.value("smtp-port")
                 : p.isSet("smtp-security") || p.isSet("smtp-host") ? QString::number(keys::SmtpPortFor(host.security))
                                                                    : defaults.smtpPort(*store))
                    .toInt();
    host.user = setting("smtp-user", keys::SmtpUID.name, "");
    host.password = p.isSet("smtp-password") ? p.value("smtp-password")
                    : qEnvironmentVariableIsSet("KORVALEN_SMTP_PASSWORD")
                        ? qEnvironmentVariable("KORVALEN_SMTP_PASSWORD")
                        : QString(); // from the store once its keyring is open
    const QString popServer = checkmailClass::ServerIdentity(engine.ServerName, engine.ServerPort);
    const QString smtpServer = checkmailClass::ServerIdentity(host.server, host.port);
    for (const QString& server : {popServer, smtpServer})
        host.trusted.insert(server, keys::TrustedCertificate(*store, server));
    if (p.isSet("trust")) {
        const QString print = CertificateTrust::NormalizedFingerprint(p.value("trust"));
        if (print.isEmpty())
            return fail("--trust wants a SHA-256 fingerprint: 64 hex digits, colons allowed");
        for (const QString& server : {popServer, smtpServer}) {
            if (server.startsWith(QLatin1Char(':')))
                continue; // no server of that kind
            host.trusted.insert(server, print);
            if (!keys::TrustCertificate(*store, server, print))
                return fail("cannot remember the certificate in " + store->fileName() + ": " + store->lastError());
            say("trusted: " + print + " for " + server);
        }
    }
    host.reply = setting("reply-text", "autoreplymessage", "");
    engine.AutoReplyOn = p.isSet("auto-reply");
    engine.writelog(p.isSet("log"));
    const int timeout = p.isSet("timeout") ? p.value("timeout").toInt(&ok) : 40;
    if (!ok || timeout < 1 || timeout > 32767)
        return fail("--timeout wants a number of seconds from 1 to 32767");
    engine.PopTimeoutTicks = int16_t(timeout);

    const QString spamFolder = p.isSet("spam-folder") ? p.value("spam-folder") : platform::ProgramFolder();
    host.subjects = spam::ReadListFile(QDir(spamFolder).filePath("spam.txt"));
    host.senders = spam::ReadListFile(QDir(spamFolder).filePath("spamfrom.txt"));

    int kind = p.isSet("kind") ? p.value("kind").toInt(&ok) : 1;
    if (!ok || (kind != 1 && kind != 2))
        return fail("--kind is 1 or 2");
    int message = 0;
    for (const char* option : {"fetch", "delete"}) {
        if (!p.isSet(option))
            continue;
        message = p.value(option).toInt(&ok);
        if (!ok || message < 1 || message > 32767)
            return fail(QString("--%1 wants a message number from 1 to 32767").arg(option));
        kind = option == QLatin1String("fetch") ? checkmailClass::FetchOne : checkmailClass::DeleteOne;
    }

    engine.PauseAfterLog = !p.isSet("no-pause");
    if (p.isSet("known")) {
        const int known = p.value("known").toInt(&ok);
        if (!ok || known < 0 || known > 32767)
            return fail("--known wants a number of messages from 0 to 32767");
        engine.ResetMailCount(known);
    }

    MailControls controls;
    controls.lendTo(engine, host);
    MailList& list = controls.list;

    QObject::connect(&engine, &checkmailClass::DebugPrint, [](const QString& t) { say("log: " + escaped(t)); });
    QObject::connect(&list, &MailList::rowsInserted, [&](const QModelIndex&, int first, int last) {
        for (int r = first; r <= last; ++r)
            say(QString("row %1: %2 | %3 | %4 | %5")
                    .arg(r + 1)
                    .arg(escaped(list.text(r, 0)), escaped(list.text(r, 1)), escaped(list.text(r, 2)),
                         escaped(list.text(r, 3))));
    });
    int result = 0;
    QObject::connect(&engine, &checkmailClass::CheckmailFinish, [&](int32_t mode) {
        say(QString("counts: %1 listed, %2 new").arg(engine.KnownCount()).arg(engine.NewMailCount));
        if (mode == checkmailClass::FetchOne)
            say("text: " + escaped(engine.DisplayText));
        if (engine.LastErrorNumber != 0) {
            say(QString("error: %1 (%2)").arg(escaped(engine.DisplayText)).arg(engine.LastErrorNumber));
            result = 1;
        }
        if (!engine.LastFailure().isEmpty()) {
            say("why: " + escaped(engine.LastFailure()));
            result = 1;
        }
        // An automatic reply may still be on its way.
        auto* whenIdle = new QTimer(&app);
        whenIdle->setSingleShot(true);
        QObject::connect(whenIdle, &QTimer::timeout, &app, [&, whenIdle] {
            if (engine.MyStatus() == checkmailClass::Idle && !engine.Sending())
                app.exit(result);
            else
                whenIdle->start(50);
        });
        whenIdle->start(0);
    });

    const auto start = [&] {
        if (engine.Password.isEmpty())
            engine.Password = store->GetSetting("EmailPw", "");
        if (host.password.isEmpty())
            host.password = keys::Read(*store, keys::SmtpPw);
        if (engine.Password.isEmpty()) {
            app.exit(fail(kNoAccount));
            return;
        }
        if (kind == checkmailClass::FetchOne)
            engine.RetrieveMailInServer(int16_t(message));
        else if (kind == checkmailClass::DeleteOne)
            engine.DelMailInServer(int16_t(message));
        else
            engine.CheckMail(kind);
    };
    if (p.isSet("settings") || !engine.Password.isEmpty())
        QTimer::singleShot(0, start);
    else
        keyring.Open(store->fileName(), start);
    return app.exec();
}
