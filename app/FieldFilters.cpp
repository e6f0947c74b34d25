// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/FieldFilters.h"

#include "app/LocalizedTexts.h"
#include "platform/Utilities.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QRegularExpression>
#include <QStringList>

namespace fields {
namespace {

// Keeps typed characters to those allowed; keys that steer the window pass.
class KeyFilter : public QObject
{
public:
    KeyFilter(QObject* parent, std::function<bool(char16_t)> allowed)
        : QObject(parent), allowed_(std::move(allowed)) { }

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::KeyPress)
            return QObject::eventFilter(watched, event);
        auto* key = static_cast<QKeyEvent*>(event);
        // Shortcuts (copy, paste, select all) are not typing.
        if (key->text().isEmpty() || key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))
            return false;
        const char16_t c = key->text().front().unicode();
        // Tab, Enter, Escape and Delete steer the window; they are not typing.
        if ((c < 0x20 && c != platform::kKeyBackspace) || c == 0x7F)
            return false;
        return !allowed_(c);
    }

private:
    std::function<bool(char16_t)> allowed_;
};

bool IsDigitKey(char16_t c)
{
    int16_t code = c < 0x8000 ? int16_t(c) : 0;
    platform::DigitOnlyKeyFilter(code);
    return code != 0;
}

bool IsDialKey(char16_t c)
{
    return IsDigitKey(c) || c == u'+' || c == u'*' || c == u'#' || c == u' ' || c == u'-';
}

// Pasted text keeps only what could have been typed.
void FilterPasted(QLineEdit* edit, const QRegularExpression& unwanted)
{
    QObject::connect(edit, &QLineEdit::textEdited, edit, [edit, unwanted](const QString& text) {
        if (text.contains(unwanted)) {
            QString kept = text;
            edit->setText(kept.remove(unwanted));
        }
    });
}

// On leaving the field, judge gives the text it keeps.
class LeaveCheck : public QObject
{
public:
    using Judge = std::function<QString(const QString&)>;
    LeaveCheck(QLineEdit* edit, Judge judge, std::function<void(int)> onValidated)
        : QObject(edit), judge_(std::move(judge)), onValidated_(std::move(onValidated))
    { }

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::FocusOut) {
            auto* edit = static_cast<QLineEdit*>(watched);
            const QString checked = judge_(edit->text());
            if (checked != edit->text())
                edit->setText(checked);
            if (onValidated_)
                onValidated_(checked.trimmed().toInt());
        }
        return false;
    }

private:
    Judge judge_;
    std::function<void(int)> onValidated_;
};

class EnterAsTab : public QObject
{
public:
    using QObject::QObject;

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::KeyPress)
            return false;
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key != Qt::Key_Return && key != Qt::Key_Enter)
            return false;
        QKeyEvent tab(QEvent::KeyPress, Qt::Key_Tab, Qt::NoModifier);
        QApplication::sendEvent(watched, &tab);
        return true;
    }
};

// Leaving the field blank after the user edited it is reported, once per edit. Leaving it
// for another window or a menu is not leaving it.
class BlankCheck : public QObject
{
public:
    BlankCheck(QLineEdit* edit, std::function<void(QLineEdit*)> onLeftBlank)
        : QObject(edit), onLeftBlank_(std::move(onLeftBlank))
    { }

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::FocusOut)
            return false;
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        auto* edit = static_cast<QLineEdit*>(watched);
        if (reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason || !edit->isModified())
            return false;
        edit->setModified(false);
        if (edit->text().trimmed().isEmpty())
            onLeftBlank_(edit);
        return false;
    }

private:
    std::function<void(QLineEdit*)> onLeftBlank_;
};

} // namespace

void DigitsOnly(QLineEdit* edit)
{
    edit->installEventFilter(new KeyFilter(edit, IsDigitKey));
    FilterPasted(edit, QRegularExpression(QStringLiteral("[^0-9]")));
}

void Dialable(QLineEdit* edit)
{
    edit->installEventFilter(new KeyFilter(edit, IsDialKey));
    FilterPasted(edit, QRegularExpression(QStringLiteral("[^0-9+*# -]")));
}

void NumberRange(QLineEdit* edit, int min, int max, int byDefault, std::function<void(int)> onValidated)
{
    DigitsOnly(edit);
    const auto judge = [=](const QString& text) { return platform::ValidateNumberField(text, min, max, byDefault); };
    edit->installEventFilter(new LeaveCheck(edit, judge, std::move(onValidated)));
}

QString PortText(const QString& text, int byDefault)
{
    // Judged as a whole, as the port is read when it is used.
    bool ok = false;
    const int port = text.trimmed().toInt(&ok);
    return ok && port >= kFirstPort && port <= kLastPort ? text : QString::number(byDefault);
}

void Port(QLineEdit* edit, int byDefault)
{
    DigitsOnly(edit);
    const auto judge = [byDefault](const QString& text) { return PortText(text, byDefault); };
    edit->installEventFilter(new LeaveCheck(edit, judge, {}));
}

void EnterMovesOn(QLineEdit* edit)
{
    edit->installEventFilter(new EnterAsTab(edit));
}

void Required(QLineEdit* edit, std::function<void(QLineEdit*)> onLeftBlank)
{
    edit->installEventFilter(new BlankCheck(edit, std::move(onLeftBlank)));
}

BlankFields BlankAccountFields(QLineEdit* user, QLineEdit* password, QLineEdit* server)
{
    const std::pair<QLineEdit*, QString> rows[] = {{user, LocalText("Main", "BlankUser", "user name")},
                                                   {password, LocalText("Main", "BlankPassword", "password")},
                                                   {server, LocalText("Main", "BlankServer", "server")}};
    BlankFields blank;
    QStringList names;
    for (const auto& [edit, name] : rows) {
        if (!edit->text().trimmed().isEmpty())
            continue;
        if (!blank.first)
            blank.first = edit;
        names << name;
    }
    switch (names.size()) {
    case 0: return blank;
    case 1:
        blank.message =
            LocalText("Main", "BlankOne", "Enter the POP3 %1: mail cannot be checked without it.").arg(names[0]);
        break;
    case 2:
        blank.message = LocalText("Main", "BlankTwo", "Enter the POP3 %1 and %2: mail cannot be checked without them.")
                            .arg(names[0], names[1]);
        break;
    default:
        blank.message =
            LocalText("Main", "BlankThree", "Enter the POP3 %1, %2 and %3: mail cannot be checked without them.")
                .arg(names[0], names[1], names[2]);
        break;
    }
    return blank;
}

} // namespace fields
