// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/frmSet.h"
#include "app/frmNotes.h"

#include "app/frmSimPhone.h"
#include "console/frmSoundRec.h"
#include "console/Pilot.h"
#include "mail/MailList.h"
#include "mail/ReplyForm.h"

#include "app/LocalizedTexts.h"
#include "app/SettingKeys.h"
#include "app/WindowHelpers.h"
#include "app/frmCapDev.h"
#include "app/frmLogin.h"
#include "app/frmLogView.h"
#include "platform/DesktopNotifier.h"
#include "platform/ProgramFolder.h"
#include "platform/Clock.h"
#include "platform/ProgramWide.h"
#include "platform/SettingsStore.h"
#include "platform/SingleInstance.h"
#include "platform/SystemLocale.h"
#include "platform/Termination.h"
#include "platform/speech/SpeechVoice.h"
#include "telephony/ClsAudioControl.h"
#include "telephony/CvbTAPILine.h"
#include "telephony/FrmModem.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateTime>
#include <QFile>
#include <QGroupBox>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QSlider>
#include <QStandardItemModel>
#include <QStyle>
#include <QTextStream>
#include <QTimer>
#include <QTreeView>

using platform::Globals;

namespace {

constexpr int kDefaultPeriodSeconds = 600; // an empty interval field means ten minutes

// The greeting spoken by the time button: "Hello, it is Sunday, Dec 6, The Time is 09:41 AM".
QString greetingText(const QDateTime& now)
{
    const QLocale english(QLocale::English, QLocale::UnitedStates);
    return QStringLiteral("Hello, it is ") + english.toString(now.date(), QStringLiteral("dddd, MMM d"))
           + QStringLiteral(", The Time is ") + english.toString(now.time(), QStringLiteral("hh:mm AP"));
}

} // namespace

frmSet::frmSet(platform::SettingsStore& store, platform::SingleInstance& instance, frmSetParts parts, QWidget* parent)
    : QMainWindow(parent), store_(store), instance_(instance), parts_(std::move(parts))
{
    setWindowTitle(QStringLiteral("Korvalen"));
    reportProblem = [this](const QString& text) { QMessageBox::warning(this, QStringLiteral("Korvalen"), text); };
    askRetry = [this](const QString& text) {
        return QMessageBox::warning(this, QStringLiteral("Korvalen"), text, QMessageBox::Retry | QMessageBox::Discard)
               == QMessageBox::Retry;
    };
    askText = [this](const QString& prompt) { return QInputDialog::getText(this, QStringLiteral("Korvalen"), prompt); };
    askTrust = [this](const QString& text) {
        return QMessageBox::question(this, QStringLiteral("Korvalen"), text, QMessageBox::Yes | QMessageBox::No,
                                     QMessageBox::No)
               == QMessageBox::Yes;
    };
    buildWindow();
}

frmSet::~frmSet() = default;

