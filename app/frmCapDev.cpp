// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/frmCapDev.h"
#include "console/LoginService.h"

#include "app/FieldFilters.h"
#include "app/LocalizedTexts.h"
#include "app/SettingKeys.h"
#include "app/Vendor.h"
#include "platform/SettingsStore.h"
#include "platform/ShellOpen.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QFormLayout>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

namespace {

QLabel* explanation(QWidget* parent)
{
    auto* label = new QLabel(parent);
    label->setWordWrap(true);
    return label;
}

} // namespace

frmCapDev::frmCapDev(platform::SettingsStore& store, QWidget* parent) : QDialog(parent), store_(store)
{
    setModal(true);
    title_ = new QLabel(this);
    QFont big = title_->font();
    big.setPointSize(big.pointSize() + 3);
    big.setBold(true);
    title_->setFont(big);

    auto addCaption = [this](const char* key, QLabel* label, const char* english) {
        captions_.push_back({key, label, QString::fromUtf8(english)});
    };
    auto* pages = new QVBoxLayout;
    for (int i = 0; i < kPages; ++i) {
        frames[i] = new QFrame(this);
        pages->addWidget(frames[i]);
    }
    pages->addStretch(); // a page sits under the title, however short it is

    // Page 0: web-service login.
    {
        auto* form = new QFormLayout(frames[0]);
        auto* text = explanation(frames[0]);
        form->addRow(text);
        txtLoginName = new QLineEdit(frames[0]);
        txtLoginPw = new QLineEdit(frames[0]);
        txtLoginPw->setEchoMode(QLineEdit::Password);
        fields::DigitsOnly(txtLoginPw); // the service's passwords are numbers
        auto* nameLabel = new QLabel(frames[0]);
        auto* pwLabel = new QLabel(frames[0]);
        form->addRow(nameLabel, txtLoginName);
        form->addRow(pwLabel, txtLoginPw);
        lblAbout = new QLabel(frames[0]);
        lblAbout->setCursor(Qt::PointingHandCursor);
        lblAbout->setTextFormat(Qt::PlainText);
        lblAbout->setStyleSheet(QStringLiteral("color: palette(link); text-decoration: underline;"));
        lblAbout->installEventFilter(this);
        form->addRow(lblAbout);
        page0Text_ = text;
        addCaption("Page0Text", text,
                   "Sign in to the Korvalen web service with the user ID and numeric password you registered.");
        addCaption("LoginName", nameLabel, "User ID");
        addCaption("LoginPw", pwLabel, "Password (digits)");
        addCaption("SiteLink", lblAbout, "Visit the Korvalen web site");
        fields_[0] = {txtLoginName, txtLoginPw};
    }
    // Page 1: e-mail account.
    {
        auto* form = new QFormLayout(frames[1]);
        auto* text = explanation(frames[1]);
        form->addRow(text);
        txtEmailUID = new QLineEdit(frames[1]);
        txtEmailPw = new QLineEdit(frames[1]);
        txtEmailPw->setEchoMode(QLineEdit::Password);
        txtPopServer = new QLineEdit(frames[1]);
        txtSmtpServer = new QLineEdit(frames[1]);
        QLabel* labels[4];
        for (QLabel*& l : labels)
            l = new QLabel(frames[1]);
        auto* popHint = new QLabel(frames[1]);
        auto* smtpHint = new QLabel(frames[1]);
        form->addRow(labels[0], txtEmailUID);
        form->addRow(labels[1], txtEmailPw);
        form->addRow(labels[2], txtPopServer);
        form->addRow(QString(), popHint);
        form->addRow(labels[3], txtSmtpServer);
        form->addRow(QString(), smtpHint);
        cboPopSecurity = new QComboBox(frames[1]);
        cboSmtpSecurity = new QComboBox(frames[1]);
        for (QComboBox* box : {cboPopSecurity, cboSmtpSecurity})
            for (MailSecurity s : {MailSecurity::None, MailSecurity::StartTls, MailSecurity::Tls})
                box->addItem(s == MailSecurity::None ? QStringLiteral("None (plain text)")
                                                     : MailSecurityText(s).toUpper(),
                             MailSecurityText(s));
        txtSmtpUser = new QLineEdit(frames[1]);
        txtSmtpPw = new QLineEdit(frames[1]);
        txtSmtpPw->setEchoMode(QLineEdit::Password);
        QLabel* security[4];
        for (QLabel*& l : security)
            l = new QLabel(frames[1]);
        form->addRow(security[0], cboPopSecurity);
        form->addRow(security[1], cboSmtpSecurity);
        form->addRow(security[2], txtSmtpUser);
        form->addRow(security[3], txtSmtpPw);
        addCaption("PopSecurity", security[0], "POP3 security");
        addCaption("SmtpSecurity", security[1], "SMTP security");
        addCaption("SmtpUser", security[2], "SMTP user (empty: no login)");
        addCaption("SmtpPassword", security[3], "SMTP password");
        addCaption("Page1Text", text, "Enter the e-mail account that Korvalen should watch.");
        addCaption("EmailUID", labels[0], "User name");
        addCaption("EmailPw", labels[1], "Password");
        addCaption("PopServer", labels[2], "Incoming mail server (POP3)");
        addCaption("PopHint", popHint, "e.g. pop.example.com");
        addCaption("SmtpServer", labels[3], "Outgoing mail server (SMTP)");
        addCaption("SmtpHint", smtpHint, "e.g. smtp.example.com");
        fields_[1] = {txtEmailUID,    txtEmailPw,      txtPopServer, txtSmtpServer,
                      cboPopSecurity, cboSmtpSecurity, txtSmtpUser,  txtSmtpPw};
    }
    // Page 2: telephone alert.
    {
        auto* form = new QFormLayout(frames[2]);
        auto* text = explanation(frames[2]);
        form->addRow(text);
        chkVoiceCall = new QCheckBox(frames[2]);
        cboModem = new QComboBox(frames[2]);
        txtPhone = new QLineEdit(frames[2]);
        fields::Dialable(txtPhone);
        lblNoLine = explanation(frames[2]);
        auto* voiceLabel = new QLabel(frames[2]);
        auto* modemLabel = new QLabel(frames[2]);
        auto* phoneLabel = new QLabel(frames[2]);
        form->addRow(voiceLabel, chkVoiceCall);
        form->addRow(modemLabel, cboModem);
        form->addRow(lblNoLine);
        form->addRow(phoneLabel, txtPhone);
        linePage_ = form;
        addCaption("Page2Text", text, "Korvalen can call your telephone when new mail arrives.");
        addCaption("VoiceCall", voiceLabel, "Call me when new mail arrives");
        addCaption("Modem", modemLabel, "Voice modem or telephone line");
        addCaption("Phone", phoneLabel, "Telephone number");
        addCaption("NoLine", lblNoLine,
                   "No telephone line is set up yet. After setup, press \"Modem configuration\" on the main "
                   "window's Telephone page to add a SIP line.");
        fields_[2] = {chkVoiceCall, cboModem, txtPhone};
    }
    // Page 3: check interval.
    {
        auto* box = new QVBoxLayout(frames[3]);
        auto* text = explanation(frames[3]);
        box->addWidget(text);
        auto* row = new QHBoxLayout;
        auto* every = new QLabel(frames[3]);
        auto* minutes = new QLabel(frames[3]);
        txtMinute = new QLineEdit(frames[3]);
        txtMinute->setMaximumWidth(60);
        fields::NumberRange(txtMinute, keys::wizardMinuteRange.min, keys::wizardMinuteRange.max,
                            keys::wizardMinuteRange.byDefault);
        row->addWidget(every);
        row->addWidget(txtMinute);
        row->addWidget(minutes);
        row->addStretch();
        box->addLayout(row);
        box->addStretch();
        addCaption("Page3Text", text, "Choose how often Korvalen checks the mailbox (10 to 60 minutes).");
        fields_[3] = {txtMinute};
        addCaption("Every", every, "Check mail every");
        addCaption("Minutes", minutes, "Minutes");
    }
    // Page 4: finished.
    {
        auto* box = new QVBoxLayout(frames[4]);
        auto* heading = new QLabel(frames[4]);
        heading->setFont(title_->font());
        auto* text = explanation(frames[4]);
        box->addWidget(heading);
        box->addWidget(text);
        box->addStretch();
        addCaption("Page4Title", heading, "Finished !!");
        addCaption("Page4Text", text,
                   "Setup is complete. You can change these settings at any time in the main window.");
    }

    lblProblem = new QLabel(this);
    lblProblem->setWordWrap(true);
    lblProblem->setStyleSheet(QStringLiteral("color: #b00000;"));
    lblProblem->hide();

    OKButton[1] = new QPushButton(this);
    OKButton[0] = new QPushButton(this);
    CancelButton = new QPushButton(this);
    // Return is the wizard's own (keyPressEvent): no button takes it by being the default.
    for (QPushButton* b : {OKButton[0], OKButton[1], CancelButton})
        b->setAutoDefault(false);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(OKButton[1]);
    buttons->addWidget(OKButton[0]);
    buttons->addWidget(CancelButton);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(title_);
    layout->addLayout(pages);
    layout->addWidget(lblProblem);
    layout->addLayout(buttons);
    resize(500, 420); // room for the e-mail page with its security and login rows

    connect(OKButton[0], &QPushButton::clicked, this, [this] { OKButton_Click(0); });
    connect(OKButton[1], &QPushButton::clicked, this, [this] { OKButton_Click(1); });
    connect(CancelButton, &QPushButton::clicked, this, &frmCapDev::CancelButton_Click);
    ApplyTexts(letter_);
    Form_Load();
}

