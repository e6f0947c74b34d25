// SPDX-License-Identifier: GPL-3.0-or-later
#include "console/Pilot.h"

#include "console/ConsoleHost.h"
#include "platform/ProgramFolder.h"
#include "platform/SettingsStore.h"
#include "protocols/cSmtp.h"

#include <QCloseEvent>
#include <QFile>
#include <QFormLayout>
#include <QGuiApplication>
#include <QScreen>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QSystemTrayIcon>
#include <QTabWidget>
#include <QTcpSocket>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

// What the window keeps between runs, and its defaults.
struct Stored
{
    const char* key;
    QLineEdit* Pilot::*field;
    const char* byDefault;
};
constexpr Stored kStored[] = {
    {"port", &Pilot::Text2, "9595"},
    {"VOIPUID", &Pilot::Text1, ""},
    {"Loginname", &Pilot::login_name, ""},
    {"LoginPw", &Pilot::password, "4071"},
    {"txtFromEmailAddress", &Pilot::txtFromEmailAddress, ""},
};

// Label indices.
constexpr int kNameLabel = 0;
constexpr int kPasswordLabel = 1;
constexpr int kToLabel = 2;
constexpr int kFromLabel = 3;
constexpr int kSubjectLabel = 4;
constexpr int kMessageLabel = 5;
constexpr int kCallUserLabel = 6;
constexpr int kPortLabel = 7;
constexpr int kStatusLabel = 8;
constexpr int kContactsLabel = 9;
constexpr int kSetupLabel = 10;

constexpr int kMouthPictures = 21;

QString dataFile(const QString& name)
{
    return platform::ProgramFolder() + QLatin1Char('/') + name;
}

} // namespace

Pilot::Pilot(platform::SettingsStore& store, ConsoleHost& host, QWidget* parent)
    : QWidget(parent, Qt::Window), store_(store), host_(host)
{
    setWindowTitle(QStringLiteral("Korvalen console"));

    SMTPsock = new QTcpSocket(this);
    SmtpTimeout = new QTimer(this);
    SmtpTimeout->setInterval(1000);
    ObjSmtp = new cSmtp(this);
    connect(ObjSmtp, &cSmtp::Sending, this, &Pilot::ObjSmtp_Sending);
    connect(ObjSmtp, &cSmtp::ServerClose, this, &Pilot::ObjSmtp_ServerClose);

    service_ = LoginService::Load(store_);
    buildWindow();
    setupLogin();
    for (const Stored& s : kStored)
        (this->*s.field)->setText(store_.GetSetting(QString::fromLatin1(s.key), QString::fromLatin1(s.byDefault)));
    addContact(Text1->text());

    showSwitch();
    connectCallForm();
    // In the top right corner of the screen, beside the main window.
    resize(minimumSizeHint().expandedTo(QSize(440, 420)));
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.right() - width() - 8, area.top() + 8);
    }
}

Pilot::~Pilot() = default;

