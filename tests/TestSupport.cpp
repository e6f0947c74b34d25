#include "TestSupport.h"

#include <QApplication>
#include <QFile>
#include <QTimer>
#include <QWidget>

namespace testing_support {

QString sourceDir()
{
    return QStringLiteral(KORVALEN_SOURCE_DIR);
}

TempFolder::TempFolder() = default;

void TempFolder::write(const QString& name, const QByteArray& bytes) const
{
    QFile f(file(name));
    if (f.open(QIODevice::WriteOnly))
        f.write(bytes);
}

void answerModal(std::function<bool(QWidget*)> action)
{
    // Polls the event loop that the modal window runs; gives up after a few thousand turns.
    auto tries = std::make_shared<int>(0);
    auto poll = std::make_shared<std::function<void()>>();
    *poll = [action, tries, poll]() {
        QWidget* w = QApplication::activeModalWidget();
        if (w && action(w)) {
            *poll = nullptr; // break the self-reference
            return;
        }
        if (++*tries < 5000)
            QTimer::singleShot(1, *poll);
    };
    QTimer::singleShot(0, *poll);
}

} // namespace testing_support