void frmCapDev::ApplyTexts(const QString& letter)
{
    letter_ = letter;
    const QString section = letter + QStringLiteral("Wizard");
    auto text = [&](const char* key, const char* english) {
        const QString t = ReadStatementText(section, QString::fromLatin1(key));
        return t.isEmpty() ? QString::fromUtf8(english) : t;
    };
    setWindowTitle(text("Title", "Korvalen setup"));
    title_->setText(windowTitle());
    for (const Caption& c : captions_) {
        const QString t = ReadStatementText(section, QString::fromLatin1(c.key));
        c.label->setText(t.isEmpty() ? c.english : t);
    }
    // Without a web service the first page says that this computer signs in by itself.
    if (!LoginService::Load(store_).isConfigured())
        page0Text_->setText(text("Page0Local",
                                 "No web service is set up, so this computer signs you in by itself and mail "
                                 "checking starts at once. The user ID below is the name other Korvalen users see "
                                 "when you call them; internet calls go to an address you type as host:port."));
    OKButton[0]->setText(page_ + 1 < kPages ? text("Next", "Next >") : text("Finish", "Finish"));
    OKButton[1]->setText(text("Back", "< Back"));
    CancelButton->setText(text("Cancel", "Cancel"));
}

// Each showing starts on page 0 with the stored values, so running the wizard again changes
// only what the user changes.
void frmCapDev::Form_Load()
{
    page_ = 0;
    cancelled = false;
    saved_ = false;
    lastError_.clear();
    txtLoginName->setText(keys::Read(store_, keys::Loginname));
    txtLoginPw->setText(keys::Read(store_, keys::LoginPw));
    txtEmailUID->setText(keys::Read(store_, keys::EmailUID));
    txtEmailPw->setText(keys::Read(store_, keys::EmailPw));
    txtPopServer->setText(keys::Read(store_, keys::popserver));
    txtSmtpServer->setText(keys::Read(store_, keys::smtpserver));
    const keys::MailDefaults defaults(store_);
    cboPopSecurity->setCurrentIndex(cboPopSecurity->findData(MailSecurityText(defaults.popSecurity(store_))));
    cboSmtpSecurity->setCurrentIndex(cboSmtpSecurity->findData(MailSecurityText(defaults.smtpSecurity(store_))));
    txtSmtpUser->setText(keys::Read(store_, keys::SmtpUID));
    txtSmtpPw->setText(keys::Read(store_, keys::SmtpPw));
    txtMinute->setText(keys::InRange(keys::Read(store_, keys::minute), keys::wizardMinuteRange));
    chkVoiceCall->setChecked(keys::ReadInt(store_, keys::voicecall) != 0);
    txtPhone->setText(keys::Read(store_, keys::phone1));
    const int modem = keys::ReadInt(store_, keys::voicemodem0);
    cboModem->setCurrentIndex(modem >= 0 && modem < cboModem->count() ? modem : -1);
    showPage(0);
}

