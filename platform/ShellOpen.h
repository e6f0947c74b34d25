// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QString>
#include <QUrl>
#include <functional>

class QObject;

namespace platform {

// Opens a document, file or web address with the desktop's default handler.
// Returns false when nothing could be opened.
bool OpenWithShell(const QString& target);

// The same, for callers that have something else to offer when the desktop has no handler:
// done(false) when the opener is missing or reports failure, done(true) once it has handed the
// target on. Never waits; done runs later on the event loop (not after context is gone).
void OpenWithShell(const QString& target, QObject* context, std::function<void(bool opened)> done);

// Tests watch what would be opened instead of starting a browser; nullptr restores the desktop.
void SetShellOpenHandler(std::function<bool(const QUrl&)> handler);
// The desktop's opener program (default "xdg-open"); tests name one that fails or is missing.
void SetShellOpenCommand(const QString& program);

} // namespace platform
