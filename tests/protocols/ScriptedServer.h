// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QPointer>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslSocket>
#include <QTcpServer>
#include <QTimer>
#include <functional>

#include "TestSupport.h"

using testing_support::waitUntil;

// A server on a free loopback port that plays one scenario with the first client to connect.
// Steps, in order:
//   "S: text"  send text and CR LF
//   "S| text"  send text alone; the server's next step follows after a pause, as a separate segment
//   "S* text"  send text one byte per pause (a trickling server)
//   "C: text"  the client's next line must be text and CR LF, byte for byte
//   "C~ regex" the client's next line must match the regular expression as a whole
//   "CLOSE"    close the connection
//   "TLS"      the server starts TLS (after useTls); the next steps run once it is up
// When the steps run out the server stays silent with the connection open. A client line that
// comes before the server's reply to the previous one, or after the last step, is a fault.
class ScriptedListener : public QTcpServer
{
public:
    bool tls = false;

protected:
    void incomingConnection(qintptr descriptor) override;
};

class ScriptedServer : public QObject
{
public:
    explicit ScriptedServer(QList<QByteArray> steps, int pauseMs = 5);
    ~ScriptedServer() override;

    // Speaks TLS with this certificate: from the first byte when implicit, else from a "TLS" step.
    void useTls(const QSslCertificate& certificate, const QSslKey& key, bool implicit);

    quint16 port() const { return server_.serverPort(); }
    // Every step played and every client line as expected.
    bool scenarioDone() const { return next_ == steps_.size() && faults_.isEmpty(); }
    QString report() const;
    bool clientGone() const { return connected_ && !client_; }

private:
    void onConnection();
    void onClientData();
    void play();
    void startTls();
    void write(const QByteArray& bytes);

    ScriptedListener server_;
    bool implicitTls_ = false;
    QSslConfiguration tlsConfig_;
    QPointer<QTcpSocket> client_;
    bool connected_ = false;
    QList<QByteArray> steps_;
    qsizetype next_ = 0;
    int pauseMs_;
    bool paused_ = false;
    bool stopped_ = false;
    QByteArray trickling_;
    QTimer trickleTimer_;
    QByteArray inbox_;
    QStringList faults_;
};
