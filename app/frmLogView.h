// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QFileSystemWatcher>
#include <QWidget>

class QPlainTextEdit;
class QPushButton;

// The log in a window of the program's own, for desktops without a viewer for it: read-only,
// in a fixed-pitch font, following the records as the program appends them.
class frmLogView : public QWidget
{
    Q_OBJECT
public:
    static constexpr int kMaxLines = 20000; // a log kept for months stays quick to show

    explicit frmLogView(QWidget* parent = nullptr);
    // Captions in the language of the letter ("T", "S", "E").
    void ApplyTexts(const QString& letter);
    // Shows the file from its beginning and follows it from then on.
    void Open(const QString& path);
    void Reload();
    // Reads what was appended since the last read; a file that shrank is read anew.
    void Follow();
    QString text() const;

    QPlainTextEdit* textBox = nullptr;
    QPushButton* reloadButton = nullptr;
    QPushButton* closeButton = nullptr;

private:
    void watch();

    QString path_;
    qint64 readTo_ = 0; // bytes shown, up to the end of the last whole line
    QFileSystemWatcher watcher_;
};
