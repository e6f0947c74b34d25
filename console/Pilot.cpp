// SPDX-License-Identifier: GPL-3.0-or-later
#include "console/Pilot.h"

#include "console/ConsoleHost.h"
#include "platform/SettingsStore.h"
#include "protocols/cSmtp.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QTcpSocket>
#include <QTextCursor>
#include <QTimer>
#include <QVBoxLayout>

namespace {

constexpr const char* kFromKey = "txtFromEmailAddress";

// Label indices of the compose page and the status line.
constexpr int kToLabel = 2;
constexpr int kFromLabel = 3;
constexpr int kSubjectLabel = 4;
constexpr int kMessageLabel = 5;
constexpr int kStatusLabel = 8;

constexpr char16_t kBackspace = 8;
constexpr char16_t kReturn = 13;

} // namespace

Pilot::Pilot(platform::SettingsStore& store, ConsoleHost& host, QWidget* parent)
    : QWidget(parent, Qt::Window), store_(store), host_(host)
{
    setWindowTitle(QStringLiteral("Korvalen"));

    SMTPsock = new QTcpSocket(this);
    SmtpTimeout = new QTimer(this);
    SmtpTimeout->setInterval(1000);
    ObjSmtp = new cSmtp(this);
    connect(ObjSmtp, &cSmtp::Sending, this, &Pilot::ObjSmtp_Sending);
    connect(ObjSmtp, &cSmtp::ServerClose, this, &Pilot::ObjSmtp_ServerClose);

    auto* column = new QVBoxLayout(this);
    // Function buttons in index order; the others join this row when their actions exist.
    auto* functions = new QHBoxLayout;
    AFunction[kSendButton] = new QPushButton(QStringLiteral("Send"), this);
    connect(AFunction[kSendButton], &QPushButton::clicked, this, [this] { AFunction_Click(kSendButton); });
    functions->addWidget(AFunction[kSendButton]);
    functions->addStretch();
    column->addLayout(functions);

    Panels = new QStackedWidget(this);
    ComposePage = buildComposePage();
    Panels->addWidget(ComposePage);
    column->addWidget(Panels, 1);

    auto* status = new QHBoxLayout;
    PLabel[kStatusLabel] = new QLabel(QStringLiteral("Status"), this);
    StatusLabel = new QLabel(this);
    StatusLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    status->addWidget(PLabel[kStatusLabel]);
    status->addWidget(StatusLabel, 1);
    column->addLayout(status);

    txtFromEmailAddress->setText(store_.GetSetting(QString::fromLatin1(kFromKey), QString()));
    resize(460, 420);
}

Pilot::~Pilot() = default;

QWidget* Pilot::buildComposePage()
{
    auto* page = new QWidget(this);
    auto* grid = new QGridLayout(page);
    auto addLabel = [&](int index, const char* english, int row) {
        PLabel[index] = new QLabel(QString::fromLatin1(english), page);
        grid->addWidget(PLabel[index], row, 0, Qt::AlignTop);
    };
    txtToEmailAddress = new QLineEdit(page);
    txtFromEmailAddress = new QLineEdit(page);
    txtMailSubject = new QLineEdit(page);
    RTf = new QPlainTextEdit(page);
    addLabel(kToLabel, "To", 0);
    grid->addWidget(txtToEmailAddress, 0, 1);
    addLabel(kFromLabel, "From", 1);
    grid->addWidget(txtFromEmailAddress, 1, 1);
    addLabel(kSubjectLabel, "Subject", 2);
    grid->addWidget(txtMailSubject, 2, 1);
    addLabel(kMessageLabel, "Message", 3);
    grid->addWidget(RTf, 3, 1);
    grid->setRowStretch(3, 1);
    return page;
}

void Pilot::SetLabelCaption(int index, const QString& text)
{
    if (index >= 0 && index < kLabels && PLabel[index])
        PLabel[index]->setText(text);
}

void Pilot::SetButtonText(int index, const QString& text)
{
    if (index < 0 || index >= kFunctionButtons || !AFunction[index])
        return;
    if (index <= 2)
        AFunction[index]->setToolTip(text);
    else
        AFunction[index]->setText(text);
}

void Pilot::showMess(const QString& text)
{
    StatusLabel->setText(text);
}

QString Pilot::statusText() const
{
    return StatusLabel->text();
}

void Pilot::showCompose()
{
    Panels->setCurrentWidget(ComposePage);
    show();
    raise();
    activateWindow();
}

void Pilot::AFunction_Click(int index)
{
    if (index == kSendButton)
        sendMail();
}

// ---- sending

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

// ---- keys dictated on the telephone

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

// ---- closing

void Pilot::Form_Unload()
{
    store_.SaveSetting(QString::fromLatin1(kFromKey), txtFromEmailAddress->text());
}

void Pilot::closeEvent(QCloseEvent* event)
{
    Form_Unload();
    QWidget::closeEvent(event);
}
