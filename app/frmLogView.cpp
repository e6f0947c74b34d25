// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/frmLogView.h"

#include "app/LocalizedTexts.h"
#include "platform/CodePage.h"
#include "platform/SystemLocale.h"

#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QShortcut>
#include <QVBoxLayout>

frmLogView::frmLogView(QWidget* parent) : QWidget(parent, Qt::Window)
{
    textBox = new QPlainTextEdit(this);
    textBox->setReadOnly(true);
    textBox->setLineWrapMode(QPlainTextEdit::NoWrap);
    textBox->setMaximumBlockCount(kMaxLines);
    textBox->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    reloadButton = new QPushButton(this);
    closeButton = new QPushButton(this);
    connect(reloadButton, &QPushButton::clicked, this, &frmLogView::Reload);
    connect(closeButton, &QPushButton::clicked, this, &QWidget::close);
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, &QWidget::close);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(reloadButton);
    buttons->addWidget(closeButton);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(textBox, 1);
    layout->addLayout(buttons);
    resize(760, 420);

    connect(&watcher_, &QFileSystemWatcher::fileChanged, this, &frmLogView::Follow);
    connect(&watcher_, &QFileSystemWatcher::directoryChanged, this, &frmLogView::Follow);
    ApplyTexts(QStringLiteral("E"));
}

void frmLogView::ApplyTexts(const QString& letter)
{
    const QString section = letter + QStringLiteral("Desktop");
    setWindowTitle(ReadStatementText(section, QStringLiteral("LogTitle")));
    reloadButton->setText(ReadStatementText(section, QStringLiteral("LogReload")));
    reloadButton->setShortcut(QKeySequence(Qt::Key_F5)); // after the text, which sets its own
    closeButton->setText(ReadStatementText(section, QStringLiteral("LogClose")));
    textBox->setPlaceholderText(ReadStatementText(section, QStringLiteral("LogEmpty")));
}

void frmLogView::Open(const QString& path)
{
    if (path != path_) {
        if (!watcher_.files().isEmpty())
            watcher_.removePaths(watcher_.files());
        if (!watcher_.directories().isEmpty())
            watcher_.removePaths(watcher_.directories());
        path_ = path;
    }
    Reload();
}

void frmLogView::Reload()
{
    textBox->clear();
    readTo_ = 0;
    Follow();
}

QString frmLogView::text() const
{
    return textBox->toPlainText();
}

void frmLogView::Follow()
{
    watch();
    QFile file(path_);
    if (!file.open(QIODevice::ReadOnly))
        return;
    if (file.size() < readTo_) { // started anew
        textBox->clear();
        readTo_ = 0;
    }
    if (!file.seek(readTo_))
        return;
    QByteArray added = file.readAll();
    // Only whole records: a line still being written is read when it is done.
    added.truncate(added.lastIndexOf('\n') + 1);
    if (added.isEmpty())
        return;
    readTo_ += added.size();
    added.replace("\r\n", "\n");
    added.chop(1);
    QScrollBar* bar = textBox->verticalScrollBar();
    const bool atEnd = bar->value() == bar->maximum();
    // The log is written in the system's code page.
    textBox->appendPlainText(platform::BytesToText(added, platform::SystemAnsiCodePage()).text);
    if (atEnd)
        bar->setValue(bar->maximum());
}

// The file is watched while it exists; its folder tells when it appears or is replaced.
void frmLogView::watch()
{
    if (path_.isEmpty())
        return;
    const QString folder = QFileInfo(path_).absolutePath();
    if (!watcher_.directories().contains(folder))
        watcher_.addPath(folder);
    if (QFile::exists(path_) && !watcher_.files().contains(path_))
        watcher_.addPath(path_);
}
