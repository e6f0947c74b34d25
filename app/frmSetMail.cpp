// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's side of the mail engine: check start and end, the counts caption, the
// spam lists and the action buttons that need no telephone.
#include "app/frmSet.h"

#include "app/LocalizedTexts.h"
#include "mail/SpamList.h"
#include "platform/CodePage.h"
#include "platform/ProgramFolder.h"
#include "platform/ProgramWide.h"
#include "platform/ShellOpen.h"
#include "platform/SystemLocale.h"
#include "platform/speech/SpeechVoice.h"
#include "telephony/ClsAudioControl.h"

#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSslSocket>
#include "mail/MailList.h"
#include <QTimer>
#include <QTreeView>
#include <QWindow>

using platform::Globals;
using telephony::ClsAudioControl;

namespace {

constexpr int kMailboxPage = 5;

QStringList entries(const QListWidget* list)
{
    QStringList out;
    for (int i = 0; i < list->count(); ++i)
        out.append(list->item(i)->text());
    return out;
}

} // namespace

void frmSet::connectMailEngine()
{
    if (MailObj)
        MailObj->Attach(*this, *this,
                        {ObjAudio.get(), [this] { return mailSocket(Popsock); }, PopTimer,
                         [this] { return mailSocket(SMTPsock); }, SmtpTimer, listModel});
}

// Plain or TLS, as each session asks; made when first needed, as the TLS library loads meanwhile.
QTcpSocket* frmSet::mailSocket(QTcpSocket*& socket)
{
    if (!socket)
        socket = new QSslSocket(this);
    return socket;
}

void frmSet::MailObj_CheckmailStart()
{
    const int mode = MailObj ? MailObj->Mode() : 0;
    showMess(mode == MailEngineLink::DeleteOne  ? LocalText("Main", "DeleteMail", "Delete E-mail")
             : mode == MailEngineLink::FetchOne ? LocalText("Main", "RetrieveMail", "Retrieve E-mail")
                                                : LocalText("Main", "CheckMail", "Check E-mail"));
    failurePanel_->clear();
    // Spam lists edited in their files meanwhile count from this check on.
    for (int list = 0; list < 2; ++list)
        if (spam::ReadListFile(spamFile(list)) != entries(list == 0 ? List1 : List2)) {
            reloadSpamLists();
            break;
        }
    Init_obj();
    if (ConsoleLink* console = Console())
        console->EnableMenu(false);
    EnableSettingPages(false);
    // A call that holds the countdown off knows whether it ran; the check takes that over.
    checkCountdownState_ = callHolding_ ? callCountdownState_ : CheckMailTimer->isActive();
    checkHolding_ = true;
    CheckMailTimer->stop();
}

void frmSet::MailObj_CheckmailFinish(int32_t mode)
{
    showMess(QString());
    // A call that still runs keeps the settings; its end gives them back.
    if (ConsoleLink* console = Console())
        console->EnableMenu(!callHolding_);
    EnableSettingPages(!callHolding_);

    MailEngineLink* engine = MailObj.get();
    const QString failure = engine ? engine->LastFailure() : QString();
    failurePanel_->setText(failure);
    failurePanel_->setToolTip(failure);
    showRefusedCertificate();
    if (mode == MailEngineLink::TimedCheck && engine && ObjAudio) {
        const bool callInProgress = ObjAudio->getStatus() != telephony::ClsAudioControl::Idle;
        if (!callInProgress) {
            // A threshold of 0 still wants some new mail.
            if (engine->NewMailCount() >= 1 && engine->NewMailCount() >= engine->AlertThreshold())
                engine->AlertUser();
        } else if (ObjAudio->getStatus() == telephony::ClsAudioControl::MenuSpeech) {
            const int total = listModel->rowCount();
            ObjAudio->SpecialSpeak(
                engine->NewMailCount() >= 1
                    ? QStringLiteral(" You have total %1 message and %2 new message.")
                          .arg(total)
                          .arg(engine->NewMailCount())
                    : QStringLiteral(" You have total %1 message. please enter message number, then press enter key")
                          .arg(total),
                false);
        }
    }
    if (mode == MailEngineLink::TimedCheck)
        announceNewMail();
    if (mode == MailEngineLink::DeleteOne) // the engine removed the deleted message's own row
        mailobj_showListViewCount();
    // A fetched message is read aloud to the caller, the simulated telephone or the list reading.
    if (mode == MailEngineLink::FetchOne && engine && ObjAudio) {
        const int line = ObjAudio->getPhoneMode();
        if (line == ClsAudioControl::SimulatedPhone || line == ClsAudioControl::ModemLine
            || line == ClsAudioControl::ListReading)
            engine->ReadFetchedMessage();
        else if (line == ClsAudioControl::NetPhone)
            netCallMessageFetched();
    }
    restoreCountdown(checkHolding_, checkCountdownState_, callHolding_);
}

