// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QAbstractHttpServer>
#include <QFile>

class LoginDesk;

// The service's web front: GET .../QXLogin.php is answered by the login desk with an HTML page
// whose title is the answer; every request is written to the log (time, peer, function, user,
// outcome). Anything else gets a plain "not found" page.
class HttpFront : public QAbstractHttpServer
{
    Q_OBJECT
public:
    static constexpr const char* kScript = "QXLogin.php";

    HttpFront(LoginDesk& desk, QFile* log, QObject* parent = nullptr);

    // The page that carries a title.
    static QByteArray page(const QString& title);

protected:
    bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) override;
    void missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) override;

private:
    void logLine(const QString& peer, const QString& what);

    LoginDesk& desk_;
    QFile* log_;
};
