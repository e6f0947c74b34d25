// SPDX-License-Identifier: GPL-3.0-or-later
#include "service/HttpFront.h"

#include "service/LoginDesk.h"

#include <QDateTime>
#include <QHttpServerRequest>
#include <QHttpServerResponder>

namespace {

// Log fields come from outside: no line breaks or control characters, and a bounded length.
QString Printable(const QString& text)
{
    QString out = text.left(80);
    for (QChar& c : out) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            c = u'?';
    }
    return out;
}

} // namespace

HttpFront::HttpFront(LoginDesk& desk, QFile* log, QObject* parent) : QAbstractHttpServer(parent), desk_(desk), log_(log)
{ }

QByteArray HttpFront::page(const QString& title)
{
    return "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>" + title.toHtmlEscaped().toUtf8()
           + "</title></head><body></body></html>\n";
}

bool HttpFront::handleRequest(const QHttpServerRequest& request, QTcpSocket* socket)
{
    const QString peer = request.remoteAddress().toString();
    QHttpServerResponder responder = makeResponder(request, socket);
    const QString path = request.url().path();
    if (request.method() != QHttpServerRequest::Method::Get || !path.endsWith(u'/' + QLatin1String(kScript))) {
        logLine(peer, QStringLiteral("not found: %1").arg(Printable(path)));
        responder.write(page(QStringLiteral("not found")), "text/html; charset=utf-8",
                        QHttpServerResponder::StatusCode::NotFound);
        return true;
    }
    const LoginDesk::Answer answer = desk_.answer(request.query(), request.remoteAddress());
    logLine(peer, QStringLiteral("function=%1 uid=%2 %3")
                      .arg(answer.function)
                      .arg(Printable(answer.uid), Printable(answer.outcome)));
    responder.writeStatusLine();
    responder.writeHeader("Content-Type", "text/html; charset=utf-8");
    responder.writeHeader("Cache-Control", "no-store");
    const QByteArray body = page(answer.title);
    responder.writeHeader("Content-Length", QByteArray::number(body.size()));
    responder.writeBody(body);
    return true;
}

void HttpFront::missingHandler(const QHttpServerRequest& request, QTcpSocket* socket)
{
    makeResponder(request, socket).write(QHttpServerResponder::StatusCode::NotFound);
}

void HttpFront::logLine(const QString& peer, const QString& what)
{
    if (!log_)
        return;
    const QString line = QDateTime::currentDateTimeUtc().toString(Qt::ISODate) + u' ' + peer + u' ' + what + u'\n';
    log_->write(line.toUtf8());
    log_->flush();
}
