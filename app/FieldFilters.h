#pragma once
#include <QObject>
#include <functional>

class QLineEdit;

// Behaviours of the settings fields, attached to a line edit that owns them.
namespace fields {

// Only digits (and backspace) may be typed or pasted.
void DigitsOnly(QLineEdit* edit);

// Digits only, and on leaving the field a value outside [min, max] becomes the default.
// onValidated receives the field's value after every check.
void NumberRange(QLineEdit* edit, int min, int max, int byDefault,
                 std::function<void(int)> onValidated = {});

// Enter moves on to the next field, as Tab does.
void EnterMovesOn(QLineEdit* edit);

} // namespace fields
