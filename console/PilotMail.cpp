// SPDX-License-Identifier: GPL-3.0-or-later
// The console's compose page: sending through its own SMTP client, and keys dictated on the
// telephone.
#include "console/Pilot.h"

#include "console/ConsoleHost.h"
#include "protocols/cSmtp.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextCursor>

namespace {

constexpr char16_t kBackspace = 8;
constexpr char16_t kReturn = 13;

} // namespace

void Pilot::sendMail()
{
    const QString to = txtToEmailAddress->text().trimmed();
    const QString from = txtFromEmailAddress->text().trimmed();
    if (to.isEmpty() || from.isEmpty()) {
        showMess(QStringLiteral("Enter both the To and the From address to send."));
        return;
    }
    if (sending_) {
        showMess(QStringLiteral("e mail is Busy, try later"));
        return;
    }
    ObjSmtp->setWsock(SMTPsock);
    ObjSmtp->setWtimeout(SmtpTimeout);
    ObjSmtp->Server = host_.smtpServer();
    ObjSmtp->SMTPPort = host_.smtpPort();
    ObjSmtp->SendTo = to;
    ObjSmtp->MailFrom = from;
    ObjSmtp->MessageSubject = txtMailSubject->text();
    ObjSmtp->MessageText = RTf->toPlainText();
    sending_ = true; // before Connect: a bad server ends the send within it
    ObjSmtp->Connect(0, QString());
}

void Pilot::ObjSmtp_Sending()
{
    showMess(QStringLiteral("E-mail Sending"));
}

void Pilot::ObjSmtp_ServerClose(int16_t code)
{
    sending_ = false;
    switch (code) {
    case cSmtp::Delivered:
    case cSmtp::ServerClosed: showMess(QStringLiteral("Send Complete")); break;
    case cSmtp::TimedOut:
    case cSmtp::NetworkError: showMess(QStringLiteral("Network Error")); break;
    case cSmtp::NotDelivered: showMess(QStringLiteral("Fail Send Email")); break;
    default: break;
    }
}

QString Pilot::applyDictatedKey(const QString& character)
{
    RTf->setFocus();
    QTextCursor cursor = RTf->textCursor();
    QString spoken;
    if (character.size() == 1 && character[0] == QChar(kBackspace)) {
        cursor.deletePreviousChar();
        spoken = QStringLiteral(" Erase");
    } else if (character.size() == 1 && character[0] == QChar(kReturn)) {
        cursor.insertText(QStringLiteral("\n"));
        spoken = QStringLiteral(" Enter");
    } else {
        QString typed;
        for (QChar c : character)
            if (c.category() != QChar::Other_Control)
                typed += c;
        if (typed.isEmpty())
            return {};
        cursor.insertText(typed);
        spoken = typed == QLatin1String(" ") ? QStringLiteral(" Space") : typed;
    }
    RTf->setTextCursor(cursor);
    return spoken;
}
