// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include "console/LoginService.h"

#include <QString>
#include <QWidget>
#include <array>
#include <cstdint>

class ConsoleHost;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QStackedWidget;
class QSystemTrayIcon;
class QTabWidget;
class QTcpSocket;
class QTimer;
class QTreeWidget;
class QTreeWidgetItem;
class ClsLogin;
class cSmtp;
namespace platform {
class SettingsStore;
class WebBrowser;
} // namespace platform

// The program's console: a row of function buttons, a menu of ten entries over one panel at a
// time (contacts and setup trees, compose page, sign-in, internet call), a status label, the
// mouth picture of the talking voice and an icon in the notification area. Signing in starts
// mail checking on the main window; the switch stops it.
class Pilot : public QWidget
{
    Q_OBJECT
public:
    static constexpr int kLabels = 11; // PLabel 0 to 10
    static constexpr int kFunctionButtons = 7; // AFunction 0 to 6
    static constexpr int kMenuEntries = 10; // Amenu 0 to 9
    enum FunctionButton {
        SwitchButton = 0,
        HideButton = 1,
        QuitButton = 2,
        kSendButton = 3,
        ClearButton = 4,
        ContactsButton = 5,
        CallButton = 6
    };
    enum MenuEntry {
        ContactsEntry = 0,
        NotesEntry = 1,
        CallEntry = 2,
        SettingsEntry = 3,
        HelpEntry = 4,
        ComposeEntry = 5,
        LoginEntry = 6,
        SetupEntry = 7,
        SiteEntry = 8,
        WizardEntry = 9
    };

    Pilot(platform::SettingsStore& store, ConsoleHost& host, QWidget* parent = nullptr);
    ~Pilot() override;

    // Puts the stored fields in and signs in when it can; called once the main window has made
    // everything the sign-in starts.
    void Form_Load();

    // Writes the status label.
    void showMess(const QString& text);
    QString statusText() const;
    // Brings the window up on its compose page.
    void showCompose();
    // A key dictated on the telephone keypad edits the message body at its cursor: character 8
    // erases, 13 starts a new line, other control characters are dropped, the rest is typed.
    // Returns what to say back to the caller (empty when nothing happened).
    QString applyDictatedKey(const QString& character);
    // Captions from the captions file: label index 0 to 10; function button 0 to 6 (0 to 2
    // carry pictures, so their text is the tool-tip); menu entry 0 to 9; the call button's two
    // captions.
    void SetLabelCaption(int index, const QString& text);
    void SetButtonText(int index, const QString& text);
    void SetMenuToolTip(int index, const QString& text);
    void SetExtraTexts(const QString& call, const QString& hangUp);
    // The menu entries are off while a check or a call holds the program.
    void SetAmenu(bool on);
    bool AmenuVisable() const;
    // The mouth picture 1 to 21 of the speaking voice.
    void ShowViseme(int picture);
    int visemeShown() const { return viseme_; }

    // Signed in: to the web service, or locally when none is set.
    bool isLogin() const;
    bool usesService() const;
    // The name and key this program is known by to the service and to the users it calls.
    QString MyID() const;
    QString MyKey() const;
    // Signs in with the login fields (both must be filled for the web service).
    void StartLogin();
    // Reads the login fields and the call fields from the settings again (after the wizard).
    void ReloadSetting();
    // Stores what the window keeps between runs.
    void Form_Unload();
    // The program ends: stores the fields and closes for good.
    void Unload();

    void AFunction_Click(int index);
    void Amenu_Click(int index);
    bool switchedOn() const { return switchOn_; }
    // An e-mail is on its way; a second one is refused until it ends.
    bool isSending() const { return sending_; }
    // The tray icon, where the desktop has a notification area, once the window has gone to it.
    QSystemTrayIcon* trayIcon() const { return tray_; }
    // A double-click on the tray icon.
    void trayActivated();

    QLineEdit* login_name;
    QLineEdit* password;
    QLineEdit* Text1; // the user (or host:port) to call
    QLineEdit* Text2; // this program's internet-call port
    QLineEdit* txtToEmailAddress;
    QLineEdit* txtFromEmailAddress;
    QLineEdit* txtMailSubject;
    QPlainTextEdit* RTf; // the message body
    QLabel* StatusLabel;
    QLabel* VisemePicture;
    std::array<QLabel*, kLabels> PLabel{};
    std::array<QPushButton*, kFunctionButtons> AFunction{};
    std::array<QPushButton*, kMenuEntries> Amenu{};
    QStackedWidget* Panels;
    QTabWidget* Trees; // the contact and setup trees
    QTreeWidget* tvwContact;
    QTreeWidget* tvwSetup;
    QWidget* ComposePage;
    QWidget* LoginPage;
    QWidget* CallPage;

    // The sign-in, with the one-second timer and the browser the window lends it.
    ClsLogin* ObjLogin;
    QTimer* LoginTimer;
    platform::WebBrowser* WebBrowser1;

    // The console's own SMTP client with the socket and one-second timer it lends it.
    cSmtp* ObjSmtp;
    QTcpSocket* SMTPsock;
    QTimer* SmtpTimeout;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildWindow();
    QWidget* buildTreesPage();
    QWidget* buildComposePage();
    QWidget* buildLoginPage();
    QWidget* buildCallPage();
    void showPanel(QWidget* page);
    void switchButton();
    QSystemTrayIcon* tray();
    void hideToTray();
    void quit();
    void showSwitch();
    void addContact(const QString& name);
    void contactChosen(QTreeWidgetItem* item);
    void setupChosen(QTreeWidgetItem* item);
    void setupLogin();
    void warnOfPlainHttp();
    void openServiceSettings();
    void ObjLogin_LogInDelay();
    void LogIned();
    void ObjLogin_LoginError(const QString& message, int code);
    void ObjLogin_Logout(int result);
    void ObjLogin_LogVOIP(const QString& first, const QString& second, const QString& third);
    void connectCallForm();
    void callButton();
    void callMenu();
    void hangUpCall();
    void callIdentityChanged();
    void resetCall();
    void callStateChanged();
    void sendMail();
    void ObjSmtp_Sending();
    void ObjSmtp_ServerClose(int16_t code);

    platform::SettingsStore& store_;
    ConsoleHost& host_;
    LoginService service_;
    QSystemTrayIcon* tray_ = nullptr;
    bool trayAsked_ = false;
    QString trayTip_ = QStringLiteral("Korvalen ");
    QString callText_ = QStringLiteral("Call");
    QString hangUpText_ = QStringLiteral("Hang up");
    bool switchOn_ = false;
    bool localSignedIn_ = false;
    bool quitting_ = false;
    bool httpWarned_ = false;
    bool sending_ = false;
    int viseme_ = 0;
};
