// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QObject>
#include <QString>
#include <functional>

class QLineEdit;

// Behaviours of the settings fields, attached to a line edit that owns them.
namespace fields {

// Only digits (and backspace) may be typed or pasted.
void DigitsOnly(QLineEdit* edit);

// What can be dialled: digits, "+", "*", "#", blanks and dashes may be typed or pasted.
void Dialable(QLineEdit* edit);

// Digits only, and on leaving the field a value outside [min, max] becomes the default.
// onValidated receives the field's value after every check.
void NumberRange(QLineEdit* edit, int min, int max, int byDefault, std::function<void(int)> onValidated = {});

// Every port field holds 1 to 65535: 0 names no port, and a port has 16 bits.
inline constexpr int kFirstPort = 1;
inline constexpr int kLastPort = 65535;

// The text a port field keeps: as typed when the whole of it is a port, otherwise the default.
QString PortText(const QString& text, int byDefault);
// Digits only, and on leaving the field anything but a port becomes the default.
void Port(QLineEdit* edit, int byDefault);

// Enter moves on to the next field, as Tab does.
void EnterMovesOn(QLineEdit* edit);

// Leaving the field blank after editing it calls onLeftBlank (once per edit); the text stays.
void Required(QLineEdit* edit, std::function<void(QLineEdit*)> onLeftBlank);

// The POP3 account's fields a mail check cannot do without (blanks count as nothing): a
// message naming the blank ones, and the first of them; no message when all are filled in.
struct BlankFields
{
    QString message;
    QLineEdit* first = nullptr;
};
BlankFields BlankAccountFields(QLineEdit* user, QLineEdit* password, QLineEdit* server);

} // namespace fields
