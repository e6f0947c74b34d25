// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/telephone/SipSettingsDialog.h"

#include "platform/telephone/SipTexts.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace platform {

namespace {
const QStringList kTransports = {QStringLiteral("udp"), QStringLiteral("tcp"), QStringLiteral("tls")};
constexpr int kDefaultDirectPort = 5060; // the usual SIP port
} // namespace

SipSettingsDialog::SipSettingsDialog(const QList<SipLineConfig>& lines, int current, QWidget* parent)
    : QDialog(parent), lines_(lines), added_(lines.size(), false)
{
    setWindowTitle(SipText("SettingsTitle", "Modem configuration: SIP telephone lines"));
    list = new QListWidget(this);
    addButton = new QPushButton(SipText("Add", "&Add"), this);
    addButton->setToolTip(SipText("AddTip", "A new SIP line: an account at a provider or PBX, or a direct listener"));
    removeButton = new QPushButton(SipText("Remove", "&Remove"), this);
    removeButton->setToolTip(SipText("RemoveTip", "Remove the selected SIP line with its password"));
    kindBox = new QComboBox(this);
    kindBox->addItems({SipText("KindAccount", "Account"), SipText("KindDirect", "Direct listener")});
    identityEdit = new QLineEdit(this);
    identityEdit->setPlaceholderText(QStringLiteral("sip:alice@example.org"));
    serverEdit = new QLineEdit(this);
    serverEdit->setPlaceholderText(QStringLiteral("sip.example.org:5060"));
    serverHint = new QLabel(this);
    serverHint->setWordWrap(true);
    userEdit = new QLineEdit(this);
    passwordEdit = new QLineEdit(this);
    passwordEdit->setEchoMode(QLineEdit::Password);
    transportBox = new QComboBox(this);
    transportBox->addItems(kTransports);
    portBox = new QSpinBox(this);
    portBox->setRange(0, 65535);
    portBox->setSpecialValueText(SipText("AnyPort", "any"));
    messageLabel = new QLabel(this);
    messageLabel->setWordWrap(true);

    auto* form = new QFormLayout;
    form->addRow(SipText("Kind", "Kind:"), kindBox);
    form->addRow(SipText("Identity", "Identity:"), identityEdit);
    form->addRow(SipText("Server", "Server or target host:"), serverEdit);
    form->addRow(QString(), serverHint);
    form->addRow(SipText("User", "User name:"), userEdit);
    form->addRow(SipText("Password", "Password:"), passwordEdit);
    form->addRow(SipText("Transport", "Transport:"), transportBox);
    form->addRow(SipText("Port", "Port:"), portBox);
    auto* side = new QVBoxLayout;
    side->addWidget(list);
    auto* row = new QHBoxLayout;
    row->addWidget(addButton);
    row->addWidget(removeButton);
    side->addLayout(row);
    auto* top = new QHBoxLayout;
    top->addLayout(side);
    top->addLayout(form);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(SipText("OK", "OK"));
    buttons->button(QDialogButtonBox::Cancel)->setText(SipText("Cancel", "Cancel"));
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(messageLabel);
    layout->addWidget(buttons);

    for (int i = 0; i < lines_.size(); ++i)
        list->addItem(lines_[i].name(i + 1));
    connect(buttons, &QDialogButtonBox::accepted, this, &SipSettingsDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &SipSettingsDialog::reject);
    connect(addButton, &QPushButton::clicked, this, &SipSettingsDialog::addEntry);
    connect(removeButton, &QPushButton::clicked, this, &SipSettingsDialog::removeEntry);
    connect(list, &QListWidget::currentRowChanged, this, [this](int r) { select(r); });
    for (QLineEdit* e : {identityEdit, serverEdit, userEdit, passwordEdit})
        connect(e, &QLineEdit::textEdited, this, [this] { formChanged(); });
    connect(kindBox, &QComboBox::currentIndexChanged, this, [this] { formChanged(); });
    connect(transportBox, &QComboBox::currentIndexChanged, this, [this] { formChanged(); });
    connect(portBox, &QSpinBox::valueChanged, this, [this] { formChanged(); });

    if (lines_.isEmpty())
        addEntry(); // nothing to choose from: a new account, ready to fill in
    else
        select(std::clamp(current, 0, int(lines_.size()) - 1));
}

void SipSettingsDialog::select(int row)
{
    row_ = row;
    if (list->currentRow() != row) {
        const QSignalBlocker block(list);
        list->setCurrentRow(row);
    }
    showEntry();
}

