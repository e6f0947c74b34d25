// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include "app/Seams.h"
#include "app/SimPhoneHost.h"
#include "console/ConsoleHost.h"
#include "console/SoundRecHost.h"
#include "mail/MailHost.h"
#include "telephony/CallHost.h"

#include <QMainWindow>
#include <QPoint>
#include <array>
#include <functional>
#include <memory>

class QCheckBox;
class QComboBox;
class QGridLayout;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QSlider;
class QTcpSocket;
class QTimer;
class QTreeView;
class frmCapDev;
class frmLogView;
class frmNotes;
class frmSimPhone;
class frmSoundRec;
class Pilot;

namespace platform {
class DesktopNotifier;
class SettingsStore;
class SingleInstance;
} // namespace platform
namespace telephony {
class ClsAudioControl;
class FrmModem;
} // namespace telephony

// The main window: settings pages, the countdown to the next mail check, the mailbox list.
// It creates the program's long-lived objects at start-up and ends the program when the
// exiting flag is set.
class frmSet : public QMainWindow,
               public MailHost,
               public MailEngineEvents,
               public telephony::CallHost,
               public SimPhoneHost,
               public ConsoleHost,
               public SoundRecHost
{
    Q_OBJECT
public:
    static constexpr int kMenuButtons = 6;
    static constexpr int kPages = 7; // pages 0 to 5 are chosen by the menu; 6 always shows
    static constexpr int kCheckBoxes = 7;
    static constexpr int kGeneralLabels = 19;
    static constexpr int kActionButtons = 10;

    frmSet(platform::SettingsStore& store, platform::SingleInstance& instance, frmSetParts parts = {},
           QWidget* parent = nullptr);
    ~frmSet() override;

    // The start-up sequence. False when the program must end at once (another copy runs, or
    // the agreement was declined); nothing is saved then.
    bool Form_Load();
    // Saves the settings and releases everything; emits programEnded.
    void Form_Unload();

    void StartEmailChecking(int mode);
    void StopEmailChecking();
    void ReloadSetting();
    void SetFrameOn(int page);
    void ButtonSpeak(const QString& text);
    bool isAudioDone() const override;
    // Why the last check failed, shown beside the countdown until the next check starts.
    QString checkFailureText() const;
    bool NetVoiceCall() override;
    // The internet-call form, loaded hidden once the window has been drawn (or when first asked for).
    frmSoundRec* soundRec();
    // The internet call's side of the voice menu.
    void NetCallConnected(int32_t device) override;
    void DigitReceived(const QString& key) override;
    void NetCallEnded() override;
    void showMess(const QString& text) override;
    // What the console asks of the window.
    void consoleStartChecking() override;
    void consoleStopChecking() override;
    void consoleShowSettings(int page) override;
    void consoleShowNotes() override;
    void consoleRunWizard() override;
    void consoleQuit() override;
    QString consoleSiteAddress() const override;
    frmSoundRec* consoleCallForm() override { return soundRec(); }
    int CaptionHeight() const;
    void EnableSettingPages(bool on);
    void AddFormat(const QString& name, int formatNumber);
    void Init_obj();
    void setup_voicephone();
    void listLinesInWizard();
    void LoadSettings();
    void SaveSettings();
    void LoadLocalizedTexts(int lcid);
    // Shows the setup wizard modally; the main window takes over what it saved.
    void RunSetupWizard();

    void CheckMailTimer_Timer();
    // Ends the program when the user quit or a termination signal came, whatever runs.
    bool quitIfAsked();

    // Mail engine events.
    void MailObj_CheckmailStart() override;
    void MailObj_CheckmailFinish(int32_t mode) override;
    void mailobj_showListViewCount() override;
    QString countsCaption() const;
    void MailObj_PhoneCall() override;

    // Call controller events.
    void ObjAudio_IncomingPhone();
    void ObjAudio_SpeakStart();
    void ObjAudio_SpeakEnd();
    void ObjAudio_Viseme(int32_t viseme);
    void ObjAudio_DigitReceived(const QString& digit);
    void ObjAudio_VoiceConnected(int32_t kind, int32_t device);
    void ObjAudio_VoiceDisCon(int32_t kind);
    void ObjAudio_SpeakRemain();
    // The voice menu's events.
    void MailObj_ChangeVoiceEngine(int32_t language) override;
    void MailObj_ChangeVoiceLanguage(int32_t language) override;
    void Mailobj_DisplayDigitInput(const QString& key) override;
    void MailObj_EnDePhoneCall(bool on) override;
    // A list item clicked: read aloud on the sound card.
    void ListView1_Click(int row);
    // The modem list and buttons.
    void modembox_Click(int index);
    void ObjAudioReload_Timer();
    void ARButton12_Click();
    void ARButton13_Click();
    telephony::ClsAudioControl* audioControl() const { return ObjAudio.get(); }
    telephony::FrmModem* modemForm() const { return FrmModem_.get(); }

    // The spam lists and the action buttons that need no telephone.
    void reloadSpamLists();
    void removeSpamEntry(int list); // 0 subjects, 1 senders: the Delete key
    void addSpamEntry(int list, const QString& entry);
    void ButtonAccount_Click(int index);
    std::function<QString(const QString&)> askText; // prompts for a new spam entry

    // Speech settings and the spoken buttons.
    void VoiceCB_Click(int index);
    void AudioOutputCB_Click(int index);
    void FormatCB_Click(int index);
    QString greetingToSpeak() const;

    // Everyday use: a check at once, new mail on the desktop, the log in a window of ours,
    // the window brought to the front by a second start.
    void CheckNow_Click();
    void announceNewMail();
    void openLog();
    void bringToFront();
    frmLogView* logView() const { return logView_.get(); }
    QString desktopText(const QString& key) const;
    QPushButton* CheckNowButton = nullptr;
    QCheckBox* notifyCheck = nullptr; // new mail on the desktop ("notifyNewMail")
    QLabel* formatWords = nullptr; // the chosen output format in words

    // The three voices: the settings voice (speech settings, button captions), the default
    // voice and the Chinese voice the call controller speaks with. None without voices.
    std::unique_ptr<platform::SpeechVoice> settingsVoice;
    std::unique_ptr<platform::SpeechVoice> defaultVoice;
    std::unique_ptr<platform::SpeechVoice> chineseVoice;

    // What the engine asks of the window.
    bool signedIn() const override;
    QString smtpServer() const override;
    int32_t smtpPort() const override;
    QString replyText() const override;
    MailSecurity smtpSecurity() const override;
    QString smtpUser() const override;
    QString smtpPassword() const override;
    QString trustedCertificate(const QString& server) const override;
    QStringList spamSubjects() const override;
    QStringList spamSenders() const override;
    void selectMessage(int row) override;
    ReplyForm* replyForm() override;
    bool spokenCaptions() const override { return spokenCaptions_; }
    bool chineseVoiceAvailable() const { return chineseVoiceAvailable_; }
    // The user quit: the program ends at once, in order.
    void setExiting() { exiting_ = true; }
    bool exiting() const { return exiting_; }
    // What the simulated telephone asks of the window.
    bool simAvailable() const override;
    void simphone_IncomingPhone() override;
    void simPhoneHangUp() override;
    void simphone_listAll(bool todayOnly) override;
    void SimPhoneButton(int keyIndex) override;
    QString helpPage() const override;
    // The console (its compose page) and the simulated telephone, made on first use.
    Pilot* console();
    frmSimPhone* simPhone();
    void replyToSelected();
    // What the call controller asks of the window (signedIn above serves both).
    bool mayAnswer() const override;
    void showCallStatus(const QString& text) override;
    int hangupTime() const override { return hangupTime_; }
    platform::SpeechVoice* callVoice() const override { return defaultVoice.get(); }
    platform::SpeechVoice* idleVoice() const override { return settingsVoice.get(); }
    int tickCounter() const { return tickCounter_; }
    int countdownPeriod() const;

    QString panelText(int panel) const; // status-bar panels 1 and 2
    void setPanelText(int panel, const QString& text);

    // How the window tells the user of a problem, and asks whether to try saving again.
    // Tests replace them; the defaults show message boxes.
    std::function<void(const QString&)> reportProblem;
    std::function<bool(const QString&)> askRetry;
    // Asks before a certificate no CA vouches for is trusted; the text names it and why.
    std::function<bool(const QString&)> askTrust;

    // TLS and the SMTP login; a certificate refused by the last check can be trusted from
    // the button beside the failure text.
    QComboBox* popSecurityBox = nullptr;
    QComboBox* smtpSecurityBox = nullptr;
    QLineEdit* txtSmtpUser = nullptr;
    QLineEdit* txtSmtpPw = nullptr;
    QPushButton* trustButton = nullptr;
    void TrustButton_Click();

    int Sounddevice = -1; // the speech output the call controller reported, saved on exit
    int currentPage = 0; // the menu button pressed last

    // Controls other parts of the program use.
    QTimer* CheckMailTimer;
    QTimer* QuitWatch; // looks for a quit even while a check or a call holds the countdown
    QTimer* ObjAudioReload;
    QTimer* VoiceTimeout; // lent to the call controller (one tick a second)
    // Lent to the mail engine; the sockets are made by the first session that needs one.
    QTcpSocket* Popsock = nullptr;
    QTimer* PopTimer;
    QTcpSocket* SMTPsock = nullptr;
    QTimer* SmtpTimer;
    std::array<QPushButton*, kMenuButtons> Amenu{};
    std::array<QGroupBox*, kPages> frame{};
    std::array<QCheckBox*, kCheckBoxes> Check{};
    std::array<QLabel*, kGeneralLabels> GLabel{};
    std::array<QPushButton*, kActionButtons> ButtonAccount{};
    QLabel* Label33;
    QTreeView* ListView1;
    MailList* listModel;
    QListWidget* List1;
    QListWidget* List2;
    QComboBox* modembox;
    QComboBox* VoiceCB;
    QComboBox* AudioOutputCB;
    QComboBox* FormatCB;
    QSlider* RateSldr;
    QSlider* VolumeSldr;
    QPushButton* ARButton12;
    QPushButton* ARButton13;
    QPushButton* ARButton15;
    QLineEdit* Text1; // new-mail announcement
    QLineEdit* Text2; // POP3 user
    QLineEdit* Text3; // POP3 password
    QLineEdit* Text4; // POP3 server
    QLineEdit* Text5; // POP3 port
    QLineEdit* txtEmailServer; // SMTP server
    QLineEdit* Text16; // SMTP port
    QLineEdit* Text6; // new-mail threshold
    QPlainTextEdit* Text15; // automatic reply
    QLineEdit* txtReplyDays = nullptr; // one automatic reply per sender in so many days
    QLabel* lblReplyDays = nullptr;
    QLineEdit* Text7; // minutes between checks
    QLineEdit* txtRingsToAnswer;
    QLineEdit* Text9; // telephone number
    QLineEdit* Text10; // repeat count
    QLineEdit* Text13; // hang-up time
    QLineEdit* Pin;
    QLabel* pinNote_ = nullptr; // why the line is for this computer's callers only
    QLabel* lblNoLine = nullptr; // how to add a line, while there is none
    QLineEdit* txtGreeting;
    // The setup wizard, made the first time it is needed.
    frmCapDev* wizard();

    // The voice list is filled: at once without a speech engine, else once it has its voices.
    bool voicesListed() const { return voicesListed_; }
    // Before Form_Load: the keyring answers after the window is shown. Until passwordsKnown the
    // password fields are not saved unless edited, and the mail checks, the console, the line
    // and the wizard wait.
    void awaitPasswords() { passwordsKnown_ = false; }
    // The keyring has answered: the password fields the user has not edited are read again.
    void passwordsKnown();
    // The agreement and the setup wizard are still to come.
    bool firstRun() const;

signals:
    void programEnded();

protected:
    void closeEvent(QCloseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    ConsoleLink* Console();
    bool hasConsole() const;
    void buildWindow();
    QWidget* buildAccountPage();
    void buildSecurityRows(QGridLayout* grid, int firstRow);
    void loadSecuritySettings();
    void showRefusedCertificate();
    void applySecurityTexts(const QString& letter);
    QLabel* securityLabels_[4] = {};
    QWidget* buildCheckingPage();
    QWidget* buildTelephonePage();
    QWidget* buildSpeechPage();
    QWidget* buildSpamPage();
    QWidget* buildMailboxPage();
    QWidget* buildActionPage();

    void setupVoices();
    void fillVoices(const QStringList& voices);
    void fillOutputs();
    void fillFormats();
    void loadSpamLists();
    void connectMailEngine();
    QTcpSocket* mailSocket(QTcpSocket*& socket);
    void connectSpeechControls();
    void connectCallController();
    // While the PIN is empty or the shipped one, the line answers only callers on this computer.
    void applyPinGuard();
    void simPhoneEnded();
    void netCallMenuEnded();
    void netCallMessageFetched();
    void simPhoneReadingEnded();
    void readNextListItem();
    void holdCountdownForCall();
    void restoreCountdown(bool& holding, bool state, bool otherHolding);
    QString spamFile(int list) const;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void openLineLater();
    // Runs work once the window has been drawn, or a little later when it is not shown.
    void whenDrawn(std::function<void()> work);
    void runDrawnWork();
    void showConsoleNow();
    void applyConsoleTexts(ConsoleLink& console, const QString& letter);
    void setupListView();
    void setupEveryday();
    void applyDesktopTexts();
    QString formatInWords(int formatNumber) const;
    void showFormatWords(int index);
    void refreshGreeting();
    void Amenu_Click(int index);
    void Check_Click(int index);
    void setModemText(const QString& text);
    void selectStoredModem();
    bool saveAll(const std::vector<std::pair<const char*, QString>>& values);

    platform::SettingsStore& store_;
    platform::SingleInstance& instance_;
    frmSetParts parts_;
    std::unique_ptr<telephony::FrmModem> FrmModem_;
    std::unique_ptr<telephony::ClsAudioControl> ObjAudio;
    std::unique_ptr<MailEngineLink> MailObj;
    std::unique_ptr<ConsoleLink> console_;
    std::unique_ptr<frmCapDev> wizard_;
    bool noLineSeen_ = false; // a listing found no line: the wizard skips its telephone page
    std::unique_ptr<Pilot> pilot_;
    std::unique_ptr<ReplyForm> replyForm_;
    std::unique_ptr<frmSimPhone> simPhone_;
    std::unique_ptr<frmSoundRec> soundRec_;
    std::unique_ptr<frmLogView> logView_;
    std::unique_ptr<frmNotes> notes_;
    std::unique_ptr<platform::DesktopNotifier> notifier_;
    QString greetingShown_; // the greeting the window wrote, renewed at each press
    std::array<QLabel*, 2> panels_{};
    QLabel* failurePanel_ = nullptr;
    int tickCounter_ = 0;
    int16_t hangupTime_ = 10; // seconds, taken from its field by Init_obj
    bool checkCountdownState_ = false; // countdown running when the check started
    bool callCountdownState_ = false; // countdown running when the call started
    bool checkHolding_ = false; // a check keeps the countdown off
    bool callHolding_ = false; // a call keeps the countdown off
    bool phoneCallPending_ = false; // an alert call is being placed
    bool modemSelected_ = false;
    bool loading_ = false; // inside Form_Load
    int lineAfterShow_ = -1; // the stored line, waiting for the window to be shown
    std::vector<std::function<void()>> drawnWork_; // waiting for the window to be drawn
    QTimer* drawnFallback_ = nullptr; // runs it anyway when the window is not shown
    bool consoleWaits_ = false; // the console comes once the window has been drawn
    bool unloaded_ = false;
    bool exiting_ = false; // the user quit
    bool spokenCaptions_ = false; // buttons speak their captions
    bool chineseVoiceAvailable_ = false;
    bool voicesListed_ = false;
    bool passwordsKnown_ = true;
    // Work that needs the voices and the passwords, waiting for both.
    std::vector<std::function<void()>> startUpWork_;
    bool startedUp() const { return voicesListed_ && passwordsKnown_; }
    void whenStartedUp(std::function<void()> work);
    void runStartUpWork();
    QPoint dragOrigin_;
    QLabel* extraLabels_[5] = {};
    QMetaObject::Connection lineStatus_, lineError_; // the open line's reports to the status bar
};