bool frmSet::Form_Load()
{
    // 1. One copy of the program per user.
    if (instance_.PrevInstance())
        return false;
    consoleWaits_ = parts_.consoleWhenShown && hasConsole() && !firstRun();
    setupEveryday();

    // 2. Program folder, system language, captions.
    Globals().lcid = platform::SystemLcid();
    if (const QString problem = platform::ProgramFolderProblem(); !problem.isEmpty())
        reportProblem(problem);
    LoadLocalizedTexts(Globals().lcid);

    // 3-8. Voices, speech settings, output formats and devices.
    setupVoices();
    fillFormats();
    for (int i = 0; i < 6; ++i)
        frame[i]->hide();
    SetFrameOn(0);

    // 9-10. The modem form and the call controller, then the settings it follows.
    FrmModem_ = std::make_unique<telephony::FrmModem>();
    ObjAudio = std::make_unique<telephony::ClsAudioControl>();
    connectCallController();
    LoadSettings();
    ObjAudio->AutoAnswer = Check[5]->isChecked();
    ObjAudio->writelog(Check[1]->isChecked());
    ObjAudio->RingsToAnswer = int16_t(txtRingsToAnswer->text().trimmed().toInt());

    // 11. Spam lists.
    loadSpamLists();

    // 12. Modem list (the wizard lists the same lines when it is made), console.
    loading_ = true;
    setup_voicephone();
    loading_ = false;
    // The internet-call form listens once the window is on the screen.
    whenDrawn([this] {
        if (!unloaded_)
            soundRec();
    });
    if (consoleWaits_)
        whenDrawn([this] { showConsoleNow(); });
    else if (ConsoleLink* console = Console())
        console->Show();

    // 13. First run: the agreement, then the wizard.
    if (firstRun()) {
        frmLogin agreement(this);
        TrimSystemMenu(&agreement);
        agreement.exec();
        if (!agreement.accepted)
            return false;
        if (!store_.SaveSetting(keys::FirstRunning.name, QStringLiteral("1")))
            reportProblem(store_.lastError());
        RunSetupWizard();
    }

    applyPinGuard();

    // 14. The mail engine.
    if (parts_.mailEngine)
        MailObj = parts_.mailEngine();
    connectMailEngine();

    // 15-17. Mailbox list, greeting, place on the screen.
    setupListView();
    refreshGreeting();
    CentreOnScreen(this);
    CheckMailTimer->start();
    QuitWatch->start();
    // Signing in to the console starts the first check; without a console, start-up does.
    whenStartedUp([this] {
        if (unloaded_ || consoleWaits_) // a console still to come signs in once it is there
            return;
        if (ConsoleLink* console = Console())
            console->SignIn();
        else
            StartEmailChecking(1);
    });
    return true;
}

void frmSet::RunSetupWizard()
{
    if (!passwordsKnown_) // the wizard shows the passwords
        return whenStartedUp([this] {
            if (!unloaded_)
                RunSetupWizard();
        });
    frmCapDev* setup = wizard();
    setup->Form_Load();
    setup->exec();
    if (!setup->lastError().isEmpty())
        reportProblem(setup->lastError());
    // After a cancel the main window keeps its own, possibly unsaved, edits.
    if (!setup->saved())
        return;
    ReloadSetting();
    if (ConsoleLink* console = Console())
        console->ReloadSetting();
}

void frmSet::setupVoices()
{
    if (parts_.voice) {
        settingsVoice = parts_.voice();
        defaultVoice = parts_.voice();
        chineseVoice = parts_.voice();
        // The engine loads its voices beside the window: the list follows once it has them.
        platform::WhenSpeechReady(this, [this] {
            if (!settingsVoice)
                return; // unloaded meanwhile
            QStringList voices;
            for (const platform::VoiceInfo& v : settingsVoice->GetVoices())
                voices.append(v.description);
            fillOutputs(); // the rest of the speech page, which asks the sound system
            fillVoices(voices);
        });
    } else {
        fillOutputs();
        fillVoices(parts_.voices ? parts_.voices() : QStringList());
    }
    bool ok = false;
    int rate = keys::ReadInt(store_, keys::SoundRate, &ok);
    if (!ok || rate < -10 || rate > 10)
        rate = 3;
    int volume = keys::ReadInt(store_, keys::SoundVolume, &ok);
    if (!ok || volume < 0 || volume > 100)
        volume = 99;
    if (settingsVoice) {
        settingsVoice->setRate(rate);
        settingsVoice->setVolume(volume);
        rate = settingsVoice->rate();
        volume = settingsVoice->volume();
    }
    RateSldr->setValue(rate);
    VolumeSldr->setValue(volume);

    connectSpeechControls();
}

