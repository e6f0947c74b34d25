// SPDX-License-Identifier: GPL-3.0-or-later
#include "console/LoginServiceDialog.h"

#include "platform/SettingsStore.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

LoginServiceDialog::LoginServiceDialog(platform::SettingsStore& store, QWidget* parent) : QDialog(parent), store_(store)
{
    setWindowTitle(tr("Sign-in service"));
    const LoginService service = LoginService::Load(store);

    auto* form = new QFormLayout;
    baseEdit = new QLineEdit(service.base());
    baseEdit->setPlaceholderText(QStringLiteral("https://example.org/korvalen/"));
    form->addRow(tr("Service address"), baseEdit);
    for (int i = 0; i < LoginService::kPairs; ++i) {
        const KeyPair pair = service.pair(LoginService::Pair(i));
        exponentEdits[i] = new QLineEdit(pair.valid() ? QString::number(pair.exponent) : QString());
        modulusEdits[i] = new QLineEdit(pair.valid() ? QString::number(pair.modulus) : QString());
        exponentEdits[i]->setPlaceholderText(tr("exponent"));
        modulusEdits[i]->setPlaceholderText(tr("modulus"));
        auto* row = new QHBoxLayout;
        row->addWidget(exponentEdits[i]);
        row->addWidget(modulusEdits[i]);
        form->addRow(tr("%1 key").arg(QString::fromLatin1(LoginService::kPairNames[i])), row);
    }
    messageLabel = new QLabel;
    messageLabel->setWordWrap(true);
    messageLabel->setMinimumWidth(360);
    buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    connect(buttons, &QDialogButtonBox::accepted, this, &LoginServiceDialog::tryAccept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(messageLabel);
    layout->addWidget(buttons);
}

void LoginServiceDialog::complain(QLineEdit* field, const QString& message)
{
    messageLabel->setText(message);
    adjustSize(); // room for the message's lines
    field->setFocus();
    field->selectAll();
}

void LoginServiceDialog::tryAccept()
{
    const QString base = baseEdit->text().trimmed();
    if (const QString problem = BaseProblem(base); !problem.isEmpty())
        return complain(baseEdit, problem);

    LoginService service;
    service.setBase(base);
    for (int i = 0; i < LoginService::kPairs; ++i) {
        const QString name = QString::fromLatin1(LoginService::kPairNames[i]);
        // the internet call's pair may stay empty: sign-in works without it
        const bool optional = i == LoginService::Call && exponentEdits[i]->text().trimmed().isEmpty()
                              && modulusEdits[i]->text().trimmed().isEmpty();
        if (optional)
            continue;
        if (const QString problem = ExponentProblem(exponentEdits[i]->text()); !problem.isEmpty())
            return complain(exponentEdits[i], name + tr(" key: ") + problem);
        if (const QString problem = ModulusProblem(modulusEdits[i]->text()); !problem.isEmpty())
            return complain(modulusEdits[i], name + tr(" key: ") + problem);
        service.setPair(LoginService::Pair(i),
                        KeyPair{exponentEdits[i]->text().trimmed().toInt(), modulusEdits[i]->text().trimmed().toInt()});
    }
    if (needsPlainHttpWarning(base) && warnedBase_ != base) {
        warnedBase_ = base;
        return complain(baseEdit, tr("This address is plain http://: your login name and password cross the "
                                     "network with only weak scrambling. Use https:// if the service offers it, "
                                     "or press OK again to keep this address."));
    }
    if (!service.Save(store_))
        return complain(baseEdit, tr("The settings could not be saved: %1").arg(store_.lastError()));
    messageLabel->clear();
    emit Saved(service);
    accept();
}
