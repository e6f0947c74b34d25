#include "app/FieldFilters.h"

#include "platform/Utilities.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QRegularExpression>
#include <QStringList>

namespace fields {
namespace {

class DigitFilter : public QObject
{
public:
    using QObject::QObject;

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
        int16_t code = c < 0x8000 ? int16_t(c) : 0;
        platform::DigitOnlyKeyFilter(code);
        return code == 0;
    }
};

// On leaving the field, judge gives the text it keeps.
class LeaveCheck : public QObject
{
public:
    using Judge = std::function<QString(const QString&)>;
    LeaveCheck(QLineEdit* edit, Judge judge, std::function<void(int)> onValidated)
        : QObject(edit), judge_(std::move(judge)), onValidated_(std::move(onValidated))
    {
    }

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
    {
    }

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
    edit->installEventFilter(new DigitFilter(edit));
    // Pasted text is filtered too.
    QObject::connect(edit, &QLineEdit::textEdited, edit, [edit](const QString& text) {
        static const QRegularExpression nonDigits(QStringLiteral("[^0-9]"));
        if (text.contains(nonDigits)) {
            QString digits = text;
            edit->setText(digits.remove(nonDigits));
        }
    });
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
    const std::pair<QLineEdit*, const char*> rows[] = {{user, "user name"}, {password, "password"}, {server, "server"}};
    BlankFields blank;
    QStringList names;
    for (auto [edit, name] : rows) {
        if (!edit->text().trimmed().isEmpty())
            continue;
        if (!blank.first)
            blank.first = edit;
        names << QString::fromLatin1(name);
    }
    if (names.isEmpty())
        return blank;
    const QString last = names.takeLast();
    const QString listed = names.isEmpty() ? last : names.join(QStringLiteral(", ")) + QStringLiteral(" and ") + last;
    blank.message = QStringLiteral("Enter the POP3 %1: mail cannot be checked without %2.")
                        .arg(listed, names.isEmpty() ? QStringLiteral("it") : QStringLiteral("them"));
    return blank;
}

} // namespace fields