void Pilot::buildWindow()
{
    auto* column = new QVBoxLayout(this);

    // Function buttons 0 to 2 carry pictures and sit at the top beside the talking mouth; 3 to
    // 6 carry words and sit at the bottom.
    auto* functions = new QHBoxLayout;
    auto* actions = new QHBoxLayout;
    const char* const captions[kFunctionButtons] = {"", "", "", "Send", "Clear", "Address book", "Call"};
    for (int i = 0; i < kFunctionButtons; ++i) {
        AFunction[i] = new QPushButton(QString::fromLatin1(captions[i]), this);
        connect(AFunction[i], &QPushButton::clicked, this, [this, i] { AFunction_Click(i); });
        (i <= QuitButton ? functions : actions)->addWidget(AFunction[i]);
    }
    AFunction[HideButton]->setText(QStringLiteral("_"));
    AFunction[QuitButton]->setText(QStringLiteral("X"));
    AFunction[SwitchButton]->setIconSize(QSize(32, 32));
    functions->addStretch();
    VisemePicture = new QLabel(this);
    VisemePicture->setFixedSize(48, 48);
    VisemePicture->setScaledContents(true);
    functions->addWidget(VisemePicture);
    column->addLayout(functions);

    // The menu down the left side, the panel it shows beside it.
    auto* middle = new QHBoxLayout;
    auto* menu = new QVBoxLayout;
    menu->setSpacing(2);
    const char* const entries[kMenuEntries] = {"Contacts", "Notes", "Call",  "Settings", "Help",
                                               "Compose",  "Login", "Setup", "Site",     "Wizard"};
    for (int i = 0; i < kMenuEntries; ++i) {
        Amenu[i] = new QPushButton(QString::fromLatin1(entries[i]), this);
        Amenu[i]->setToolTip(Amenu[i]->text());
        connect(Amenu[i], &QPushButton::clicked, this, [this, i] { Amenu_Click(i); });
        menu->addWidget(Amenu[i]);
    }
    menu->addStretch();
    middle->addLayout(menu);

    Panels = new QStackedWidget(this);
    Panels->addWidget(buildTreesPage());
    ComposePage = buildComposePage();
    Panels->addWidget(ComposePage);
    LoginPage = buildLoginPage();
    Panels->addWidget(LoginPage);
    CallPage = buildCallPage();
    Panels->addWidget(CallPage);
    middle->addWidget(Panels, 1);
    column->addLayout(middle, 1);
    column->addLayout(actions);
    AFunction[CallButton]->setShortcut(Qt::Key_F6); // call, or hang up

    auto* status = new QHBoxLayout;
    PLabel[kStatusLabel] = new QLabel(QStringLiteral("Status"), this);
    StatusLabel = new QLabel(this);
    StatusLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    StatusLabel->setWordWrap(true);
    status->addWidget(PLabel[kStatusLabel]);
    status->addWidget(StatusLabel, 1);
    column->addLayout(status);
}

QWidget* Pilot::buildTreesPage()
{
    Trees = new QTabWidget(this);
    tvwContact = new QTreeWidget(Trees);
    tvwContact->setHeaderHidden(true);
    tvwContact->setRootIsDecorated(false);
    connect(tvwContact, &QTreeWidget::itemDoubleClicked, this, &Pilot::contactChosen);
    tvwSetup = new QTreeWidget(Trees);
    tvwSetup->setHeaderHidden(true);
    tvwSetup->setRootIsDecorated(false);
    // The main window's pages, then the console's own.
    const char* const pages[] = {"E-mail account", "Checking", "Telephone",     "Speech",     "Spam lists",
                                 "Mailbox",        "Sign-in",  "Internet call", "Web service"};
    for (int i = 0; i < int(std::size(pages)); ++i) {
        auto* item = new QTreeWidgetItem(tvwSetup, QStringList(QString::fromLatin1(pages[i])));
        item->setData(0, Qt::UserRole, i);
    }
    connect(tvwSetup, &QTreeWidget::itemActivated, this, &Pilot::setupChosen);
    connect(tvwSetup, &QTreeWidget::itemDoubleClicked, this, &Pilot::setupChosen);
    PLabel[kContactsLabel] = new QLabel(this); // captions of the two tabs
    PLabel[kContactsLabel]->hide();
    PLabel[kSetupLabel] = new QLabel(this);
    PLabel[kSetupLabel]->hide();
    Trees->addTab(tvwContact, QStringLiteral("Contacts"));
    Trees->addTab(tvwSetup, QStringLiteral("Settings"));
    return Trees;
}

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

QWidget* Pilot::buildLoginPage()
{
    auto* page = new QWidget(this);
    auto* form = new QFormLayout(page);
    login_name = new QLineEdit(page);
    password = new QLineEdit(page);
    password->setEchoMode(QLineEdit::Password);
    PLabel[kNameLabel] = new QLabel(QStringLiteral("User ID"), page);
    PLabel[kPasswordLabel] = new QLabel(QStringLiteral("Password"), page);
    form->addRow(PLabel[kNameLabel], login_name);
    form->addRow(PLabel[kPasswordLabel], password);
    return page;
}

QWidget* Pilot::buildCallPage()
{
    auto* page = new QWidget(this);
    auto* form = new QFormLayout(page);
    Text1 = new QLineEdit(page);
    Text1->setPlaceholderText(QStringLiteral("user, or host:port"));
    Text2 = new QLineEdit(page);
    Text2->setInputMask(QStringLiteral("00000"));
    PLabel[kCallUserLabel] = new QLabel(QStringLiteral("User to call"), page);
    PLabel[kPortLabel] = new QLabel(QStringLiteral("Port"), page);
    form->addRow(PLabel[kCallUserLabel], Text1);
    connect(Text1, &QLineEdit::returnPressed, this, [this] { AFunction_Click(CallButton); });
    form->addRow(PLabel[kPortLabel], Text2);
    return page;
}

