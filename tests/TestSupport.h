// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QProcessEnvironment>
#include <QStringList>
#include <QString>
#include <QtGlobal>
#include <QTemporaryDir>
#include <functional>

class QWidget;

namespace testing_support {

QString sourceDir();

// Runs the event loop until done() holds or the time is up, without sleeping in between.
bool waitUntil(const std::function<bool()>& done, int timeoutMs = 10000);

// A loopback port free at the moment of asking, for a socket of the type (SOCK_STREAM, SOCK_DGRAM);
// 0 when none could be had.
quint16 FreeLoopbackPort(int socketType);

// Claims a port for this test process until it exits, so that tests running side by side never
// pick the same one between choosing it and binding it. False when another process holds it.
bool ClaimPort(quint16 port);

// The bytes of a file; empty when it cannot be read.
QByteArray readFile(const QString& path);

// One run of a program to its end: exitCode is -1 when it crashed or did not end in time.
struct ProgramRun
{
    int exitCode = -1;
    QByteArray out, err;
};
ProgramRun runProgram(const QString& program, const QStringList& args, const QByteArray& input = {},
                      const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment(),
                      const QString& workDir = {});

// A throwaway folder that is removed when the test ends.
class TempFolder
{
public:
    TempFolder();
    QString path() const { return dir_.path(); }
    QString file(const QString& name) const { return dir_.filePath(name); }
    void write(const QString& name, const QByteArray& bytes) const;
    QByteArray read(const QString& name) const { return readFile(file(name)); }

private:
    QTemporaryDir dir_;
};

// Answers the next modal window of type T that opens: the action runs on it once it is shown.
void answerModal(std::function<bool(QWidget*)> action);
template <typename T, typename F> void answerNext(F action)
{
    answerModal([action](QWidget* w) {
        T* t = qobject_cast<T*>(w);
        if (t && t->isVisible())
            action(t);
        return t != nullptr && t->isVisible();
    });
}

} // namespace testing_support
