// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/frmNotes.h"

#include "app/LocalizedTexts.h"

#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QVBoxLayout>

frmNotes::frmNotes(QWidget* parent) : QWidget(parent, Qt::Window)
{
    setWindowTitle(LocalText("Notes", "Title", "Notes"));
    Label1 = new QLabel(this);
    Label1->setWordWrap(true);
    const char* const notes[][2] = {
        {"Note1", "Mail checking starts once you are signed in; the main window counts down to the next check."},
        {"Note2", "Spam lists: mail whose subject contains an entry of the subject list, or whose sender "
                  "contains an entry of the sender list, is deleted on the server."},
        {"Note3", "On the telephone: enter your PIN followed by #, then choose with the keypad. "
                  "The simulated telephone offers the same menu on screen."},
        {"Note4", "Closing the main window only hides it; quit from the console."},
    };
    QStringList paragraphs;
    for (const auto& [key, english] : notes)
        paragraphs << LocalText("Notes", key, english);
    Label1->setText(paragraphs.join(QStringLiteral("\n\n")));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Label1);
    resize(360, 260);
}

// The notes sit in the lower right corner of the screen, clear of the main window.
void frmNotes::showEvent(QShowEvent* event)
{
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.right() - frameGeometry().width() - area.width() / 20,
             area.bottom() - frameGeometry().height() - area.height() / 20);
    }
    QWidget::showEvent(event);
}
