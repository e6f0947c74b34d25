// SPDX-License-Identifier: GPL-3.0-or-later
// What a user of the main window does every day: check at once, hear of new mail on the
// desktop, read the log, find the window again when starting the program a second time.
#include "app/frmSet.h"

#include "app/LocalizedTexts.h"
#include "app/frmLogView.h"
#include "platform/DesktopNotifier.h"
#include "platform/LogFile.h"
#include "platform/ProgramFolder.h"
#include "platform/ProgramWide.h"
#include "platform/ShellOpen.h"
#include "platform/SingleInstance.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <cstdio>

namespace {

constexpr int kNoticeLines = 3; // senders and subjects a notice shows

QString logPath()
{
    return QDir(platform::ProgramFolder()).filePath(QStringLiteral("kv_.log"));
}

} // namespace

QString frmSet::desktopText(const QString& key) const
{
    return ReadStatementText(LanguageLetter(platform::Globals().lcid) + QStringLiteral("Desktop"), key);
}

// Called once the window's parts exist, before the settings are read.
void frmSet::setupEveryday()
{
    connect(CheckNowButton, &QPushButton::clicked, this, &frmSet::CheckNow_Click);
    connect(&instance_, &platform::SingleInstance::ShowRequested, this, &frmSet::bringToFront);
    if (QString problem; !instance_.Listen(&problem))
        std::fprintf(stderr, "korvalen: a second start cannot bring this window to the front: %s\n",
                     qPrintable(problem));
    if (parts_.notifier) {
        notifier_ = parts_.notifier();
        // Without a notification service the user still has the window; the log says why.
        connect(notifier_.get(), &platform::DesktopNotifier::unavailable, this, [this](const QString& why) {
            const QString line = QStringLiteral("No desktop notification: ") + why;
            std::fprintf(stderr, "korvalen: %s\n", qPrintable(line));
            if (Check[1]->isChecked())
                platform::AppendLogRecord(QStringLiteral("kv_"), QStringLiteral("desktop"), line);
        });
    }
}

void frmSet::applyDesktopTexts()
{
    CheckNowButton->setText(desktopText(QStringLiteral("CheckNow")));
    CheckNowButton->setShortcut(QKeySequence(Qt::Key_F5)); // after the text, which sets its own
    ButtonAccount[5]->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_L)); // the log
    CheckNowButton->setToolTip(desktopText(QStringLiteral("CheckNowTip")));
    notifyCheck->setText(desktopText(QStringLiteral("NotifyCheck")));
    if (logView_)
        logView_->ApplyTexts(LanguageLetter(platform::Globals().lcid));
}

void frmSet::CheckNow_Click()
{
    if (!MailObj || unloaded_)
        return;
    // A check in progress goes on; the user is only told.
    if (MailObj->IsBusy() || checkHolding_) {
        showMess(desktopText(QStringLiteral("CheckBusy")));
        return;
    }
    tickCounter_ = 0; // the next timed check is a whole interval away
    StartEmailChecking(MailEngineLink::TimedCheck);
}

// New mail found by a timed check, on the desktop: the count, then the first few senders and
// subjects.
void frmSet::announceNewMail()
{
    if (!notifier_ || !notifyCheck->isChecked() || !MailObj)
        return;
    const int count = MailObj->NewMailFound();
    if (count <= 0)
        return;
    const QString summary =
        count == 1 ? desktopText(QStringLiteral("NotifyOne")) : desktopText(QStringLiteral("NotifyMany")).arg(count);
    QStringList lines;
    const QList<NewMailItem> mail = MailObj->NewMailListed();
    for (int i = 0; i < mail.size() && i < kNoticeLines; ++i) {
        const QString subject =
            mail[i].subject.trimmed().isEmpty() ? desktopText(QStringLiteral("NoSubject")) : mail[i].subject.trimmed();
        // Notification bodies may carry markup: a sender's <address> must stay text.
        lines << (mail[i].sender.trimmed() + QStringLiteral(": ") + subject).toHtmlEscaped();
    }
    if (count > lines.size())
        lines << desktopText(QStringLiteral("NotifyMore")).arg(count - lines.size()).toHtmlEscaped();
    notifier_->notify(QStringLiteral("Korvalen"), summary, lines.join(QLatin1Char('\n')));
}

// The log goes to the desktop's viewer; without one, to a window of ours.
void frmSet::openLog()
{
    auto showOurs = [this] {
        if (!logView_) {
            logView_ = std::make_unique<frmLogView>(this);
            logView_->ApplyTexts(LanguageLetter(platform::Globals().lcid));
        }
        logView_->Open(logPath());
        logView_->show();
        logView_->raise();
        logView_->activateWindow();
    };
    if (!QFile::exists(logPath()))
        return showOurs(); // it says that nothing is logged yet, and shows the first record
    platform::OpenWithShell(logPath(), this, [showOurs](bool opened) {
        if (!opened)
            showOurs();
    });
}

// A second start asks for the window: shown, un-minimized, in front. A dialog that waits for
// an answer (the agreement, the wizard) comes first.
void frmSet::bringToFront()
{
    if (unloaded_)
        return;
    QWidget* target = QApplication::activeModalWidget();
    if (!target)
        target = this;
    target->setWindowState((target->windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    target->show();
    target->raise();
    target->activateWindow();
}

// The speech output formats in words: "8 kHz 16-bit mono" (format numbers 4 to 35 run through
// eight rates, four shapes each).
QString frmSet::formatInWords(int formatNumber) const
{
    static const char* const rates[] = {"8", "11.025", "12", "16", "22.05", "24", "32", "44.1"};
    const int n = formatNumber - 4;
    if (n < 0 || n >= 32)
        return QString();
    const int bits = n % 4 < 2 ? 8 : 16;
    const bool stereo = n % 2 == 1;
    return desktopText(stereo ? QStringLiteral("FormatStereo") : QStringLiteral("FormatMono"))
        .arg(QLatin1String(rates[n / 4]))
        .arg(bits);
}

void frmSet::showFormatWords(int index)
{
    formatWords->setText(index >= 0 ? formatInWords(FormatCB->itemData(index).toInt()) : QString());
}