void frmSet::fillOutputs()
{
    const QStringList outputs = parts_.audioOutputs ? parts_.audioOutputs() : QStringList();
    if (outputs.isEmpty()) {
        AudioOutputCB->addItem(LocalText("Main", "NoAudioOutput", "No audio ouput object available"));
        AudioOutputCB->setEnabled(false);
    } else {
        AudioOutputCB->addItems(outputs);
        const int device = keys::ReadInt(store_, keys::AudioDevice);
        if (device >= 0 && device < outputs.size()) {
            AudioOutputCB->setCurrentIndex(device);
            if (settingsVoice)
                settingsVoice->setAudioOutput(device);
        }
    }
}

void frmSet::fillVoices(const QStringList& voices)
{
    chineseVoiceAvailable_ = false;
    for (const QString& v : voices) {
        if (v.contains(QLatin1String("Chinese")))
            chineseVoiceAvailable_ = true;
        VoiceCB->addItem(v);
    }
    const int chosen = keys::ReadInt(store_, keys::VoiceName);
    if (chosen > 0 && chosen < VoiceCB->count())
        VoiceCB->setCurrentIndex(chosen);
    else if (VoiceCB->count() > 0)
        VoiceCB->setCurrentIndex(0);
    else
        VoiceCB->setPlaceholderText(LocalText("Main", "NotInstall", "Not Install"));
    if (settingsVoice && VoiceCB->count() > 0) {
        settingsVoice->setVoice(VoiceCB->currentIndex());
        defaultVoice->setVoice(VoiceCB->currentIndex());
        if (!(chineseVoiceAvailable_ && chineseVoice->setVoiceByAttributes(QStringLiteral("language=804"))))
            chineseVoice->setVoice(VoiceCB->currentIndex());
    }
    voicesListed_ = true;
    runStartUpWork();
}

bool frmSet::firstRun() const
{
    return keys::Read(store_, keys::FirstRunning) == QLatin1String("0");
}

void frmSet::passwordsKnown()
{
    if (passwordsKnown_)
        return;
    passwordsKnown_ = true;
    for (auto [edit, key] : {std::pair{Text3, keys::EmailPw}, {txtSmtpPw, keys::SmtpPw}})
        if (!edit->isModified())
            edit->setText(keys::Read(store_, key));
    runStartUpWork();
}

void frmSet::whenStartedUp(std::function<void()> work)
{
    startUpWork_.push_back(std::move(work));
    if (startedUp())
        QTimer::singleShot(0, this, &frmSet::runStartUpWork);
}

void frmSet::runStartUpWork()
{
    if (!startedUp())
        return;
    for (const std::function<void()>& work : std::exchange(startUpWork_, {}))
        work();
}

void frmSet::fillFormats()
{
    // Speech output formats with their audio format numbers, 4 to 35.
    const char* const rates[] = {"8", "11", "12", "16", "22", "24", "32", "44"};
    const char* const shapes[] = {"8BitMono", "8BitStereo", "16BitMono", "16BitStereo"};
    int number = 4;
    for (const char* rate : rates)
        for (const char* shape : shapes)
            AddFormat(QStringLiteral("SAFT%1kHz%2").arg(QLatin1String(rate), QLatin1String(shape)), number++);
    FormatCB->setCurrentIndex(FormatCB->findText(QStringLiteral("SAFT22kHz16BitStereo")));
    // Beside each name, the format in words.
    auto* formats = qobject_cast<QStandardItemModel*>(FormatCB->model());
    for (int row = 0; formats && row < FormatCB->count(); ++row) {
        const QString words = formatInWords(FormatCB->itemData(row).toInt());
        formats->setItem(row, 1, new QStandardItem(words));
        formats->item(row, 0)->setToolTip(words);
    }
    showFormatWords(FormatCB->currentIndex());
}

void frmSet::AddFormat(const QString& name, int formatNumber)
{
    FormatCB->addItem(name, formatNumber);
}

void frmSet::loadSpamLists()
{
    reloadSpamLists();
}