void frmCapDev::ResetPage()
{
    for (QFrame* f : frames)
        f->hide();
}

void frmCapDev::showPage(int page)
{
    page_ = page;
    lblProblem->hide();
    ResetPage();
    showLineChoice();
    frames[page_]->show();
    OKButton[1]->setEnabled(page_ > 0);
    ApplyTexts(letter_); // the last page's button says Finish
    QWidget* first = fields_[page_].empty() ? nullptr : fields_[page_].front();
    if (first && !(first->isVisibleTo(frames[page_]) && first->isEnabled()))
        first = nextField(first);
    (first ? first : OKButton[0])->setFocus(Qt::TabFocusReason);
}

// Without any line the list would be empty and grey: the page says how to add one instead.
void frmCapDev::showLineChoice()
{
    const bool lines = cboModem->count() > 0;
    linePage_->setRowVisible(cboModem, lines);
    linePage_->setRowVisible(lblNoLine, !lines);
}

// The page's field after from that can take the focus; none after the last.
QWidget* frmCapDev::nextField(QWidget* from) const
{
    const std::vector<QWidget*>& list = fields_[page_];
    auto it = std::find(list.begin(), list.end(), from);
    if (it == list.end())
        return nullptr;
    for (++it; it != list.end(); ++it)
        if ((*it)->isVisibleTo(frames[page_]) && (*it)->isEnabled())
            return *it;
    return nullptr;
}

