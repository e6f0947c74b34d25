// SPDX-License-Identifier: GPL-3.0-or-later
#include "RealPeers.h"
#include "TestCertificates.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <functional>
#include <stdexcept>
#include <string_view>
#include <sys/socket.h>
#include <unistd.h>

namespace {

const QString peersDir = QStringLiteral(KORVALEN_SOURCE_DIR "/tests/peers/");
const QString folderPrefix = QStringLiteral("korvalen-peers-");

[[noreturn]] void fail(const QString& what)
{
    throw std::runtime_error(what.toStdString());
}

// Runs pop3-server; its error output becomes the exception text.
QByteArray pop3Server(const QStringList& args)
{
    QProcess p;
    p.start(QStringLiteral("bash"), QStringList{peersDir + "pop3-server"} + args);
    if (!p.waitForFinished(30000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        p.kill();
        p.waitForFinished();
        fail("pop3-server " + args.value(0) + " failed: " + QString::fromLocal8Bit(p.readAllStandardError()).trimmed());
    }
    return p.readAllStandardOutput();
}

quint16 freePort()
{
    return testing_support::FreeLoopbackPort(SOCK_STREAM);
}

// A zombie counts as gone: here an orphan may wait long to be reaped.
bool running(const QByteArray& pid)
{
    QFile stat("/proc/" + pid + "/stat");
    if (!stat.open(QIODevice::ReadOnly))
        return false;
    const QByteArray line = stat.readAll();
    const char state = line.mid(line.lastIndexOf(')') + 2, 1).at(0);
    return state != 'Z' && state != 'X';
}

// Servers left behind by a test program that crashed are stopped and their folders removed.
void removeOrphans()
{
    const QDir temp = QDir::temp();
    for (const QString& name : temp.entryList({folderPrefix + "*"}, QDir::Dirs)) {
        QFile owner(temp.filePath(name + "/owner"));
        if (!owner.open(QIODevice::ReadOnly))
            continue;
        const QByteArray pid = owner.readAll().trimmed();
        if (pid.toInt() <= 0 || running(pid))
            continue;
        QProcess::execute(QStringLiteral("bash"), {peersDir + "pop3-server", "stop", temp.filePath(name + "/pop3")});
        QDir(temp.filePath(name)).removeRecursively();
    }
}

class StopPeersAtEnd : public ::testing::Environment
{
public:
    static inline std::function<void()> stop;
    void TearDown() override
    {
        if (stop)
            stop();
    }
};
[[maybe_unused]] const auto* stopPeersAtEnd = ::testing::AddGlobalTestEnvironment(new StopPeersAtEnd);

} // namespace

RealPeers& RealPeers::instance()
{
    // After a failed start every later test fails with the same message, without retrying.
    static std::string failure;
    if (!failure.empty())
        throw std::runtime_error(failure);
    try {
        static RealPeers peers;
        return peers;
    } catch (const std::exception& e) {
        failure = e.what();
        throw;
    }
}

RealPeers::RealPeers()
{
    try {
        start();
    } catch (...) {
        stop();
        throw;
    }
    StopPeersAtEnd::stop = [this] { stop(); };
}

RealPeers::~RealPeers()
{
    stop();
}

void RealPeers::start()
{
    removeOrphans();
    dir_ = std::make_unique<QTemporaryDir>(QDir::temp().filePath(folderPrefix + "XXXXXX"));
    if (!dir_->isValid())
        fail("cannot create a folder for the test servers: " + dir_->errorString());
    // Dovecot's login and mail processes run as other users and must reach their files.
    QFile::setPermissions(dir_->path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup
                                            | QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther);
    QFile owner(dir_->filePath("owner"));
    if (!owner.open(QIODevice::WriteOnly) || owner.write(QByteArray::number(::getpid())) <= 0)
        fail("cannot write " + owner.fileName());
    owner.close();

    const TestCertificates::Identity& tls = TestCertificates::instance().good();
    // Both start at once: the sink while Dovecot comes up.
    sink_ = std::make_unique<QProcess>();
    sink_->setStandardErrorFile(dir_->filePath("sink.log"));
    sink_->start(QStringLiteral("/usr/bin/python3"),
                 {peersDir + "smtp-sink.py", dir_->filePath("sent"), "--exit-on-eof", "--tls", tls.certFile,
                  tls.keyFile, "--auth", QString("alice:") + password, "--reject-rcpt", rejectedRecipient});

    for (int attempt = 1;; ++attempt) {
        const quint16 port = freePort();
        const quint16 tlsPort = freePort();
        try {
            pop3Server({"start", dir_->filePath("pop3"), QString::number(port), "--tls", tls.certFile, tls.keyFile,
                        QString::number(tlsPort), QString("alice:") + password, QString("bob:") + password});
            pop3Port_ = port;
            pop3TlsPort_ = tlsPort;
            break;
        } catch (const std::exception& e) {
            // Another program may have taken the port meanwhile.
            if (attempt == 3 || std::string_view(e.what()).find("not installed") != std::string_view::npos)
                throw;
        }
    }

    if (!sink_->waitForStarted(10000))
        fail("cannot run /usr/bin/python3 for the SMTP sink: " + sink_->errorString());
    while (!sink_->canReadLine() && sink_->waitForReadyRead(10000)) { }
    const QByteArray ready = sink_->readLine().trimmed();
    if (!ready.startsWith("ready ")) {
        QFile log(dir_->filePath("sink.log"));
        log.open(QIODevice::ReadOnly);
        fail("SMTP sink did not start: " + QString::fromLocal8Bit(log.readAll()).trimmed());
    }
    const QList<QByteArray> ports = ready.mid(6).split(' ');
    smtpPort_ = ports.value(0).toUShort();
    smtpStartTlsPort_ = ports.value(1).toUShort();
    smtpTlsPort_ = ports.value(2).toUShort();
}

void RealPeers::stop()
{
    if (sink_) {
        sink_->terminate();
        if (!sink_->waitForFinished(3000)) {
            sink_->kill();
            sink_->waitForFinished();
        }
        sink_.reset();
    }
    if (dir_) {
        if (pop3Port_)
            QProcess::execute(QStringLiteral("bash"), {peersDir + "pop3-server", "stop", dir_->filePath("pop3")});
        dir_.reset();
    }
    pop3Port_ = smtpPort_ = pop3TlsPort_ = smtpStartTlsPort_ = smtpTlsPort_ = 0;
    StopPeersAtEnd::stop = nullptr;
}

QString RealPeers::fixture(const QString& name)
{
    return QStringLiteral(KORVALEN_SOURCE_DIR "/tests/fixtures/mailbox/") + name;
}

void RealPeers::fill(const QString& user, const QStringList& files)
{
    QStringList args{"fill", dir_->filePath("pop3"), user};
    for (const QString& f : files)
        args << (QDir::isAbsolutePath(f) ? f : fixture(f));
    pop3Server(args);
}

void RealPeers::fillMessages(const QString& user, const QList<QByteArray>& messages)
{
    QTemporaryDir scratch;
    QStringList files;
    for (const QByteArray& m : messages) {
        files << scratch.filePath(QString::number(files.size()) + ".eml");
        QFile f(files.last());
        if (!f.open(QIODevice::WriteOnly) || f.write(m) != m.size())
            fail("cannot write " + f.fileName());
    }
    fill(user, files);
}

void RealPeers::clear(const QString& user)
{
    pop3Server({"clear", dir_->filePath("pop3"), user});
}

QString RealPeers::maildir(const QString& user) const
{
    return dir_->filePath("pop3/home/" + user + "/Maildir/");
}

QStringList RealPeers::mailboxFiles(const QString& user) const
{
    // Dovecot moves new mail to cur/ keeping the start of the name, which gives the order.
    QStringList names;
    for (const QString& sub : {QStringLiteral("new/"), QStringLiteral("cur/")})
        for (const QString& f : QDir(maildir(user) + sub).entryList(QDir::Files))
            names << sub + f;
    std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) { return a.mid(4) < b.mid(4); });
    for (QString& n : names)
        n.prepend(maildir(user));
    return names;
}

QList<RealPeers::SentMessage> RealPeers::sentMessages() const
{
    QList<SentMessage> sent;
    QFile log(dir_->filePath("sent/messages.jsonl"));
    if (!log.open(QIODevice::ReadOnly))
        return sent;
    while (!log.atEnd()) {
        const QJsonObject o = QJsonDocument::fromJson(log.readLine()).object();
        SentMessage m;
        m.helo = o["helo"].toString();
        m.mailFrom = o["mail_from"].toString();
        for (const auto& r : o["rcpt_tos"].toArray())
            m.rcptTos << r.toString();
        m.data = o["data"].toString().toLatin1();
        m.tls = o["tls"].toBool();
        m.login = o["login"].toString();
        sent << m;
    }
    return sent;
}

void RealPeers::clearSent()
{
    QDir sent(dir_->filePath("sent"));
    for (const QString& f : sent.entryList(QDir::Files))
        sent.remove(f);
}