void frmSet::setupListView()
{
    listModel->setHeaderLabels({LocalText("Main", "ColumnFrom", "From"), LocalText("Main", "ColumnSubject", "Subject"),
                                LocalText("Main", "ColumnDate", "Date"), QStringLiteral("FileName")});
    // From and Subject share the width the fixed Date column leaves (about a third each).
    QHeaderView* header = ListView1->header();
    header->setStretchLastSection(false);
    header->setSectionResizeMode(0, QHeaderView::Stretch);
    header->setSectionResizeMode(1, QHeaderView::Stretch);
    ListView1->setColumnWidth(2, 1600 / 15); // 1600 twips at 15 twips a pixel
    ListView1->setColumnWidth(3, 1);
    ListView1->setColumnHidden(3, true);
}

// Lists every line device under its number in the line-device table, so that the lists, the
// stored choice and the modem form count alike; a device that does not qualify stays greyed.
void frmSet::setup_voicephone()
{
    telephony::CvbTAPILine lines;
    lines.LowAPI = 0x10002;
    lines.HiAPI = 0x20000;
    bool created = lines.Create();
    if (!created && lines.numLines() > 0) {
        lines.LowAPI = 0x10002;
        lines.HiAPI = 0x10004;
        created = lines.Create();
    }
    QSignalBlocker quiet(modembox);
    modembox->clear();
    if (lines.numLines() == 0) {
        setPanelText(1, LocalText("Main", "NoModem", "No Modem Installed."));
        noLineSeen_ = true;
    }
    for (int32_t line = 0; created && line < lines.numLines(); ++line) {
        lines.setCurrentLineID(line);
        modembox->addItem(lines.LineName());
        if (lines.NegotiatedAPIVersion() == 0)
            qobject_cast<QStandardItemModel*>(modembox->model())->item(line)->setEnabled(false);
    }
    if (wizard_)
        listLinesInWizard();
    // Without a line the page says how to add one instead of showing an empty list.
    modembox->setVisible(modembox->count() > 0);
    lblNoLine->setVisible(modembox->count() == 0);
    setModemText(LocalText("Main", "SelectModemDevice", "Select Modem Device"));
    quiet.unblock();
    selectStoredModem();
}

frmCapDev* frmSet::wizard()
{
    if (!wizard_) {
        wizard_ = std::make_unique<frmCapDev>(store_, this);
        wizard_->ApplyTexts(LanguageLetter(Globals().lcid));
        listLinesInWizard();
    }
    return wizard_.get();
}

// The wizard's line list is the main window's, greyed lines included.
void frmSet::listLinesInWizard()
{
    QComboBox* box = wizard_->cboModem;
    box->clear();
    if (noLineSeen_) {
        wizard_->skipTelephone = true;
        box->setEnabled(false);
    }
    const auto* listed = qobject_cast<QStandardItemModel*>(modembox->model());
    for (int row = 0; row < modembox->count(); ++row) {
        box->addItem(modembox->itemText(row));
        if (!listed->item(row)->isEnabled())
            qobject_cast<QStandardItemModel*>(box->model())->item(row)->setEnabled(false);
    }
}

// "voicemodem0": -1 asks for a choice, a listed index selects it, anything else changes nothing.
void frmSet::selectStoredModem()
{
    const int stored = keys::ReadInt(store_, keys::voicemodem0);
    if (stored == -1)
        setModemText(LocalText("Main", "SelectModem", "Select Modem"));
    else if (stored >= 0 && stored < modembox->count() && stored != modembox->currentIndex()) {
        if (loading_ && parts_.openLineWhenShown) {
            const QSignalBlocker quiet(modembox);
            modembox->setCurrentIndex(stored);
            lineAfterShow_ = stored;
            openLineLater();
            return;
        }
        modembox->setCurrentIndex(stored); // opens that device, as a click on it does
    }
}

void frmSet::setModemText(const QString& text)
{
    const QSignalBlocker quiet(modembox);
    modembox->setCurrentIndex(-1);
    modembox->setPlaceholderText(text);
}