void SipSettingsDialog::showEntry()
{
    loading_ = true;
    const bool has = row_ >= 0 && row_ < lines_.size();
    const SipLineConfig c = has ? lines_[row_] : SipLineConfig{};
    const bool account = c.kind == SipLineConfig::Kind::Account;
    kindBox->setCurrentIndex(account ? 0 : 1);
    identityEdit->setText(c.identity);
    serverEdit->setText(c.server);
    userEdit->setText(c.user);
    passwordEdit->setText(c.password);
    transportBox->setCurrentIndex(std::max<qsizetype>(0, kTransports.indexOf(c.transport)));
    portBox->setValue(c.port);
    for (QWidget* w : std::initializer_list<QWidget*>{kindBox, serverEdit, portBox, removeButton})
        w->setEnabled(has);
    for (QWidget* w : std::initializer_list<QWidget*>{identityEdit, userEdit, passwordEdit, transportBox})
        w->setEnabled(has && account);
    portBox->setMinimum(account ? 0 : 1);
    serverEdit->setPlaceholderText(account ? QStringLiteral("sip.example.org:5060")
                                           : QStringLiteral("pbx.example.org:5060"));
    serverHint->setText(
        account ? SipText("ServerHintAccount", "The provider's or PBX's SIP server that the account registers with.")
                : SipText("ServerHintDirect",
                          "Where numbers are dialled: the host (e.g. your PBX) that takes the "
                          "calls this listener places. Without it, only full SIP addresses can be called."));
    loading_ = false;
}

void SipSettingsDialog::formChanged()
{
    if (loading_ || row_ < 0 || row_ >= lines_.size())
        return;
    SipLineConfig& c = lines_[row_];
    const SipLineConfig::Kind kind =
        kindBox->currentIndex() == 1 ? SipLineConfig::Kind::Direct : SipLineConfig::Kind::Account;
    const bool kindChanged = kind != c.kind;
    c.kind = kind;
    c.identity = identityEdit->text().trimmed();
    c.server = serverEdit->text().trimmed();
    c.user = userEdit->text().trimmed();
    c.password = passwordEdit->text();
    c.transport = transportBox->currentIndex() > 0 ? transportBox->currentText() : QString();
    c.port = portBox->value();
    if (kindChanged && kind == SipLineConfig::Kind::Direct) {
        // A listener registers nowhere: the account's registrar and password are not kept.
        c = SipLineConfig{};
        c.kind = kind;
        c.port = portBox->value() > 0 ? portBox->value() : kDefaultDirectPort;
    }
    list->item(row_)->setText(c.name(row_ + 1));
    messageLabel->clear();
    if (kindChanged)
        showEntry();
}

void SipSettingsDialog::addEntry()
{
    SipLineConfig c;
    lines_.append(c);
    added_.append(true);
    list->addItem(c.name(int(lines_.size())));
    select(int(lines_.size()) - 1);
    identityEdit->setFocus();
}

void SipSettingsDialog::removeEntry()
{
    if (row_ < 0 || row_ >= lines_.size())
        return;
    lines_.removeAt(row_);
    added_.removeAt(row_);
    delete list->takeItem(row_);
    for (int i = row_; i < lines_.size(); ++i) // "SIP line N" follows the position
        list->item(i)->setText(lines_[i].name(i + 1));
    select(lines_.isEmpty() ? -1 : std::min(row_, int(lines_.size()) - 1));
}

void SipSettingsDialog::accept()
{
    // A new entry nobody filled in is no line.
    auto untouched = [this](int i) { return added_[i] && lines_[i] == SipLineConfig{}; };
    for (int i = 0; i < lines_.size(); ++i) {
        const QString problem = untouched(i) ? QString() : lines_[i].problem();
        if (!problem.isEmpty()) {
            select(i);
            messageLabel->setText(QStringLiteral("%1: %2").arg(lines_[i].name(i + 1), problem));
            return;
        }
    }
    chosen_ = -1;
    if (row_ >= 0 && row_ < lines_.size() && added_[row_] && !untouched(row_)) {
        chosen_ = row_;
        for (int i = 0; i < row_; ++i) // entries dropped before it move it up
            chosen_ -= untouched(i) ? 1 : 0;
    }
    for (int i = int(lines_.size()) - 1; i >= 0; --i) {
        if (untouched(i)) {
            lines_.removeAt(i);
            added_.removeAt(i);
        }
    }
    messageLabel->clear();
    QDialog::accept();
}

} // namespace platform