// ---- captions and status

void Pilot::SetLabelCaption(int index, const QString& text)
{
    if (index < 0 || index >= kLabels || !PLabel[index])
        return;
    PLabel[index]->setText(text);
    if (index == kContactsLabel)
        Trees->setTabText(0, text);
    if (index == kSetupLabel)
        Trees->setTabText(1, text);
}

void Pilot::SetButtonText(int index, const QString& text)
{
    if (index < 0 || index >= kFunctionButtons)
        return;
    if (index <= QuitButton)
        AFunction[index]->setToolTip(text);
    else if (index != CallButton) // the call button shows its call or hang-up text
        AFunction[index]->setText(text);
}

void Pilot::SetMenuToolTip(int index, const QString& text)
{
    if (index < 0 || index >= kMenuEntries)
        return;
    Amenu[index]->setToolTip(text);
    Amenu[index]->setText(text);
}

void Pilot::SetExtraTexts(const QString& call, const QString& hangUp)
{
    callText_ = call;
    hangUpText_ = hangUp;
    AFunction[CallButton]->setText(callText_);
    AFunction[CallButton]->setToolTip(call + QStringLiteral(" / ") + hangUp + QStringLiteral(" (F6)"));
}

bool Pilot::AmenuVisable() const
{
    return Amenu[0]->isEnabled();
}

void Pilot::SetAmenu(bool on)
{
    for (QPushButton* entry : Amenu)
        entry->setEnabled(on);
}

void Pilot::showMess(const QString& text)
{
    StatusLabel->setText(text);
    trayTip_ = QStringLiteral("Korvalen ") + text.trimmed();
    if (tray_)
        tray_->setToolTip(trayTip_);
}

// Asking the desktop for its notification area takes round trips to other programs: it is asked
// the first time the window goes to the tray.
QSystemTrayIcon* Pilot::tray()
{
    if (trayAsked_)
        return tray_;
    trayAsked_ = true;
    if (!QSystemTrayIcon::isSystemTrayAvailable())
        return nullptr;
    tray_ = new QSystemTrayIcon(QIcon(dataFile(QStringLiteral("korvalen-32.png"))), this);
    tray_->setToolTip(trayTip_);
    connect(tray_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason why) {
        if (why == QSystemTrayIcon::DoubleClick)
            trayActivated();
    });
    return tray_;
}

QString Pilot::statusText() const
{
    return StatusLabel->text();
}

void Pilot::ShowViseme(int picture)
{
    if (picture < 1 || picture > kMouthPictures || picture == viseme_)
        return;
    viseme_ = picture;
    VisemePicture->setPixmap(QPixmap(dataFile(QStringLiteral("mouth%1.bmp").arg(picture, 2, 10, QLatin1Char('0')))));
}

void Pilot::showSwitch()
{
    // The picture shows what a press does.
    AFunction[SwitchButton]->setIcon(
        QIcon(dataFile(switchOn_ ? QStringLiteral("offbutton.bmp") : QStringLiteral("onbutton.bmp"))));
    AFunction[SwitchButton]->setText(switchOn_ ? QStringLiteral("On") : QStringLiteral("Off"));
}

void Pilot::showPanel(QWidget* page)
{
    Panels->setCurrentWidget(page);
    show();
    raise();
    activateWindow();
}

void Pilot::showCompose()
{
    showPanel(ComposePage);
}

// ---- stored fields

void Pilot::ReloadSetting()
{
    for (const Stored& s : kStored)
        if (s.field != &Pilot::txtFromEmailAddress)
            (this->*s.field)->setText(store_.GetSetting(QString::fromLatin1(s.key), QString::fromLatin1(s.byDefault)));
}

void Pilot::Form_Unload()
{
    for (const Stored& s : kStored)
        store_.SaveSetting(QString::fromLatin1(s.key), (this->*s.field)->text());
}

// The frame button hides the window; the tray icon or the main window brings it back.
void Pilot::closeEvent(QCloseEvent* event)
{
    Form_Unload();
    if (quitting_) {
        QWidget::closeEvent(event);
        return;
    }
    event->ignore();
    hideToTray();
}