// Countdown, one tick a second.
int frmSet::countdownPeriod() const
{
    const QString minutes = Text7->text().trimmed();
    bool ok = false;
    const int value = minutes.toInt(&ok);
    // An empty or unreadable field counts as ten minutes; it never means "check every tick".
    return ok && value > 0 ? 60 * value : kDefaultPeriodSeconds;
}

void frmSet::CheckMailTimer_Timer()
{
    const int period = countdownPeriod();
    if (quitIfAsked())
        return;
    ++tickCounter_;
    // Reaching or passing the period starts a check: a shortened interval must not strand the count.
    if (tickCounter_ >= period) {
        tickCounter_ = 0;
        if (!MailObj || !MailObj->IsBusy())
            StartEmailChecking(2);
    } else {
        showMess(LocalText("Main", "CountDown", "Count down %1 Seconds").arg(period - tickCounter_));
    }
}

bool frmSet::quitIfAsked()
{
    if (unloaded_ || !(exiting_ || platform::TerminationRequested()))
        return false;
    if (console_)
        console_->Unload();
    Form_Unload();
    return true;
}

void frmSet::StartEmailChecking(int mode)
{
    if (!startedUp()) // a check needs the password
        return whenStartedUp([this, mode] {
            if (!unloaded_)
                StartEmailChecking(mode);
        });
    if (mode == 1) {
        if (MailObj)
            MailObj->ResetNewMailCounter();
        CheckMailTimer->start();
    }
    if (MailObj)
        MailObj->SetAnnouncement(Text1->text());
    // Until the console exists, the user counts as signed in.
    const bool signedIn = !Console() || Console()->isLogin();
    if (MailObj && signedIn)
        MailObj->CheckMail(mode);
}

void frmSet::StopEmailChecking()
{
    CheckMailTimer->stop();
    if (MailObj && MailObj->ConversationInProgress())
        MailObj->StopConversation();
    if (ConsoleLink* console = Console())
        console->EnableMenu(true);
    EnableSettingPages(true);
    ButtonSpeak(QStringLiteral(" stop"));
    showMess(QString());
}

void frmSet::SetFrameOn(int page)
{
    for (int i = 0; i < 6; ++i)
        frame[i]->hide();
    if (page >= 0 && page < kPages)
        frame[page]->show();
}

void frmSet::Amenu_Click(int index)
{
    if (spokenCaptions_)
        ButtonSpeak(Amenu[index]->toolTip());
    currentPage = index;
    SetFrameOn(index);
}

// The greeting field's text; empty, the date and time of now.
QString frmSet::greetingToSpeak() const
{
    const QString text = txtGreeting->text();
    return text.isEmpty() ? greetingText(QDateTime::fromMSecsSinceEpoch(platform::AppClock().msecsSinceEpoch())) : text;
}

// The greeting tells the time of the press; a greeting of the user's own stays as written.
void frmSet::refreshGreeting()
{
    if (txtGreeting->text().isEmpty() || txtGreeting->text() == greetingShown_) {
        greetingShown_ = greetingText(QDateTime::fromMSecsSinceEpoch(platform::AppClock().msecsSinceEpoch()));
        txtGreeting->setText(greetingShown_);
    }
}

// Captions are spoken by the call controller with the voice it holds, never over a call.
void frmSet::ButtonSpeak(const QString& text)
{
    if (!spokenCaptions_ || !ObjAudio || ObjAudio->getStatus() != telephony::ClsAudioControl::Idle)
        return;
    if (MailObj)
        MailObj->ButtonSpeak(text);
    else if (!text.isEmpty())
        ObjAudio->RepeatedlySay(1, text);
}

bool frmSet::isAudioDone() const
{
    return !ObjAudio || ObjAudio->isDonePlay();
}

bool frmSet::NetVoiceCall()
{
    if (ObjAudio && ObjAudio->getStatus() != telephony::ClsAudioControl::Idle)
        return false;
    // Strangers reach the menu only behind a PIN of the user's own.
    if (Pin->text().isEmpty() || Pin->text() == QLatin1String(keys::PhonePin.byDefault))
        return false;
    CheckMailTimer->stop();
    Init_obj();
    if (MailObj)
        MailObj->PrepareNetCall();
    return true;
}