void frmCapDev::keyPressEvent(QKeyEvent* event)
{
    if ((event->key() != Qt::Key_Return && event->key() != Qt::Key_Enter) || event->modifiers() & ~Qt::KeypadModifier) {
        QDialog::keyPressEvent(event);
        return;
    }
    event->accept();
    QWidget* focus = focusWidget();
    if (focus == OKButton[1] || focus == CancelButton) {
        static_cast<QPushButton*>(focus)->click();
        return;
    }
    if (QWidget* next = nextField(focus)) {
        next->setFocus(Qt::TabFocusReason);
        return;
    }
    OKButton_Click(0);
}

// The account page is not passed with a blank server, user or password: mail checks would
// do nothing. The page stays as typed, with the first blank field to fill in.
bool frmCapDev::accountGiven()
{
    const fields::BlankFields blank = fields::BlankAccountFields(txtEmailUID, txtEmailPw, txtPopServer);
    if (!blank.first)
        return true;
    lblProblem->setText(blank.message);
    lblProblem->show();
    blank.first->setFocus();
    return false;
}

void frmCapDev::OKButton_Click(int index)
{
    if (index == 0) {
        if (page_ == 1 && !accountGiven())
            return;
        if (page_ + 1 >= kPages) {
            SaveWizard();
            accept();
            return;
        }
        showPage(page_ + 1);
    } else {
        showPage(std::max(0, page_ - 1));
    }
}

void frmCapDev::CancelButton_Click()
{
    cancelled = true;
    reject();
}

void frmCapDev::SaveWizard()
{
    if (cancelled)
        return;
    // The interval is judged even when its box never lost the focus.
    txtMinute->setText(keys::InRange(txtMinute->text(), keys::wizardMinuteRange));
    // The protections stored before this save, whose ports are kept while they stay.
    const keys::MailDefaults defaults(store_);
    const MailSecurity storedPop = defaults.popSecurity(store_);
    const MailSecurity storedSmtp = defaults.smtpSecurity(store_);
    bool ok = true;
    auto save = [&](const keys::Key& key, const QString& value) {
        if (!store_.SaveSetting(key.name, value) && ok) {
            ok = false;
            lastError_ = store_.lastError();
        }
    };
    save(keys::Loginname, txtLoginName->text());
    save(keys::LoginPw, txtLoginPw->text());
    save(keys::minute, txtMinute->text());
    save(keys::EmailUID, txtEmailUID->text());
    save(keys::EmailPw, txtEmailPw->text());
    save(keys::popserver, txtPopServer->text());
    save(keys::smtpserver, txtSmtpServer->text());
    // The wizard has no port fields: a changed protection takes its usual port.
    const MailSecurity pop = MailSecurityFromText(cboPopSecurity->currentData().toString(), MailSecurity::Tls);
    const MailSecurity smtp = MailSecurityFromText(cboSmtpSecurity->currentData().toString(), MailSecurity::StartTls);
    if (pop != storedPop)
        save(keys::popport, QString::number(keys::PopPortFor(pop)));
    if (smtp != storedSmtp)
        save(keys::smtpport, QString::number(keys::SmtpPortFor(smtp)));
    save(keys::popsecurity, MailSecurityText(pop));
    save(keys::smtpsecurity, MailSecurityText(smtp));
    save(keys::SmtpUID, txtSmtpUser->text().trimmed());
    save(keys::SmtpPw, txtSmtpPw->text());
    if (!skipTelephone) {
        save(keys::voicecall, chkVoiceCall->isChecked() ? QStringLiteral("1") : QStringLiteral("0"));
        save(keys::voicemodem0, QString::number(cboModem->currentIndex()));
        save(keys::phone1, txtPhone->text());
    }
    saved_ = ok;
}

bool frmCapDev::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == lblAbout && event->type() == QEvent::MouseButtonRelease) {
        platform::OpenWithShell(QString::fromLatin1(kVendorSite));
        return true;
    }
    return QDialog::eventFilter(watched, event);
}
