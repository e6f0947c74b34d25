// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// korvalen-service started on a free loopback port for one test, with its own users, keys and
// log in a throwaway folder; stopped by its own pid when the test ends.
#include "LoginKeys.h"
#include "TestSupport.h"

#include <QProcess>
#include <QRegularExpression>

class ServiceProcess
{
public:
    ServiceProcess() { folder_.write("keys.ini", login_keys::ServiceKeyFile()); }
    ~ServiceProcess()
    {
        serve_.terminate();
        if (serve_.state() != QProcess::NotRunning && !serve_.waitForFinished(5000))
            serve_.kill();
    }

    bool addUser(const QString& name, const QString& password)
    {
        QProcess p;
        p.start(QStringLiteral(KORVALEN_SERVICE), {"add-user", name, "--db", db(), "--password", password});
        p.closeWriteChannel();
        return p.waitForFinished(30000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    }
    // Starts serving; the port it listens on, 0 when it did not start.
    quint16 serve(const QStringList& more = {})
    {
        serve_.start(QStringLiteral(KORVALEN_SERVICE), QStringList{"serve", "--listen", "127.0.0.1:0", "--db", db(),
                                                                   "--keys", folder_.file("keys.ini"), "--log", log()}
                                                           + more);
        if (!testing_support::waitUntil([&] { return serve_.canReadLine() || serve_.state() == QProcess::NotRunning; },
                                        15000))
            return 0;
        const QString line = QString::fromUtf8(serve_.readLine());
        const auto m = QRegularExpression(":(\\d+) ").match(line);
        return m.hasMatch() ? quint16(m.captured(1).toUInt()) : 0;
    }
    QString base(quint16 port, const char* scheme = "http") const
    {
        return QStringLiteral("%1://127.0.0.1:%2/kv/").arg(QString::fromLatin1(scheme)).arg(port);
    }
    QByteArray logText() const { return testing_support::readFile(log()); }
    QString db() const { return folder_.file("users.db"); }
    QString log() const { return folder_.file("service.log"); }

private:
    testing_support::TempFolder folder_;
    QProcess serve_;
};