void frmSet::showMess(const QString& text)
{
    setPanelText(2, text);
}

QString frmSet::panelText(int panel) const
{
    return panel == 1 || panel == 2 ? panels_[panel - 1]->text() : QString();
}

void frmSet::setPanelText(int panel, const QString& text)
{
    if (panel == 1 || panel == 2)
        panels_[panel - 1]->setText(text);
}

int frmSet::CaptionHeight() const
{
    return style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, this);
}

void frmSet::EnableSettingPages(bool on)
{
    for (int i = 0; i < 6; ++i)
        frame[i]->setEnabled(on);
}

void frmSet::Init_obj()
{
    hangupTime_ = int16_t(Text13->text().trimmed().toInt());
    if (!MailObj)
        return;
    EngineSettings s;
    s.phoneNumber = Text9->text();
    s.pin = Pin->text();
    s.autoReply = Check[0]->isChecked();
    s.autoReplyDays = txtReplyDays->text().trimmed().toInt();
    s.logging = Check[1]->isChecked();
    s.telephone = Check[4]->isChecked();
    s.repeatCount = Text10->text().trimmed().toInt();
    s.newMailThreshold = Text6->text().trimmed().toInt();
    s.popUser = Text2->text();
    s.popPassword = Text3->text();
    s.popServer = Text4->text();
    s.popPort = Text5->text().trimmed().toInt();
    s.popSecurity = MailSecurityFromText(popSecurityBox->currentData().toString(), MailSecurity::None);
    s.voiceIndex = VoiceCB->currentIndex();
    MailObj->Init(s);
}

void frmSet::Check_Click(int index)
{
    const bool on = Check[index]->isChecked();
    switch (index) {
    case 1:
        if (ObjAudio)
            ObjAudio->writelog(on);
        break;
    case 2: spokenCaptions_ = on; break;
    case 5:
        if (ObjAudio)
            ObjAudio->AutoAnswer = on;
        break;
    default: // the others take effect through Init_obj
        break;
    }
}

void frmSet::Form_Unload()
{
    if (unloaded_)
        return;
    unloaded_ = true;
    CheckMailTimer->stop();
    QuitWatch->stop();
    // A caller is hung up on first; a check in progress ends with its session.
    if (ObjAudio && ObjAudio->getStatus() != telephony::ClsAudioControl::Idle)
        ObjAudio->Vhangup();
    SaveSettings();
    soundRec_.reset(); // an internet call in progress is hung up
    ObjAudioReload->stop();
    if (defaultVoice)
        defaultVoice->setAudioOutputStream(std::nullopt);
    if (chineseVoice)
        chineseVoice->setAudioOutputStream(std::nullopt);
    MailObj.reset();
    ObjAudio.reset();
    FrmModem_.reset();
    settingsVoice.reset();
    defaultVoice.reset();
    chineseVoice.reset();
    console_.reset();
    wizard_.reset();
    hide();
    emit programEnded();
}

// The frame button hides the window; the program goes on in the background.
void frmSet::closeEvent(QCloseEvent* event)
{
    if (exiting_ || unloaded_) {
        event->accept();
        return;
    }
    event->ignore();
    hide();
    // Without a console there is no other way to quit: closing the window quits.
    if (!console_) {
        exiting_ = true;
        QTimer::singleShot(0, this, &frmSet::quitIfAsked);
    }
}

void frmSet::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        dragOrigin_ = event->globalPosition().toPoint();
    QMainWindow::mousePressEvent(event);
}

void frmSet::mouseMoveEvent(QMouseEvent* event)
{
    if (event->buttons() & Qt::LeftButton) {
        const QPoint now = event->globalPosition().toPoint();
        move(pos() + (now - dragOrigin_));
        dragOrigin_ = now;
    }
    QMainWindow::mouseMoveEvent(event);
}
