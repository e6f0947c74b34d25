#include "platform/telephone/SipSettingsDialog.h"

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
    : QDialog(parent), lines_(lines)
{
    setWindowTitle(QStringLiteral("SIP telephone lines"));
    list = new QListWidget(this);
    addButton = new QPushButton(QStringLiteral("&Add"), this);
    removeButton = new QPushButton(QStringLiteral("&Remove"), this);
    kindBox = new QComboBox(this);
    kindBox->addItems({QStringLiteral("Account"), QStringLiteral("Direct listener")});
    identityEdit = new QLineEdit(this);
    identityEdit->setPlaceholderText(QStringLiteral("sip:alice@example.org"));
    serverEdit = new QLineEdit(this);
    serverEdit->setPlaceholderText(QStringLiteral("sip.example.org:5060"));
    userEdit = new QLineEdit(this);
    passwordEdit = new QLineEdit(this);
    passwordEdit->setEchoMode(QLineEdit::Password);
    transportBox = new QComboBox(this);
    transportBox->addItems(kTransports);
    portBox = new QSpinBox(this);
    portBox->setRange(0, 65535);
    portBox->setSpecialValueText(QStringLiteral("any"));
    messageLabel = new QLabel(this);
    messageLabel->setWordWrap(true);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Kind:"), kindBox);
    form->addRow(QStringLiteral("Identity:"), identityEdit);
    form->addRow(QStringLiteral("Server or target host:"), serverEdit);
    form->addRow(QStringLiteral("User name:"), userEdit);
    form->addRow(QStringLiteral("Password:"), passwordEdit);
    form->addRow(QStringLiteral("Transport:"), transportBox);
    form->addRow(QStringLiteral("Port:"), portBox);
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
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(messageLabel);
    layout->addWidget(buttons);

    for (const SipLineConfig& c : lines_)
        list->addItem(c.name());
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

    select(lines_.isEmpty() ? -1 : std::clamp(current, 0, int(lines_.size()) - 1));
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
    loading_ = false;
}

void SipSettingsDialog::formChanged()
{
    if (loading_ || row_ < 0 || row_ >= lines_.size())
        return;
    SipLineConfig& c = lines_[row_];
    const SipLineConfig::Kind kind = kindBox->currentIndex() == 1 ? SipLineConfig::Kind::Direct : SipLineConfig::Kind::Account;
    const bool kindChanged = kind != c.kind;
    c.kind = kind;
    c.identity = identityEdit->text().trimmed();
    c.server = serverEdit->text().trimmed();
    c.user = userEdit->text().trimmed();
    c.password = passwordEdit->text();
    c.transport = transportBox->currentIndex() > 0 ? transportBox->currentText() : QString();
    c.port = portBox->value();
    if (kindChanged && kind == SipLineConfig::Kind::Direct && c.port == 0)
        c.port = kDefaultDirectPort;
    list->item(row_)->setText(c.name());
    messageLabel->clear();
    if (kindChanged)
        showEntry();
}

void SipSettingsDialog::addEntry()
{
    SipLineConfig c;
    lines_.append(c);
    list->addItem(c.name());
    select(int(lines_.size()) - 1);
    identityEdit->setFocus();
}

void SipSettingsDialog::removeEntry()
{
    if (row_ < 0 || row_ >= lines_.size())
        return;
    lines_.removeAt(row_);
    delete list->takeItem(row_);
    select(lines_.isEmpty() ? -1 : std::min(row_, int(lines_.size()) - 1));
}

void SipSettingsDialog::accept()
{
    for (int i = 0; i < lines_.size(); ++i) {
        const QString problem = lines_[i].problem();
        if (!problem.isEmpty()) {
            select(i);
            messageLabel->setText(QStringLiteral("%1: %2").arg(lines_[i].name(), problem));
            return;
        }
    }
    messageLabel->clear();
    QDialog::accept();
}

} // namespace platform