QString frmSet::checkFailureText() const
{
    return failurePanel_->text();
}

QString frmSet::countsCaption() const
{
    const int count = listModel->rowCount();
    if (count == 0)
        return QStringLiteral("0 Messages");
    const MailEngineLink* engine = MailObj.get();
    const int selected = ListView1->currentIndex().isValid() ? ListView1->currentIndex().row() + 1 : 0;
    return QStringLiteral("%1/%2 Messages, and %3 New messages")
        .arg(selected)
        .arg(count)
        .arg(engine ? engine->NewMailCount() : 0);
}

void frmSet::mailobj_showListViewCount()
{
    frame[kMailboxPage]->setTitle(countsCaption());
}

QString frmSet::spamFile(int list) const
{
    return QDir(platform::ProgramFolder())
        .filePath(list == 0 ? QStringLiteral("spam.txt") : QStringLiteral("spamfrom.txt"));
}

void frmSet::reloadSpamLists()
{
    for (int list = 0; list < 2; ++list) {
        QListWidget* box = list == 0 ? List1 : List2;
        box->clear();
        box->addItems(spam::ReadListFile(spamFile(list)));
    }
}

// The file is written anew from the list, so that every entry reads back as the list shows it;
// when it cannot be, the user is told and the file keeps what it had.
void frmSet::removeSpamEntry(int list)
{
    QListWidget* box = list == 0 ? List1 : List2;
    QStringList kept = entries(box);
    if (box->currentRow() >= 0)
        kept.removeAt(box->currentRow());
    QString problem;
    if (!spam::WriteListFile(spamFile(list), kept, &problem))
        reportProblem(problem);
    reloadSpamLists();
}

void frmSet::addSpamEntry(int list, const QString& entry)
{
    if (entry.isEmpty())
        return;
    QString problem;
    if (!spam::WriteListFile(spamFile(list), entries(list == 0 ? List1 : List2) << entry, &problem))
        reportProblem(problem);
    reloadSpamLists();
}

bool frmSet::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Delete
        && (watched == List1 || watched == List2)) {
        removeSpamEntry(watched == List1 ? 0 : 1);
        return true;
    }
    // the window is on the screen: what waits for it follows once it has been drawn
    if (event->type() == QEvent::Expose && watched == windowHandle() && windowHandle()->isExposed()
        && !drawnWork_.empty()) {
        windowHandle()->removeEventFilter(this);
        QTimer::singleShot(0, this, &frmSet::runDrawnWork);
    }
    return QMainWindow::eventFilter(watched, event);
}

void frmSet::ButtonAccount_Click(int index)
{
    switch (index) {
    case 3: // the greeting, or the time
        refreshGreeting();
        ButtonSpeak(greetingToSpeak());
        break;
    case 9: // stop
        if (MailObj && MailObj->ConversationInProgress())
            MailObj->StopConversation();
        if (!isAudioDone() && ObjAudio)
            ObjAudio->ResetPlay();
        break;
    case 5: // the log
        openLog();
        break;
    case 6: addSpamEntry(0, askText(LocalText("Main", "NewSpamSubject", "New spam mail 'subject'"))); break;
    case 7: addSpamEntry(1, askText(LocalText("Main", "NewSpamFrom", "New spam mail 'From' email address"))); break;
    case 8: // reply to the message read
        replyToSelected();
        break;
    default: // the others have no action
        break;
    }
}

bool frmSet::signedIn() const
{
    return !hasConsole() || (console_ && console_->isLogin());
}

QString frmSet::smtpServer() const
{
    return txtEmailServer->text();
}

int32_t frmSet::smtpPort() const
{
    return Text16->text().trimmed().toInt();
}

QString frmSet::replyText() const
{
    return Text15->toPlainText();
}

QStringList frmSet::spamSubjects() const
{
    return entries(List1);
}

QStringList frmSet::spamSenders() const
{
    return entries(List2);
}
